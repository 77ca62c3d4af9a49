// Scalar fast math: bit-level square-root approximations and thin wrappers
// over the floating-point unit's and the math library's functions.
#pragma once

#include <cstdint>

namespace vesk {

float InverseSqrt(float x);
float FastSqrtEX(float x);
float RSqrtEX(float x);
float FastAbs(float x);
float FastCos(float x);
float FastSin(float x);
float FTan(float x);
float FArcTan(float x);
float FArcTan2(float y, float x);
float FArcSin(float x);
float FArcCos(float x);
float FSinh(float x);
float FCosh(float x);
float FTanh(float x);
float FPow(float x, float y);
float FLog10(float x);
float FLogN(float x);
float FExp(float x);
float FSqrt(float x);
int32_t ShiftLeft(int32_t value, int32_t count);
int32_t ShiftRight(int32_t value, int32_t count);
int32_t ShiftNone(int32_t value);

}  // namespace vesk
