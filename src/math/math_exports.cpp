// Exported adapters of the math core: pointers in, internal API out.
#include <VeskMathLIB.h>

#include <span>

#include "math/matrix.h"
#include "math/scalar.h"
#include "math/vector.h"

VESK_API float VESK_CALL InverseSqrt(float x) { return vesk::InverseSqrt(x); }
VESK_API float VESK_CALL FastSqrtEX(float x) { return vesk::FastSqrtEX(x); }
VESK_API float VESK_CALL rSqrtEX(float x) { return vesk::RSqrtEX(x); }
VESK_API float VESK_CALL FastAbs(float x) { return vesk::FastAbs(x); }
VESK_API float VESK_CALL FastCos(float x) { return vesk::FastCos(x); }
#if !defined(_WIN32)
// One entry point under two names; on Windows the export table maps fCos.
VESK_API float VESK_CALL fCos(float x) __attribute__((alias("FastCos")));
#endif
VESK_API float VESK_CALL FastSin(float x) { return vesk::FastSin(x); }
VESK_API float VESK_CALL fSin(float x) { return vesk::FastSin(x); }
VESK_API float VESK_CALL fTan(float x) { return vesk::FTan(x); }
VESK_API float VESK_CALL farcTan(float x) { return vesk::FArcTan(x); }
VESK_API float VESK_CALL farcTan2(float y, float x) { return vesk::FArcTan2(y, x); }
VESK_API float VESK_CALL farcSin(float x) { return vesk::FArcSin(x); }
VESK_API float VESK_CALL farcCos(float x) { return vesk::FArcCos(x); }
VESK_API float VESK_CALL fSinh(float x) { return vesk::FSinh(x); }
VESK_API float VESK_CALL fCosh(float x) { return vesk::FCosh(x); }
VESK_API float VESK_CALL fTanh(float x) { return vesk::FTanh(x); }
VESK_API float VESK_CALL fPow(float x, float y) { return vesk::FPow(x, y); }
VESK_API float VESK_CALL fLog10(float x) { return vesk::FLog10(x); }
VESK_API float VESK_CALL fLogN(float x) { return vesk::FLogN(x); }
VESK_API float VESK_CALL fExp(float x) { return vesk::FExp(x); }
VESK_API float VESK_CALL fSqrt(float x) { return vesk::FSqrt(x); }
VESK_API int32_t VESK_CALL Shift_LEFT(int32_t value, int32_t count) { return vesk::ShiftLeft(value, count); }
VESK_API int32_t VESK_CALL Shift_RIGHT(int32_t value, int32_t count) { return vesk::ShiftRight(value, count); }
VESK_API int32_t VESK_CALL Shift_NONE(int32_t value) { return vesk::ShiftNone(value); }

VESK_API void VESK_CALL VECTOR_Set(Vector3 *v, float x, float y, float z) { vesk::VectorSet(*v, x, y, z); }
VESK_API void VESK_CALL VECTOR_Get(const Vector3 *v, float *px, float *py, float *pz) {
    const Vector3 c = *v;
    *px = c.x;
    *py = c.y;
    *pz = c.z;
}
VESK_API float VESK_CALL VECTOR_DotProduct(const Vector3 *a, const Vector3 *b) { return vesk::VectorDotProduct(*a, *b); }
VESK_API float VESK_CALL fDotProduct(const Vector3 *a, const Vector3 *b) { return vesk::FDotProduct(*a, *b); }
VESK_API void VESK_CALL VECTOR_CrossProduct(const Vector3 *a, const Vector3 *b, Vector3 *out) {
    vesk::VectorCrossProduct(*a, *b, *out);
}
VESK_API float VESK_CALL VECTOR_Normalize(Vector3 *v) { return vesk::VectorNormalize(*v); }
VESK_API void VESK_CALL VECTOR_Scale(const Vector3 *v, float s, Vector3 *out) { vesk::VectorScale(*v, s, *out); }
VESK_API float VESK_CALL VECTOR_Length(const Vector3 *v) { return vesk::VectorLength(*v); }
VESK_API void VESK_CALL VECTOR_Subtract(const Vector3 *a, const Vector3 *b, Vector3 *out) {
    vesk::VectorSubtract(*a, *b, *out);
}
VESK_API void VESK_CALL VECTOR_Add(const Vector3 *a, const Vector3 *b, Vector3 *out) { vesk::VectorAdd(*a, *b, *out); }
VESK_API void VESK_CALL VECTOR_MA(const Vector3 *a, float s, const Vector3 *b, Vector3 *out) {
    vesk::VectorMA(*a, s, *b, *out);
}
VESK_API void VESK_CALL VECTOR_AddScaled(const Vector3 *a, const Vector3 *b, float s, Vector3 *out) {
    vesk::VectorMA(*a, s, *b, *out);
}
VESK_API void VESK_CALL VECTOR_Copy(const Vector3 *src, Vector3 *dst) { *dst = *src; }
VESK_API void VESK_CALL VECTOR_Clear(Vector3 *v) { *v = Vector3{0.0f, 0.0f, 0.0f}; }
VESK_API void VESK_CALL VECTOR_Inverse(Vector3 *v) { vesk::VectorInverse(*v); }
VESK_API float VESK_CALL VECTOR_DistanceBetween(const Vector3 *a, const Vector3 *b) {
    return vesk::VectorDistanceBetween(*a, *b);
}
VESK_API void VESK_CALL VECTOR_RotateAroundPoint(const Vector3 *point, const Vector3 *center, float angleX,
                                                 float angleY, float angleZ, Vector3 *out) {
    vesk::VectorRotateAroundPoint(*point, *center, angleX, angleY, angleZ, *out);
}

VESK_API void VESK_CALL MatrixCreate(Matrix4 *out, const Vector3 *scale, const Vector3 *angles,
                                     const Vector3 *position) {
    vesk::MatrixCreate(*out, *scale, *angles, *position);
}
VESK_API void VESK_CALL MatrixMultiply(Matrix4 *out, const Matrix4 *a, const Matrix4 *b) {
    vesk::MatrixMultiply(*out, *a, *b);
}
VESK_API void VESK_CALL MatrixVectorTransform(Vector3 *out, const Matrix4 *m, const Vector3 *v) {
    vesk::MatrixVectorTransform(*out, *m, *v);
}
VESK_API void VESK_CALL MatrixBboxMultiply(BoundingBox *out, const BoundingBox *box, const Matrix4 *m) {
    vesk::MatrixBboxMultiply(*out, *box, *m);
}
VESK_API void VESK_CALL MatrixPolygonMultiply(Poly *polys, const Matrix4 *m, int32_t count) {
    if (count <= 0) return;  // exactly count records, never count + 1
    vesk::MatrixPolygonMultiply(std::span<Poly>(polys, static_cast<size_t>(count)), *m);
}
