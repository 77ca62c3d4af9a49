// The C host check once more, compiled as C++ with -pedantic.
#include "header_check.c"
