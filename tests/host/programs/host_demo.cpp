// A minimal engine-style host: loads the library by name, resolves exports and
// prints what they compute.
#include <VeskMathLIB.h>

#include <cstdio>

#include "host_dl.h"

int main(int argc, char **argv) {
    const char *name = argc > 1 ? argv[1] : VeskLibraryName();
    VeskModule lib = VeskOpen(name);
    if (!lib) {
        std::fprintf(stderr, "cannot load %s\n", name);
        return 1;
    }
    auto inverseSqrt = VeskResolve<float(VESK_CALL *)(float)>(lib, "InverseSqrt");
    auto fastSqrt = VeskResolve<float(VESK_CALL *)(float)>(lib, "FastSqrtEX");
    auto arcTan2 = VeskResolve<float(VESK_CALL *)(float, float)>(lib, "farcTan2");
    auto normalize = VeskResolve<float(VESK_CALL *)(Vector3 *)>(lib, "VECTOR_Normalize");
    auto cross = VeskResolve<void(VESK_CALL *)(const Vector3 *, const Vector3 *, Vector3 *)>(lib, "VECTOR_CrossProduct");
    auto create = VeskResolve<void(VESK_CALL *)(Matrix4 *, const Vector3 *, const Vector3 *, const Vector3 *)>(
        lib, "MatrixCreate");
    auto transform = VeskResolve<void(VESK_CALL *)(Vector3 *, const Matrix4 *, const Vector3 *)>(
        lib, "MatrixVectorTransform");
    if (!inverseSqrt || !fastSqrt || !arcTan2 || !normalize || !cross || !create || !transform) {
        std::fprintf(stderr, "%s lacks an expected export\n", name);
        return 1;
    }

    std::printf("InverseSqrt(2)          = %.9g\n", static_cast<double>(inverseSqrt(2.0f)));
    std::printf("FastSqrtEX(10)          = %.9g\n", static_cast<double>(fastSqrt(10.0f)));
    std::printf("farcTan2(1, -1)         = %.9g\n", static_cast<double>(arcTan2(1.0f, -1.0f)));
    Vector3 v{3.0f, 4.0f, 12.0f};
    const float length = normalize(&v);
    std::printf("VECTOR_Normalize(3,4,12)= %.9g -> (%.6f, %.6f, %.6f)\n", static_cast<double>(length),
                static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z));
    const Vector3 x{1, 0, 0}, y{0, 1, 0};
    Vector3 z{};
    cross(&x, &y, &z);
    std::printf("X cross Y               = (%g, %g, %g)\n", static_cast<double>(z.x), static_cast<double>(z.y),
                static_cast<double>(z.z));
    Matrix4 m{};
    const Vector3 scale{2, 2, 2}, angles{0, 0, 1.5707963f}, position{10, 0, 0};
    create(&m, &scale, &angles, &position);
    Vector3 p{1, 0, 0};
    transform(&p, &m, &p);
    std::printf("scale 2, 90deg about Z, +10 x: (1,0,0) -> (%.5f, %.5f, %.5f)\n", static_cast<double>(p.x),
                static_cast<double>(p.y), static_cast<double>(p.z));
    VeskClose(lib);
    return 0;
}
