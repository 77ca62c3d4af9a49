/* Links against the installed library and calls a few exports. */
#include <VeskMathLIB.h>

#include <stdio.h>

int main(void) {
    Vector3 v;
    Matrix4 m;
    Vector3 scale, angles, position, p;
    float length;
    VECTOR_Set(&v, 3.0f, 4.0f, 12.0f);
    VECTOR_Set(&scale, 2.0f, 2.0f, 2.0f);
    VECTOR_Set(&angles, 0.0f, 0.0f, 0.0f);
    VECTOR_Set(&position, 10.0f, 0.0f, 0.0f);
    MatrixCreate(&m, &scale, &angles, &position);
    VECTOR_Set(&p, 1.0f, 0.0f, 0.0f);
    MatrixVectorTransform(&p, &m, &p);
    length = VECTOR_Normalize(&v);
    printf("InverseSqrt(4) = %g, |(3, 4, 12)| = %g, (1, 0, 0) scaled 2 and moved 10 = (%g, %g, %g)\n",
           (double)InverseSqrt(4.0f), (double)length, (double)p.x, (double)p.y, (double)p.z);
    return InverseSqrt(4.0f) == 0.5f && length == 13.0f && p.x == 12.0f && p.y == 0.0f && p.z == 0.0f ? 0 : 1;
}
