#!/usr/bin/env bash
# assimp-testmodels: real 3DS, OBJ, ASE, MD2, MS3D and TGA files.
set -euo pipefail
apt_install assimp-testmodels
mkdir -p "$TESTDATA/assimp"
cp -a /usr/share/assimp/models/. "$TESTDATA/assimp/"
