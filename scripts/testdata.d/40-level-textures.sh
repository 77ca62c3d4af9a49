#!/usr/bin/env bash
# openarena-data and openarena-081-textures: the shaders, and the texture
# images that the demo's levels name (directly or as a shader's first image
# stage), so the level scenes draw the maps textured. Runs after the maps.
set -euo pipefail
apt_install openarena-data openarena-081-textures python3
base=/usr/share/games/openarena/baseoa
python3 - "$TESTDATA/openarena" "$base/pak0.pk3" "$base/pak4-textures.pk3" <<'PY'
import os, re, struct, sys, zipfile
out, paks = sys.argv[1], [zipfile.ZipFile(p) for p in sys.argv[2:]]
where = {}
for pak in paks:
    for name in pak.namelist():
        where.setdefault(name.lower(), (pak, name))

def extract(name):
    pak, stored = where[name.lower()]
    path = os.path.join(out, stored)
    if os.path.exists(path):
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(pak.read(stored))

# First image stage of every shader (the first definition of a name wins).
first = {}
for key, (pak, stored) in sorted(where.items()):
    if not (key.startswith("scripts/") and key.endswith(".shader")):
        continue
    extract(stored)
    text = re.sub(r"//[^\n]*", "", pak.read(stored).decode("latin-1"))
    tokens = re.findall(r"\{|\}|[^\s{}]+", text)
    depth, shader, stage = 0, None, None
    for i, t in enumerate(tokens):
        if t == "{":
            depth += 1
        elif t == "}":
            depth -= 1
            if depth == 0 and shader:
                first.setdefault(shader.lower(), stage)
                shader, stage = None, None
        elif depth == 0:
            shader = t
        elif depth == 2 and stage is None and t.lower() in ("map", "clampmap", "animmap"):
            j = i + 2 if t.lower() == "animmap" else i + 1
            if j < len(tokens) and not tokens[j].startswith("$"):
                stage = tokens[j]

def image(name):
    stem = re.sub(r"\.(tga|jpg)$", "", name, flags=re.I)
    for ext in (".jpg", ".tga"):
        if (stem + ext).lower() in where:
            return stem + ext
    return None

for level in ("oa_dm1", "oa_shouse"):
    data = open(os.path.join(out, "maps", level + ".bsp"), "rb").read()
    offset, length = struct.unpack_from("<ii", data, 8 + 8 * 1)
    for k in range(length // 72):
        name = data[offset + 72 * k : offset + 72 * k + 64].split(b"\0")[0].decode("latin-1")
        for found in (image(name), first.get(name.lower()) and image(first[name.lower()])):
            if found:
                extract(found)
PY
