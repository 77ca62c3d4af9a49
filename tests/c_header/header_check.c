/* The public header as a plain C host sees it: built with -std=c99 -pedantic
   -Werror (and once more as C++ by header_check_cxx.cc), linked directly
   against the library, so the records' layout and the exports' unmangled
   names are those of the header. */
#include <VeskMathLIB.h>

#include <stdio.h>

#define VESK_CHECK_SIZE(type, size) typedef char vesk_size_of_##type[sizeof(type) == (size) ? 1 : -1]
VESK_CHECK_SIZE(Vector3, 12);
VESK_CHECK_SIZE(Matrix4, 64);
VESK_CHECK_SIZE(BoundingBox, 24);
VESK_CHECK_SIZE(PolyVertex, 40);
VESK_CHECK_SIZE(Poly, 128);
VESK_CHECK_SIZE(Frustum, 96);
VESK_CHECK_SIZE(CollisionBody, 88);
VESK_CHECK_SIZE(CharacterVertex, 32);
VESK_CHECK_SIZE(Md2Vertex, 32);
VESK_CHECK_SIZE(VeskMdlSequence, 48);
VESK_CHECK_SIZE(Ms3dTriangle, 72);
VESK_CHECK_SIZE(Ms3dMaterial, sizeof(void *) == 4 ? 76 : 80);

static int failures = 0;

static void expect(int ok, const char *what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

int main(void) {
    Vector3 x, y, z;
    BoundingBox box = {-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    VECTOR_Set(&x, 1.0f, 0.0f, 0.0f);
    VECTOR_Set(&y, 0.0f, 1.0f, 0.0f);
    VECTOR_CrossProduct(&x, &y, &z);
    expect(InverseSqrt(4.0f) == 0.5f, "InverseSqrt(4) == 0.5");
    expect(Shift_RIGHT(-8, 1) == -4, "Shift_RIGHT(-8, 1) == -4");
    expect(z.x == 0.0f && z.y == 0.0f && z.z == 1.0f, "X cross Y == Z");
    expect(CheckPointInBOX(&z, &box) == 1, "CheckPointInBOX: a point on the bound is inside");
    VECTOR_Scale(&z, 2.0f, &z);
    expect(CheckPointInBOX(&z, &box) == 0, "CheckPointInBOX: a point beyond the bound is outside");
    return failures ? 1 : 0;
}
