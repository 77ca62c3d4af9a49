/* SPDX-License-Identifier: MIT */
/*
 * VeskMathLIB — math, geometry, collision, classic model/image/level loaders
 * and spatial structures for real-time 3D engines.
 *
 * One header for hosts: every export and every record shared with the host.
 * Every argument is one machine word (a pointer, a 32-bit integer or a float by
 * value); booleans come back as one byte (0 or 1). Output arrays belong to the
 * host and are never size-checked: size them from the counts the library
 * reports. Every export that fills a host array names, beside it, the query
 * (an information call, or a Vesk...Counts / Vesk...Faces extension) that
 * gives that size exactly for the same file or loaded model, damaged files
 * included. On 32-bit Windows every export and callback is __stdcall.
 *
 * Threads: the library starts none and takes no locks. Math and geometry calls
 * are stateless and may run anywhere; calls of one loader family must not
 * overlap. The module state (loaded models, level, trees) lives from load to
 * unload; the MD3 player count is reset when the library is loaded and
 * unloaded only, never when the host starts or ends a thread.
 *
 * Files: every file is read whole, through the host's file handler when one
 * is set (VeskSetFileHandler), from the disk otherwise. Three families keep
 * something between calls, at module level and without locks: the static
 * loaders (3DS, OBJ, ASE) their last file, the MD2 exports and the MS3D
 * exports each their last file with its check or parse, reused while it is
 * unchanged (on disk: same path, size, modification time and identity,
 * written more than 3 s before it was read; from a handler: same path and the
 * same bytes address and size, while the earlier handle is still held); a
 * static load of a kept file parses it again. Storage above 32 MB is not
 * kept: the static loaders release it when the call ends, MD2 and MS3D at
 * their next call. The ASE loader also keeps its
 * statement list (up to 4 MB). TGA, MD3, MDL and Q3 BSP calls hold no file
 * once they return (an MDL model keeps its own copy of its files' bytes).
 */
/*
 * Traps of the fixed interface (its names and layouts cannot change):
 *  - CharacterVertex stores the posed point as x, z, y (the fields are named
 *    so); both character mesh exports write that order.
 *  - LightmapLight holds its colour as red, blue, green, but the lumels it
 *    lights are written red, green, blue.
 *  - GetModelMD3mesh's box is six floats (min x, y, z, max x, y, z) at a
 *    float pointer, not a BoundingBox pointer; same layout.
 *  - LoadTGA returns uint32_t 1 or 0, not a VeskBool.
 *  - Get3DS_INFO loads OBJ and ASE files too (its type argument), and 3DS and
 *    OBJ loads add to the one static model while an ASE load replaces it.
 *  - VECTOR_MA(a, s, b, out) and VECTOR_AddScaled(a, b, s, out) compute the
 *    same a + s * b with the scale in different places.
 *  - Counts arrays have named slots (VESK_MD2_*, VESK_MD3_PART_*, VESK_MDL_*,
 *    VESK_Q3BSP_*); Ms3dInfo and StaticModelInfo name their fields.
 */
#ifndef VESKMATHLIB_H
#define VESKMATHLIB_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VESK_CALL __stdcall
#else
#define VESK_CALL
#endif

#ifdef __cplusplus
#define VESK_EXTERN_C extern "C"
#else
#define VESK_EXTERN_C
#endif

#if !defined(_WIN32) && defined(VESK_BUILDING_LIBRARY)
#define VESK_API VESK_EXTERN_C __attribute__((visibility("default")))
#else
#define VESK_API VESK_EXTERN_C
#endif

/* One-byte boolean result: 0 or 1. */
typedef uint8_t VeskBool;

/* ------------------------------------------------------------------------ */
/* Shared records                                                           */
/* ------------------------------------------------------------------------ */

/* Position, direction, normal or Euler angles (radians). 12 bytes. */
typedef struct Vector3 {
    float x, y, z;
} Vector3;

/* 4x4 matrix in OpenGL's column-major layout: m[12..14] is the translation. */
typedef struct Matrix4 {
    float m[16];
} Matrix4;

/* Axis-aligned box: min x, y, z then max x, y, z. */
typedef struct BoundingBox {
    float minX, minY, minZ;
    float maxX, maxY, maxZ;
} BoundingBox;

/* One triangle corner: position, normal, two texture-coordinate pairs. 40 bytes. */
typedef struct PolyVertex {
    Vector3 position;
    Vector3 normal;
    float u, v;
    float u2, v2;
} PolyVertex;

/* The host's triangle record, 128 bytes. The library never reads `word`
   or `tag`; Get3DS_MESHPOLY sets `tag` to -1. */
typedef struct Poly {
    PolyVertex corner[3];
    uint32_t word;
    int32_t tag;
} Poly;

/* Host callback of the level and visibility exports: one pointer-sized
   argument (an index or a pointer), no result. Those exports take the address
   of a cell that holds the function and read the cell before every call, so
   the host may change it between calls; a null cell or function is skipped. */
typedef void(VESK_CALL *VeskHostCallback)(intptr_t argument);

/* ------------------------------------------------------------------------ */
/* Platform services (extension exports). A null handler restores the       */
/* default: message box on Windows, "caption: text" on stderr elsewhere;    */
/* GetTickCount / monotonic ms; glTexCoord2f if present; SetPixelV on       */
/* Windows, nothing elsewhere.                                              */
/* ------------------------------------------------------------------------ */

typedef void(VESK_CALL *VeskMessageHandler)(const char *caption, const char *text);
typedef uint32_t(VESK_CALL *VeskTickSource)(void);
typedef void(VESK_CALL *VeskTexCoordHandler)(float u, float v);
typedef void(VESK_CALL *VeskPixelHandler)(void *deviceContext, int32_t x, int32_t y, uint32_t colour);

/* Receives every error and warning text (already formatted, at most 254 chars). */
VESK_API void VESK_CALL VeskSetMessageHandler(VeskMessageHandler handler);
/* Replaces the millisecond clock behind every animation and frame clock. */
VESK_API void VESK_CALL VeskSetTickSource(VeskTickSource source);
/* Receives the texture coordinates Get3DS_MESH sets while copying. */
VESK_API void VESK_CALL VeskSetTexCoordHandler(VeskTexCoordHandler handler);
/* Receives every pixel LoadTGA paints. */
VESK_API void VESK_CALL VeskSetPixelHandler(VeskPixelHandler handler);

/* File handler: serves every file the library reads (archives, memory, a
   host's own file system). read returns true with the whole file in
   *bytes / *size and a handle of the host's choosing; false is a missing file
   (the same message and result as a missing file on disk). The bytes must stay
   valid and unchanged until release(handle), which the library calls exactly
   once for every successful read, on every path, failures included: before the
   call returns, or, for the file the MD2 and MS3D exports keep, when that file
   is dropped (another file, a change of handler, unload). A size above 2^31 is
   refused as a too large file. The library passes the host's path unchanged
   and forms companion names with '/' while a handler is set:
     Get3DS_INFO, LoadTGA, GetQ3BSP_INFO, VeskGetQ3BSP_Counts, the MD2 and
     MS3D exports: path only.
     GetModelMD3(dir): dir/head.md3, dir/upper.md3, dir/lower.md3,
     dir/lower_default.skin, dir/upper_default.skin, dir/head_default.skin,
     dir/animation.cfg, in that order, up to the first that fails (each name
     cut to 254 characters).
     GetModelMD3weapon(i, dir, name): dir/name.md3, then dir/name.shader.
     GetmodelMDL(path): path; then, if its texture count is 0, path without
     its last 4 characters + "T.mdl"; then for each sequence group g from 1,
     path without its last 4 characters + g as two digits + ".mdl" ("01").
   VeskSetFileHandler(NULL, NULL) (or a null read) returns to the disk. Set it
   between calls, never during one; the change first releases what the
   library kept from the previous handler. A null release is never called. */
typedef VeskBool(VESK_CALL *VeskFileRead)(const char *path, const void **bytes, uint32_t *size, void **handle);
typedef void(VESK_CALL *VeskFileRelease)(void *handle);
VESK_API void VESK_CALL VeskSetFileHandler(VeskFileRead read, VeskFileRelease release);

/* ------------------------------------------------------------------------ */
/* Scalar fast math                                                         */
/* ------------------------------------------------------------------------ */

/* ~1/sqrt(x) from the bit pattern, three folded Newton steps: within 1 ulp for
   x >= 2^-125; +inf at 0; inaccurate below 2^-125. */
VESK_API float VESK_CALL InverseSqrt(float x);
/* 1 / InverseSqrt(x): a fast square root, 0 at 0. */
VESK_API float VESK_CALL FastSqrtEX(float x);
/* ~1/sqrt(x) with a single Newton step (about 0.2 % error). */
VESK_API float VESK_CALL rSqrtEX(float x);
/* |x|: the sign bit cleared. */
VESK_API float VESK_CALL FastAbs(float x);
/* cos x (radians). fCos is the same entry point. */
VESK_API float VESK_CALL FastCos(float x);
VESK_API float VESK_CALL fCos(float x);
/* sin x (radians); FastSin and fSin agree for every argument. */
VESK_API float VESK_CALL FastSin(float x);
VESK_API float VESK_CALL fSin(float x);
/* tan x (radians). */
VESK_API float VESK_CALL fTan(float x);
/* arctan x, as the two-argument arctangent of (x, 1). */
VESK_API float VESK_CALL farcTan(float x);
/* Angle of the point (x, y) in (-pi, pi]: note y comes first. */
VESK_API float VESK_CALL farcTan2(float y, float x);
/* arcsin x and arccos x (NaN outside [-1, 1]). */
VESK_API float VESK_CALL farcSin(float x);
VESK_API float VESK_CALL farcCos(float x);
/* Hyperbolic sine, cosine, tangent. */
VESK_API float VESK_CALL fSinh(float x);
VESK_API float VESK_CALL fCosh(float x);
VESK_API float VESK_CALL fTanh(float x);
/* x to the power y. */
VESK_API float VESK_CALL fPow(float x, float y);
/* log10 x as log10(2) * log2 x; no domain check (-inf at +0, NaN below). */
VESK_API float VESK_CALL fLog10(float x);
/* ln x as ln(2) * log2 x; no domain check. */
VESK_API float VESK_CALL fLogN(float x);
/* e^x through 2^f - 1 and an exact power of two. */
VESK_API float VESK_CALL fExp(float x);
/* Correctly rounded square root. */
VESK_API float VESK_CALL fSqrt(float x);
/* value << (count mod 32). */
VESK_API int32_t VESK_CALL Shift_LEFT(int32_t value, int32_t count);
/* value >> (count mod 32), sign bit copied in. */
VESK_API int32_t VESK_CALL Shift_RIGHT(int32_t value, int32_t count);
/* Bitwise complement. */
VESK_API int32_t VESK_CALL Shift_NONE(int32_t value);

/* ------------------------------------------------------------------------ */
/* Vector operations. Inputs are read whole before any output is written,   */
/* so an output may alias an input.                                         */
/* ------------------------------------------------------------------------ */

/* v = (x, y, z). */
VESK_API void VESK_CALL VECTOR_Set(Vector3 *v, float x, float y, float z);
/* *px, *py, *pz = v. */
VESK_API void VESK_CALL VECTOR_Get(const Vector3 *v, float *px, float *py, float *pz);
/* (a.z*b.z + a.y*b.y) + a.x*b.x. */
VESK_API float VESK_CALL VECTOR_DotProduct(const Vector3 *a, const Vector3 *b);
/* (a.x*b.x + a.y*b.y) + a.z*b.z. */
VESK_API float VESK_CALL fDotProduct(const Vector3 *a, const Vector3 *b);
/* out = a x b. */
VESK_API void VESK_CALL VECTOR_CrossProduct(const Vector3 *a, const Vector3 *b, Vector3 *out);
/* Scales v to unit length with the exact root; returns the old length.
   Zero or NaN length: returns 0, v untouched. */
VESK_API float VESK_CALL VECTOR_Normalize(Vector3 *v);
/* out = s * v. */
VESK_API void VESK_CALL VECTOR_Scale(const Vector3 *v, float s, Vector3 *out);
/* Fast length: InverseSqrt(d) * d of d = v.v; exactly 0 for a zero vector. */
VESK_API float VESK_CALL VECTOR_Length(const Vector3 *v);
/* out = a - b. */
VESK_API void VESK_CALL VECTOR_Subtract(const Vector3 *a, const Vector3 *b, Vector3 *out);
/* out = a + b. */
VESK_API void VESK_CALL VECTOR_Add(const Vector3 *a, const Vector3 *b, Vector3 *out);
/* out = a + s * b. */
VESK_API void VESK_CALL VECTOR_MA(const Vector3 *a, float s, const Vector3 *b, Vector3 *out);
/* out = a + s * b (scale last). */
VESK_API void VESK_CALL VECTOR_AddScaled(const Vector3 *a, const Vector3 *b, float s, Vector3 *out);
/* dst = src, bit for bit. */
VESK_API void VESK_CALL VECTOR_Copy(const Vector3 *src, Vector3 *dst);
/* v = +0, +0, +0. */
VESK_API void VESK_CALL VECTOR_Clear(Vector3 *v);
/* v = -v (signs of zeros flipped too). */
VESK_API void VESK_CALL VECTOR_Inverse(Vector3 *v);
/* VECTOR_Length(a - b). */
VESK_API float VESK_CALL VECTOR_DistanceBetween(const Vector3 *a, const Vector3 *b);
/* Rotates point about center by each non-zero angle (X, Y, Z), each applied to
   the original offset; components no handled angle writes keep out's values. */
VESK_API void VESK_CALL VECTOR_RotateAroundPoint(const Vector3 *point, const Vector3 *center, float angleX,
                                                 float angleY, float angleZ, Vector3 *out);

/* ------------------------------------------------------------------------ */
/* Matrices and transforms                                                  */
/* ------------------------------------------------------------------------ */

/* Scale, rotate about X, Y, Z (radians), translate. Entries 3, 7, 11 are left
   as the caller set them. */
VESK_API void VESK_CALL MatrixCreate(Matrix4 *out, const Vector3 *scale, const Vector3 *angles,
                                     const Vector3 *position);
/* out = A then B (points transform by A first). out may be A, never B. */
VESK_API void VESK_CALL MatrixMultiply(Matrix4 *out, const Matrix4 *a, const Matrix4 *b);
/* out = M applied to v (affine, no divide). out may be v. */
VESK_API void VESK_CALL MatrixVectorTransform(Vector3 *out, const Matrix4 *m, const Vector3 *v);
/* Box around the eight projectively transformed corners. out may be box. */
VESK_API void VESK_CALL MatrixBboxMultiply(BoundingBox *out, const BoundingBox *box, const Matrix4 *m);
/* Transforms the corner positions of count records in place (none if count <= 0). */
VESK_API void VESK_CALL MatrixPolygonMultiply(Poly *polys, const Matrix4 *m, int32_t count);

/* ------------------------------------------------------------------------ */
/* MD2, MS3D and TGA. Each call reads its file whole; MD2 and MS3D calls    */
/* keep their last file (see Files at the top), TGA calls keep nothing.     */
/* MD2 positions come out as (x, z, -y) of the file and v as 1 - v.         */
/* ------------------------------------------------------------------------ */

/* One animation of an MD2 file, derived from its frame names. 8 bytes. */
typedef struct Md2AnimationRange {
    int32_t startFrame;
    int32_t endFrame;
} Md2AnimationRange;

/* One MD2 triangle corner. 32 bytes. `normal` is never computed:
   GetMD2_MESH leaves it as it was, GetMD2_InterpolatedFrame copies it from
   `to`. */
typedef struct Md2Vertex {
    Vector3 position;
    Vector3 normal;
    float u, v;
} Md2Vertex;

/* MS3D counts. 16 bytes. */
typedef struct Ms3dInfo {
    int32_t groupCount;
    int32_t materialCount;
    int32_t vertexCount;
    int32_t triangleCount;
} Ms3dInfo;

/* One MS3D vertex. 16 bytes; bytes 1..3 are never written. */
typedef struct Ms3dVertex {
    int8_t boneId;
    uint8_t unused[3];
    Vector3 position;
} Ms3dVertex;

/* One MS3D triangle. 72 bytes. oneMinusT[k] = 1 - t of corner k. */
typedef struct Ms3dTriangle {
    Vector3 normal[3];
    float s[3];
    float oneMinusT[3];
    uint32_t vertexIndex[3];
} Ms3dTriangle;

/* One MS3D group (mesh). 8 bytes. materialIndex -1 = none. */
typedef struct Ms3dGroup {
    int32_t materialIndex;
    int32_t triangleCount;
} Ms3dGroup;

/* One MS3D material: 76 bytes on 32-bit targets, 80 on 64-bit ones. Bytes
   68..71 are never written. `texture` is a copy made for the caller, who owns
   it: release it with VeskFreeString (or the C runtime's free when it shares
   the library's heap). */
typedef struct Ms3dMaterial {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emissive[4];
    float shininess;
    uint32_t unused;
    char *texture;
} Ms3dMaterial;

/* Slots of the counts VeskGetMD2_Counts writes. */
enum {
    VESK_MD2_FRAMES = 0,       /* frames of the file */
    VESK_MD2_TRIANGLES = 1,    /* triangles of the file */
    VESK_MD2_MESH_RECORDS = 2, /* Md2Vertex records GetMD2_MESH writes for any frame */
    VESK_MD2_ANIMATIONS = 3,   /* Md2AnimationRange records GetMD2_ANIMATIONS writes */
    VESK_MD2_COUNT_SLOTS = 4
};

/* Size query of the MD2 file at path, read and checked as the two calls below
   read it: counts[VESK_MD2_FRAMES] frames, [VESK_MD2_TRIANGLES] triangles,
   [VESK_MD2_MESH_RECORDS] records GetMD2_MESH writes for any frame (3 per
   triangle), [VESK_MD2_ANIMATIONS] records GetMD2_ANIMATIONS writes. False, with the same message and nothing written,
   where those calls fail for the file. */
VESK_API VeskBool VESK_CALL VeskGetMD2_Counts(const char *path, int32_t *counts);
/* Reads the MD2 file at path and writes one range per animation (frames named
   alike; a trailing number of at most two digits shifts startFrame) and their
   number. ranges: VeskGetMD2_Counts counts[3] records (never more than the
   frames). False, with an "Error" message, when the file is missing, not
   version 8 or corrupt (any frame whose scale, translation or positions are
   not finite included). */
VESK_API VeskBool VESK_CALL GetMD2_ANIMATIONS(const char *path, Md2AnimationRange *ranges, int32_t *count);
/* Writes the 3 * numTriangles corners of frame frameIndex and their number.
   vertices: VeskGetMD2_Counts counts[2] records. False with a message when the
   file is missing, not version 8 or corrupt (that frame not finite included);
   false and silent when frameIndex is not a frame of the file (counts[0]
   frames). */
VESK_API VeskBool VESK_CALL GetMD2_MESH(const char *path, int32_t frameIndex, Md2Vertex *vertices, int32_t *count);
/* Frame clock: elapsed = now - lastTime (ms, across a wrap of the tick count);
   returns elapsed / (1000 / framesPerSecond). When a whole frame has passed,
   currentFrame = *nextFrame and lastTime = now. framesPerSecond 0 returns 0
   and never advances. */
VESK_API float VESK_CALL GetMD2_FRAMPAST(float *elapsed, float *lastTime, int32_t *currentFrame,
                                         const int32_t *nextFrame, float framesPerSecond);
/* out[i] = to[i] with the position blended from -> to by t; box = bounds of
   the blended positions (9999999 / -9999999 when count < 1). out may be from
   or to. Always true. */
VESK_API VeskBool VESK_CALL GetMD2_InterpolatedFrame(float t, const Md2Vertex *from, const Md2Vertex *to,
                                                     Md2Vertex *out, int32_t count, BoundingBox *box);

/* The MS3D calls read versions 3 and 4, show no message, and return false,
   writing nothing, for a missing, foreign or corrupt file (a NaN or infinite
   position, normal, texture coordinate, colour or shininess included). */
/* Writes the four counts: the size query of every MS3D call below. */
VESK_API VeskBool VESK_CALL GetMSD3_Info(const char *path, Ms3dInfo *info);
/* Writes every vertex: GetMSD3_Info vertexCount records. */
VESK_API VeskBool VESK_CALL GetMSD3_Vertex(const char *path, Ms3dVertex *vertices);
/* Writes every triangle: GetMSD3_Info triangleCount records. */
VESK_API VeskBool VESK_CALL GetMSD3_Triangles(const char *path, Ms3dTriangle *triangles);
/* Writes every group: GetMSD3_Info groupCount records. */
VESK_API VeskBool VESK_CALL GetMSD3_Meshes(const char *path, Ms3dGroup *groups);
/* Writes the triangle indices of group groupIndex: that group's
   triangleCount values from GetMSD3_Meshes; nothing, still true, when there
   is no such group. */
VESK_API VeskBool VESK_CALL GetMSD3_MesheINDICES(const char *path, int32_t groupIndex, uint32_t *indices);
/* Writes every material (GetMSD3_Info materialCount records), each with a new
   texture-name copy that the caller owns. */
VESK_API VeskBool VESK_CALL GetMSD3_Material(const char *path, Ms3dMaterial *materials);
/* Copies the texture file name of material materialIndex, NUL included, at
   most 128 bytes; nothing, still true, when there is no such material. */
VESK_API VeskBool VESK_CALL GetMSD3_Texture(const char *path, int32_t materialIndex, char *textureFile);
/* Releases one texture-name copy handed out by GetMSD3_Material; null is ignored. */
VESK_API void VESK_CALL VeskFreeString(char *text);

/* Paints a true-colour TGA (uncompressed or run-length; 16, 24 or 32 bits)
   pixel by pixel through the pixel service, at x = 1..width, y = 1..height,
   upright on a y-down surface: the image's top row at y = 1 whatever its
   stored row order. colour = red | green << 8 | blue << 16.
   width and height are written as soon as the header is read. 1 when every
   pixel was painted; 0 for a missing, colour-mapped, unsupported or short
   file (pixels already painted stay). */
VESK_API uint32_t VESK_CALL LoadTGA(const char *path, void *deviceContext, uint32_t *width, uint32_t *height);

/* ------------------------------------------------------------------------ */
/* Geometry and collision. Stateless; never fail. Vector outputs are        */
/* computed from inputs read whole first, so an output may alias an input.  */
/* ------------------------------------------------------------------------ */

/* Plane a*x + b*y + c*z + d; the visible side is > 0. 16 bytes. */
typedef struct Plane {
    float a, b, c, d;
} Plane;

/* Six unit-normal planes: 0 right, 1 left, 2 bottom, 3 top, 4 far, 5 near. 96 bytes. */
typedef struct Frustum {
    Plane plane[6];
} Frustum;

/* buildFromPOLY2 output: three full corners, without the word and tag. 120 bytes. */
typedef struct PolyFlat {
    PolyVertex corner[3];
} PolyFlat;

/* A corner without its second texture pair. 32 bytes. */
typedef struct PolyVertexShort {
    Vector3 position;
    Vector3 normal;
    float u, v;
} PolyVertexShort;

/* buildFromPOLY output. 96 bytes. */
typedef struct PolyFlatShort {
    PolyVertexShort corner[3];
} PolyFlatShort;

/* The host's moving body. 88 bytes. The swept tests (CheckForCollision3,
   CheckCollision) take velocity and position in the body's unit-sphere space
   (world divided by radii) and only record a hit: clear `collided` and
   `touching` before each call. */
typedef struct CollisionBody {
    Vector3 velocity;     /* 0: requested movement of this step */
    Vector3 position;     /* 12: centre */
    Vector3 radii;        /* 24: semi-axes; the sphere tests use their mean */
    float reserved[3];    /* 36: never touched */
    uint8_t touching;     /* 48: 1 when a polygon point lies within the unit sphere */
    uint8_t padding[3];   /* 49: never touched */
    int32_t collided;     /* 52: 1 when a collision was found */
    double distance;      /* 56: distance of the hit (meaning per call) */
    Vector3 spherePoint;  /* 64: point of the unit sphere that touches first */
    Vector3 polygonPoint; /* 76: point of the polygon that is touched */
} CollisionBody;

/* Distance along the ray in units of |direction| (negative when the plane is
   behind); -1 when the ray is parallel. */
VESK_API float VESK_CALL IntersectRayPlane(const Vector3 *origin, const Vector3 *direction, const Vector3 *planePoint,
                                           const Vector3 *planeNormal);
/* Distance along a unit direction to the first hit (negative for a sphere
   behind the origin); -1 on a miss. */
VESK_API float VESK_CALL IntersectRaySphere(const Vector3 *origin, const Vector3 *direction, const Vector3 *center,
                                            float radius);
/* 1 when point lies in triangle abc (angle sum within 0.005 of 2 pi). */
VESK_API VeskBool VESK_CALL CheckPointInTriangle(const Vector3 *point, const Vector3 *a, const Vector3 *b,
                                                 const Vector3 *c);
/* out = nearest point of segment ab to point; returns out. */
VESK_API Vector3 *VESK_CALL ClosestPointOnLine(Vector3 *out, const Vector3 *a, const Vector3 *b,
                                               const Vector3 *point);
/* out = nearest point of the outline of triangle abc to point; returns out. */
VESK_API Vector3 *VESK_CALL ClosestPointOnPolygon(Vector3 *out, const Vector3 *a, const Vector3 *b, const Vector3 *c,
                                                  const Vector3 *point);
/* 1 when |point - center| <= radius. */
VESK_API VeskBool VESK_CALL CheckPointInSphere(const Vector3 *point, const Vector3 *center, float radius);
/* out = unit normal at point of the ellipsoid with semi-axes radii; returns out.
   A zero radius gives NaN. */
VESK_API Vector3 *VESK_CALL TangentPlaneNormalOfEllipsoid(Vector3 *out, const Vector3 *point, const Vector3 *center,
                                                          const Vector3 *radii);
/* 1 behind the plane, 0 within 0.001 of it (inclusive), -1 in front. */
VESK_API int32_t VESK_CALL ClassifyPoint(float planeX, float planeY, float planeZ, float pointX, float pointY,
                                         float pointZ, float normalX, float normalY, float normalZ);
/* out = (p1 - p0) x (p2 - p0), not normalised; returns out. */
VESK_API Vector3 *VESK_CALL GetPolyNormal(Vector3 *out, const Poly *poly);
/* Writes GetPolyNormal of each of count records into its three corner normals. */
VESK_API void VESK_CALL SetPolyNormal(Poly *polys, int32_t count);
/* out[i] = record i with that normal and without second texture pairs; count records. */
VESK_API void VESK_CALL buildFromPOLY(const Poly *polys, PolyFlatShort *out, int32_t count);
/* out[i] = record i's corners with that normal; count records. */
VESK_API void VESK_CALL buildFromPOLY2(const Poly *polys, PolyFlat *out, int32_t count);
/* out = unit normal of (c - a) x (b - a), the opposite of GetPolyNormal; NaN
   for a degenerate triangle; returns out. */
VESK_API Vector3 *VESK_CALL GetVnormal(Vector3 *out, const Vector3 *a, const Vector3 *b, const Vector3 *c);

/* Fills frustum from the modelview and projection matrices. */
VESK_API void VESK_CALL CalculateFrustum(Frustum *frustum, const Matrix4 *modelview, const Matrix4 *projection);
/* 1 when the point is strictly inside all six planes (0 for NaN). */
VESK_API int32_t VESK_CALL PointInFrustum(const Frustum *frustum, float x, float y, float z);
/* 0 when the sphere lies wholly outside a plane (touching from outside counts
   as outside), else 1. */
VESK_API int32_t VESK_CALL SphereInFrustum(const Frustum *frustum, float x, float y, float z, float radius);
/* Box given by two opposite corners: 0 when all corners lie outside one plane,
   else 1 (conservative near frustum corners; 0 for NaN). */
VESK_API int32_t VESK_CALL BoxInFrustum(const Frustum *frustum, float x1, float y1, float z1, float x2, float y2,
                                        float z2);

/* Signed distance of center from the plane into *distance; returns 1 when it
   is below radius in size, 2 when at least radius in front, else 0. */
VESK_API int32_t VESK_CALL GetClassifySphere(const Vector3 *center, const Vector3 *normal, const Vector3 *pointOnPlane,
                                             float radius, float *distance);
/* Pushes the body (sphere of mean radius) out of every triangle it penetrates,
   in order, moving body->position; out = final position. Sets collided on a
   hit, never clears it. */
VESK_API void VESK_CALL CheckForCollision1(Vector3 *out, CollisionBody *body, const Poly *polys, int32_t count);
/* First triangle whose plane the body (sphere of mean radius) cuts: collided,
   distance (signed, from the plane) and out = nearest plane point. Zero-area
   triangles are skipped. body->position is not moved. */
VESK_API void VESK_CALL CheckForCollision2(Vector3 *out, CollisionBody *body, const Poly *polys, int32_t count);
/* First triangle the sphere penetrates: outPosition = center pushed out to
   radius from its plane, outNormal = its (p1 - p0) x (p2 - p0); returns 1.
   Otherwise returns 0, outPosition = center and outNormal untouched. */
VESK_API VeskBool VESK_CALL CheckForCollisionNormal(Vector3 *outPosition, Vector3 *outNormal, const Vector3 *center,
                                                    float radius, const Poly *polys, int32_t count);
/* Nearest triangle the unit sphere at body->position meets while moving by
   body->velocity (both in unit-sphere space); front faces have the normal of
   (c - a) x (b - a). Records distance, spherePoint, polygonPoint and collided
   when nearer than a recorded hit; sets touching. `unused` is ignored. */
VESK_API void VESK_CALL CheckForCollision3(const void *unused, CollisionBody *body, const Poly *polys, int32_t count);
/* As CheckForCollision3 with front faces along (b - a) x (c - a), an exact
   normal, and triangles with a zero edge skipped. */
VESK_API void VESK_CALL CheckCollision(const void *unused, CollisionBody *body, const Poly *polys, int32_t count);
/* Moves body->position onto the plane of the first triangle whose plane cuts
   the unit sphere around it by more than 0.001 (world space; outlines not
   tested); then distance = 100 and collided = 1. */
VESK_API void VESK_CALL CheckForCollision4(const void *unused, CollisionBody *body, const Poly *polys, int32_t count);

/* 1 when point lies in box, every bound inclusive (0 for NaN). */
VESK_API VeskBool VESK_CALL CheckPointInBOX(const Vector3 *point, const BoundingBox *box);
/* 1 when point lies in the axis-aligned bounds of box carried through m. */
VESK_API VeskBool VESK_CALL CheckPointInBOXex(const Vector3 *point, const BoundingBox *box, const Matrix4 *m);

/* ------------------------------------------------------------------------ */
/* MD3 players: legs, upper body, head and weapon joined by tags, animated  */
/* by the millisecond clock. Up to 50 players; a player's index is the      */
/* count GetModelMD3 returned minus one. Indices outside 0..49 are refused. */
/* ------------------------------------------------------------------------ */

/* One posed vertex of a character mesh: (x, z, y) of the posed point, 12
   bytes the library never writes, then u, v. 32 bytes. */
typedef struct CharacterVertex {
    float x, z, y;
    float unused[3];
    float u, v;
} CharacterVertex;

/* Loads lower/upper/head.md3, their *_default.skin files and animation.cfg
   from directory into the next free slot; returns the player count after the
   call (raised by one on success; unchanged on failure or with 50 players). */
VESK_API int32_t VESK_CALL GetModelMD3(const char *directory);
/* Loads directory/name.md3 and directory/name.shader (one texture per line,
   line k for mesh k) and attaches it at the upper body's "tag_weapon". */
VESK_API VeskBool VESK_CALL GetModelMD3weapon(int32_t index, const char *directory, const char *name);
/* Sets the player's playback speed factor (1.0 by default). */
VESK_API void VESK_CALL GetModelMD3speed(int32_t index, float speed);
/* Restarts animations by number: legs 0..5 or 13..24, torso 0..12 (the order
   of animation.cfg); other numbers leave that half as it is. */
VESK_API void VESK_CALL GetModelMD3ani(int32_t index, int32_t legs, int32_t torso);
/* Parts of a player, the slots of the counts VeskGetModelMD3counts and
   GetModelMD3mesh write: legs, upper body, then the parts attached to the
   upper body in the order of its tags (usually head, weapon). */
enum {
    VESK_MD3_PART_LEGS = 0,
    VESK_MD3_PART_UPPER = 1,
    VESK_MD3_PART_ATTACHED0 = 2,
    VESK_MD3_PART_ATTACHED1 = 3,
    VESK_MD3_PART_SLOTS = 4
};

/* Size query of GetModelMD3mesh: counts[p] (four values) = the records the
   next GetModelMD3mesh of player index writes into part p, 0 for a part it
   does not draw (and all 0 for an empty slot or an index outside 0..49).
   Independent of the animation state; writes nothing else. */
VESK_API void VESK_CALL VeskGetModelMD3counts(int32_t index, int32_t *counts);
/* Advances the clocks and writes the posed parts: part0 legs, part1 upper
   body, then the parts attached to the upper body in the order of its tags
   (3 records per drawn triangle each); counts[p] per part written; box = min,
   max of the written records. Each part array: VeskGetModelMD3counts counts[p]
   records. Returns the legs' last step time (ms). */
VESK_API int32_t VESK_CALL GetModelMD3mesh(int32_t index, CharacterVertex *part0, CharacterVertex *part1,
                                           CharacterVertex *part2, CharacterVertex *part3, int32_t *counts,
                                           float *box);

/* ------------------------------------------------------------------------ */
/* Static models (3DS, OBJ, ASE). One model for the whole module: 3DS and   */
/* OBJ loads add objects after those held, an ASE load replaces them all.   */
/* ------------------------------------------------------------------------ */

/* Counts reported by Get3DS_INFO. 8 bytes. */
typedef struct StaticModelInfo {
    int32_t objectCount;
    int32_t materialCount;
} StaticModelInfo;

/* Material written by Get3DS_MATERIAL. 8 bytes; `unused` is never written. */
typedef struct StaticMaterialInfo {
    uint8_t red, green, blue;
    uint8_t unused;
    int32_t reserved;
} StaticMaterialInfo;

/* Loads path (type 0 = 3DS, 1 = OBJ, 2 = ASE; other types load nothing), then
   reports the counts held, whether or not the load succeeded. A file that
   brings in a NaN or infinite position, texture coordinate, colour or tiling
   is refused with the "Error" message "Invalid file format (corrupt data):
   <path>!" and changes nothing. */
VESK_API void VESK_CALL Get3DS_INFO(const char *path, StaticModelInfo *info, int32_t type);
/* Size query of the two mesh calls below: the faces of object objectIndex of
   the model held (Get3DS_MESH writes 3 corners per face), or for -1 the faces
   of all objects (the records Get3DS_MESHPOLY writes); -1 for any other index
   that names no object. Reads only. */
VESK_API int32_t VESK_CALL VeskGet3DS_Faces(int32_t objectIndex);
/* Writes 3 x faceCount corners of object objectIndex (position, normal, and for
   textured objects u, -v into both pairs, each preceded by the texture-coordinate
   service with (u, v)); *count = the same number, returned. vertices:
   3 x VeskGet3DS_Faces(objectIndex) records. box starts at +/-9999999 and grows
   to the corners. Unknown object: box only, returns 0. */
VESK_API int32_t VESK_CALL Get3DS_MESH(int32_t ignored, int32_t objectIndex, PolyVertex *vertices, int32_t *count,
                                       BoundingBox *box, int32_t ignored2);
/* Writes one Poly per triangle of every object in order (tag -1, word
   untouched); *count = the number, returned. polys: VeskGet3DS_Faces(-1)
   records. 0 when nothing is loaded. */
VESK_API int32_t VESK_CALL Get3DS_MESHPOLY(Poly *polys, int32_t *count, int32_t ignored);
/* Writes material materialIndex's colour and reserved word, and its texture
   file name with its NUL (at most 255 bytes). Unknown material: nothing. */
VESK_API void VESK_CALL Get3DS_MATERIAL(int32_t ignored, int32_t materialIndex, StaticMaterialInfo *info,
                                        char *textureFile, int32_t ignored2);

/* ------------------------------------------------------------------------ */
/* Half-Life MDL models: skeletal models in 50 slots; a model's index is   */
/* the count GetmodelMDL returned minus one. One millisecond clock is       */
/* shared by every MDL model: each mesh call steps by the time since the    */
/* previous mesh call (at most 0.1 s), whichever model that was for.        */
/* ------------------------------------------------------------------------ */

/* One sequence of an MDL model, as VeskGetModelMDLsequences writes it.
   48 bytes: name at 0, framesPerSecond 32, frameCount 36, flags 40,
   activity 44. */
typedef struct VeskMdlSequence {
    char name[32];
    float framesPerSecond;
    int32_t frameCount;
    int32_t flags;
    int32_t activity;
} VeskMdlSequence;

/* Loads path (main file, 4-character extension such as .mdl) into the next
   slot, with nameT.mdl when the main file holds no textures and name01.mdl,
   name02.mdl ... for its further sequence groups. *textures = the main file's
   texture count (0 when they live in nameT.mdl, and 0 after a failed load).
   A failed load (missing file, damaged data, more than 128 bones, 2048
   vertices or normals in a model, 4 ordinary controllers or 31 group files)
   shows a message and leaves the slot unusable, but still takes the slot.
   Returns the model count after the call; with 50 models it loads nothing,
   takes no slot and writes 0 to *textures. */
VESK_API int32_t VESK_CALL GetmodelMDL(const char *path, int32_t *textures);
/* Advances the model's frame by the clock and writes the posed vertex of
   every command vertex of every body part, in file order, to records (skinned
   (x, z, y), u, v); *count = the number written. Size records with
   VeskGetModelMDLcounts (counts[0]). A model without body parts writes
   nothing and leaves *count; an unusable, empty or unknown slot only sets
   *count = 0. Returns index. */
VESK_API int32_t VESK_CALL GetModelMDLmesh(int32_t index, CharacterVertex *records, int32_t *count);
/* Triangle list over the records of the slot's last GetModelMDLmesh: three
   indices into those records per triangle (strips with alternating winding,
   fans around their first vertex); *count = the number of indices written.
   Size indices with VeskGetModelMDLcounts (counts[1]). Before any mesh call,
   or for an unusable, empty or unknown slot: nothing written, *count = 0. */
VESK_API void VESK_CALL VeskGetModelMDLtriangles(int32_t index, uint32_t *indices, int32_t *count);
/* Slots of the counts VeskGetModelMDLcounts writes. */
enum {
    VESK_MDL_MESH_RECORDS = 0, /* CharacterVertex records of the next GetModelMDLmesh */
    VESK_MDL_INDICES = 1,      /* indices VeskGetModelMDLtriangles then writes */
    VESK_MDL_COUNT_SLOTS = 2
};

/* Sizes for the slot, without changing anything: counts[0] = the records the
   next GetModelMDLmesh writes, counts[1] = the indices
   VeskGetModelMDLtriangles then writes. Both 0 for an unusable, empty or
   unknown slot. */
VESK_API void VESK_CALL VeskGetModelMDLcounts(int32_t index, int32_t *counts);
/* Writes the slot's sequences in file order (name up to its first NUL, at
   most 31 bytes, zero-filled to 32; rate, frame count, flags and activity as
   stored); returns their count. A null array returns the count only; 0 for an
   unusable, empty or unknown slot. */
VESK_API int32_t VESK_CALL VeskGetModelMDLsequences(int32_t index, VeskMdlSequence *sequences);
/* Plays sequence (0 .. VeskGetModelMDLsequences - 1) from frame 0 in the next
   GetModelMDLmesh calls; a sequence of another group file poses from that
   file. False, nothing changed, for another sequence or an unusable slot. */
VESK_API VeskBool VESK_CALL VeskSetModelMDLsequence(int32_t index, int32_t sequence);
/* size[0], size[1] = width, height of texture `texture` (of the main file, or
   of nameT.mdl when that holds the textures); rgba = width x height x 4
   bytes from the first stored row, each pixel its palette entry with alpha
   255, or alpha 0 for index 255 of a texture with flag 0x40 (masked). A null
   rgba writes the size only. Returns the texture count (0 for an unusable,
   empty or unknown slot); nothing written for a texture outside them. */
VESK_API int32_t VESK_CALL VeskGetModelMDLtexture(int32_t index, int32_t texture, uint8_t *rgba, int32_t *size);
/* Per mesh drawn, in the order of VeskGetModelMDLtriangles: first index,
   index count and texture (its skin reference in skin family 0); the ranges
   run on from 0 over the whole list (VeskGetModelMDLcounts counts[1]).
   ranges: 3 x the returned mesh count; null returns the count only, 0 for
   an unusable, empty or unknown slot. */
VESK_API int32_t VESK_CALL VeskGetModelMDLmeshes(int32_t index, int32_t *ranges);

/* ------------------------------------------------------------------------ */
/* Q3 BSP levels                                                            */
/* ------------------------------------------------------------------------ */

/* A Q3 BSP level: one module-level level object, replaced by every
   successful GetQ3BSP_INFO and kept by a failed one. Its geometry is turned
   from the file's Z-up frame into the host's Y-up frame: a point (x, y, z)
   becomes (x, z, -y). A load checks the whole file first (magic "IBSP",
   version 46 or 47, every lump inside the file, every index inside its table,
   the visibility header, at least one node and one leaf, a node graph without
   cycles, every float of the vertices, faces and planes finite, and for
   drawing: the mesh-vertex range of every face of type 1 or 3 inside the
   mesh-vertex lump and each of its offsets inside the face's vertices, every
   face's texture inside the texture lump, every lightmap index negative
   (none: maps store -1, and -3 for vertex light) or inside the lightmaps,
   every patch grid odd-sized, at least 3 x 3 and inside its face's
   vertices); a damaged file is refused with the "Error" message
   "Invalid file format (corrupt data): <path>!" and changes nothing. */

/* Plane: normal . p = distance. Normal in the host frame. 16 bytes. */
typedef struct Q3BspPlane {
    Vector3 normal;
    float distance;
} Q3BspPlane;

/* Tree node. Child >= 0: a node index; child < 0: leaf ~child. Front is the
   side where normal . p - distance >= 0. Box as stored in the file (Z-up).
   36 bytes. */
typedef struct Q3BspNode {
    int32_t plane;
    int32_t front;
    int32_t back;
    int32_t mins[3];
    int32_t maxs[3];
} Q3BspNode;

/* Tree leaf. cluster < 0: no cluster. The box corners are each converted to
   the host frame and not re-sorted, so mins[2] >= maxs[2]: treat the six
   numbers as two opposite corners. 48 bytes. */
typedef struct Q3BspLeaf {
    int32_t cluster;
    int32_t area;
    int32_t mins[3];
    int32_t maxs[3];
    int32_t firstLeafFace;
    int32_t leafFaceCount;
    int32_t firstLeafBrush;
    int32_t leafBrushCount;
} Q3BspLeaf;

/* Vertex: position in the host frame, texture v negated; lightmap
   coordinate, normal and colour as stored. 44 bytes. */
typedef struct Q3BspVertex {
    Vector3 position;
    float texCoord[2];
    float lightmapCoord[2];
    Vector3 normal;
    uint8_t colour[4];
} Q3BspVertex;

/* Face, exactly as stored. type: 1 polygon, 2 patch, 3 mesh, 4 billboard.
   Its vertices are vertex[firstVertex .. firstVertex + vertexCount - 1].
   104 bytes. */
typedef struct Q3BspFace {
    int32_t texture;
    int32_t effect;
    int32_t type;
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstMeshVertex;
    int32_t meshVertexCount;
    int32_t lightmap;
    int32_t lightmapCorner[2];
    int32_t lightmapSize[2];
    Vector3 lightmapOrigin;
    Vector3 lightmapVectors[2];
    Vector3 normal;
    int32_t patchSize[2];
} Q3BspFace;

/* Indices into the counts written by VeskGetQ3BSP_Counts, in the order of
   GetQ3BSP_INFO's arrays. */
enum {
    VESK_Q3BSP_VERTICES = 0,   /* Q3BspVertex records */
    VESK_Q3BSP_FACES = 1,      /* Q3BspFace records */
    VESK_Q3BSP_LEAVES = 2,     /* Q3BspLeaf records */
    VESK_Q3BSP_LEAF_FACES = 3, /* int32_t face indices */
    VESK_Q3BSP_NODES = 4,      /* Q3BspNode records */
    VESK_Q3BSP_PLANES = 5,     /* Q3BspPlane records */
    VESK_Q3BSP_VIS_BYTES = 6,  /* bytes: cluster count x bytes per cluster (0 for no visibility data) */
    VESK_Q3BSP_COUNT_SLOTS = 7
};

/* Writes the seven record counts of the file at path into counts[0..6] (lump
   length / record size, a remainder ignored; see VESK_Q3BSP_*). Runs the same
   checks as GetQ3BSP_INFO, so true here means that GetQ3BSP_INFO of the same
   file loads and writes exactly these counts. False, silent, with nothing
   written, for a missing or damaged file. Loads nothing. */
VESK_API VeskBool VESK_CALL VeskGetQ3BSP_Counts(const char *path, int32_t *counts);
/* Loads the level at path and copies it into the host's arrays, each sized by
   VeskGetQ3BSP_Counts: vertices, faces, leaves, leafFaces (int32_t), nodes,
   planes, visibility (the bit rows: bit (c2 & 7) of byte c1 * bytesPerCluster
   + c2 / 8 is set when cluster c2 can be seen from cluster c1). A null array
   is not copied. Missing file: "Error" message "Could not find BSP file!",
   false. Damaged file: the corrupt-data message, false. On false the arrays
   and the loaded level are untouched. */
VESK_API VeskBool VESK_CALL GetQ3BSP_INFO(const char *path, Q3BspVertex *vertices, Q3BspFace *faces,
                                          Q3BspLeaf *leaves, int32_t *leafFaces, Q3BspNode *nodes,
                                          Q3BspPlane *planes, uint8_t *visibility);
/* Calls *callback with count - 1, count - 2, ..., 0 (nothing for count <= 0);
   touches no level data. Returns 0. */
VESK_API int32_t VESK_CALL GetQ3BSP_Process(int32_t ignored, int32_t count, const VeskHostCallback *callback);
/* Reports every visible polygon face (type 1) of the loaded level once, by
   its index, to *callback: leaves from last to first, each leaf's faces from
   last to first. A leaf is visible when its cluster can be seen from the
   camera's cluster (every leaf when the camera's leaf has no cluster or the
   level has no visibility data; never a leaf without a cluster otherwise) and
   BoxInFrustum of its box is 1. Nothing before a load. */
VESK_API void VESK_CALL GetQ3BSP_Process2(const Vector3 *camera, const Frustum *frustum,
                                          const VeskHostCallback *callback);
/* The same walk on host arrays as GetQ3BSP_INFO filled them, without the
   frustum, the face-type filter or the once-only rule: every leaf face index
   of every visible leaf, once per leaf. visibility null: every leaf visible.
   leafCount and the arrays as VeskGetQ3BSP_Counts sized them; no export
   reports bytesPerCluster: it is the int32 at byte 4 of the file's
   visibility lump (lump 16). Returns 0. */
VESK_API int32_t VESK_CALL GetQ3BSP_ProcessEX(const Vector3 *camera, int32_t ignored, int32_t leafCount,
                                              const Q3BspLeaf *leaves, const int32_t *leafFaces,
                                              const Q3BspNode *nodes, const Q3BspPlane *planes,
                                              const uint8_t *visibility, int32_t bytesPerCluster,
                                              const VeskHostCallback *callback);
/* Classifies the sphere against the splitting plane of the last node passed
   on the way down to the leaf that holds center: s = normal . center -
   distance; 1 when |s| < radius, else 2 when s >= radius, else 0. 2 before
   any load. Changes nothing. */
VESK_API int32_t VESK_CALL GetQ3BSP_Collision(const Vector3 *center, float radius);

/* One record of the texture lump, as stored: a NUL-padded shader or texture
   name without extension, and its flags. 72 bytes. */
typedef struct VeskQ3BspTexture {
    char name[64];
    int32_t surfaceFlags;
    int32_t contents;
} VeskQ3BspTexture;

/* The extensions below read the level of the last successful GetQ3BSP_INFO;
   before any load they write nothing and return 0. Each is its own size
   query: a null array returns the count only. */
/* The mesh-vertex lump as stored: offsets from a face's firstVertex that
   triangulate faces of type 1 and 3 (face.meshVertexCount of them from
   face.firstMeshVertex). Returns and writes lump length / 4 int32_t. */
VESK_API int32_t VESK_CALL VeskGetQ3BSP_MeshVertices(int32_t *offsets);
/* The texture lump as stored (face.texture indexes it). Returns and writes
   lump length / 72 records. */
VESK_API int32_t VESK_CALL VeskGetQ3BSP_Textures(VeskQ3BspTexture *textures);
/* The lightmap lump as stored (face.lightmap indexes it, lightmap
   coordinates in 0..1): returns the lightmap count n = lump length / 49152
   and writes n x 128 x 128 RGB bytes, rows in file order. */
VESK_API int32_t VESK_CALL VeskGetQ3BSP_Lightmaps(uint8_t *rgb);
/* Tessellates patch face (type 2) at level 1..16. Its control grid is
   patchSize[0] (w) x patchSize[1] (h) vertices, row-major from firstVertex,
   3 x 3 blocks sharing edge rows and columns. Writes a row-major grid of
   C = (w - 1) / 2 x level + 1 columns by R = (h - 1) / 2 x level + 1 rows:
   each vertex is its block's biquadratic Bezier surface at i / level,
   j / level, every field interpolated from the vertices as GetQ3BSP_INFO
   gives them (the normal renormalised, the colour rounded to the nearest
   byte); grid points on control points are those control points exactly.
   indices: 6 x (C - 1) x (R - 1), two triangles per cell wound like the
   map's polygon faces. counts[0] = C x R, counts[1] = the index count (call
   with null vertices and indices to size them; counts may be null). False,
   nothing written, for a face outside the faces or not of type 2, a level
   outside 1..16, an even or below-3 grid size, control points outside the
   face's vertices, or more indices than an int32_t counts. */
VESK_API VeskBool VESK_CALL VeskTessellateQ3BSP_Patch(int32_t face, int32_t level, Q3BspVertex *vertices,
                                                      uint32_t *indices, int32_t *counts);

/* ------------------------------------------------------------------------ */
/* Spatial structures: octree, polygon visibility, polygon BSP, lightmaps   */
/* ------------------------------------------------------------------------ */

/* One point light of the lightmap exports. 32 bytes. Output bytes of a lumel
   are (red, green, blue) sums: note the record's order red, blue, green. */
typedef struct LightmapLight {
    Vector3 position; /* 0 */
    float intensity;  /* 12 */
    float radius;     /* 16: lumels at this distance or farther get nothing */
    float red;        /* 20: accumulated into output byte 0 */
    float blue;       /* 24: accumulated into output byte 2 */
    float green;      /* 28: accumulated into output byte 1 */
} LightmapLight;

/* Replaces the octree with one over count triangles (copied; the host array
   is not kept). The root cube is centred on the mean of the finite corners;
   nodes divide into octants down to depth 3, and a triangle goes whole to every
   octant that holds its corner 0. count <= 0 or a null array gives an empty
   root leaf. Always returns 1. */
VESK_API int32_t VESK_CALL BuildVeskOctree(const Poly *polys, int32_t count);
/* Calls *callback (read before every call) with the address of every octree
   triangle whose corner box passes BoxInFrustum, depth first (octants 0..7),
   each leaf in its order. A node is skipped only when a box enclosing its cube
   and every triangle below it fails the test, so the set reported equals
   RenderVeskPoly mode 1 over the built array (a triangle held by k leaves is
   reported k times). Pointers stay valid until the next BuildVeskOctree.
   Returns the number of leaves whose box passed, also written to
   *visitedLeaves when that is not null. A null frustum reports nothing. */
VESK_API int32_t VESK_CALL RenderVeskOctree(const Frustum *frustum, const VeskHostCallback *callback,
                                            int32_t *visitedLeaves);
/* mode > 0: calls *callback with &polys[i] for each record whose corner box
   passes BoxInFrustum, in order; mode 0: with every record, no test; mode < 0,
   count <= 0, a null array or (mode > 0) a null frustum: nothing. A corner box
   with a NaN coordinate never passes. */
VESK_API void VESK_CALL RenderVeskPoly(const Poly *polys, int32_t count, const Frustum *frustum, int32_t mode,
                                       const VeskHostCallback *callback);

/* Compiles a polygon BSP tree over count triangles (copied, not changed),
   replacing and releasing the previous tree. Straddling triangles are cut;
   pieces keep their source's word and tag, and a cut corner interpolates
   position, normal and both texture pairs. A node is a leaf when no candidate
   puts pieces on both sides. Returns the number of compiles so far (1, 2, ...);
   count <= 0 or a null array compiles a single empty leaf. */
VESK_API int32_t VESK_CALL GetVeskBSP(int32_t ignored, const Poly *polys, int32_t count);
/* stats[0] = nodes (interior and leaves), stats[1] = leaves, stats[2] = pieces
   held by leaves, stats[3] = depth (nodes on the longest root-to-leaf path) of
   the current tree; all 0 before the first GetVeskBSP. Four int32 values. */
VESK_API void VESK_CALL VeskGetBspStats(int32_t *stats);
/* Calls *callback with the address of every piece of the current tree (a Poly,
   valid until the next GetVeskBSP), back to front as seen from *eye: at each
   node the side away from the eye first (the back side when the eye is on the
   plane). Nothing for a null eye. */
VESK_API void VESK_CALL VeskWalkBspBackToFront(const Vector3 *eye, const VeskHostCallback *callback);

/* Lights count triangles: output gets 768 bytes per triangle (16 x 16 lumels,
   three bytes each, lumel (i, j) at 3 * (16 i + j), i along the projected u
   axis), each byte a channel sum clamped to 0..255. Writes each corner's
   lightmap coordinate into its u2, v2 (0 where the triangle has no extent or
   the value is not finite). A triangle with a zero normal gets all-zero lumels.
   Size output from count; count <= 0 writes nothing. */
VESK_API void VESK_CALL CreateLightmaps(int32_t count, Poly *triangles, const LightmapLight *lights,
                                        int32_t lightCount, uint8_t *output);
/* CreateLightmaps without writing the triangles. */
VESK_API void VESK_CALL CreateLightmaps2(int32_t count, const Poly *triangles, const LightmapLight *lights,
                                         int32_t lightCount, uint8_t *output);

#endif /* VESKMATHLIB_H */
