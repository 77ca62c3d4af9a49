// The io layer in one include: the one file reader, what loaders keep
// between calls, text-mode lines, and locale-independent numbers.
#pragma once

#include "io/file_keep.h"
#include "io/file_read.h"
#include "io/numbers.h"
#include "io/text_lines.h"
