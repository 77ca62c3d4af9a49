// ASCII scene export (ASE) text: materials and geometric objects, replacing
// whatever the static model held.
//
// One indexing pass notes every line whose first word is a statement we read;
// each material and object is then filled from its own run of those lines.
// This gives the results of scanning the file from the start for each count,
// material and object (a material runs to the next *MATERIAL or the end of the
// file, an object to the next *GEOMOBJECT; within them a later statement
// overwrites an earlier one, except *MATERIAL_REF, where the first counts),
// in time that grows linearly with the file.
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include <emmintrin.h>

#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/fast_number.h"
#include "io/file.h"
#include "loaders/static_model.h"
#include "math/finite_floats.h"

namespace vesk {
namespace {

enum class Key {
    GeomObject,
    MaterialCount,
    Material,
    Diffuse,
    Bitmap,
    MaterialName,
    UTiling,
    VTiling,
    NumVertex,
    NumFaces,
    NumTVertex,
    MaterialRef,
    Vertex,
    TVert,
    Face,
    TFace,
    Other,
};

uint64_t Load8(const char *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint32_t Load4(const char *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The first LF at or after p, or end. Lines are short: sixteen bytes at a
// time inline beat a library call per line.
const char *FindLineFeed(const char *p, const char *end) {
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
        if (found) return p + std::countr_zero(found);
    }
    while (p < end && *p != '\n') ++p;
    return p;
}

// Past the run of tabs that indents a line, eight bytes at a time (a
// byte-by-byte loop mispredicts its exit as the depth changes).
const char *SkipIndent(const char *p, const char *end) {
    constexpr uint64_t kTabs = 0x0909090909090909u;
    while (end - p >= 8) {
        const uint64_t other = Load8(p) ^ kTabs;
        if (other) return p + std::countr_zero(other) / 8;
        p += 8;
    }
    return p;
}

// Whether the word at word is exactly the keyword: its bytes, then a blank
// or the end of the text. The compare is a few overlapping loads (a call to
// memcmp per keyword cost more than the rest of the line).
template <size_t N>
bool IsWord(const char *word, size_t room, const char (&keyword)[N]) {
    constexpr size_t n = N - 1;
    static_assert(n >= 4 && n <= 24);
    if (room < n) return false;
    bool same;
    if constexpr (n < 8) {
        same = Load4(word) == Load4(keyword) && Load4(word + n - 4) == Load4(keyword + n - 4);
    } else {
        same = Load8(word) == Load8(keyword) && Load8(word + n - 8) == Load8(keyword + n - 8);
        if constexpr (n > 16) same = same && Load8(word + 8) == Load8(keyword + 8);
    }
    return same && (room == n || IsTextSpace(word[n]));
}

// The statement whose word starts at word, and where that word ends; Other
// (and the end unset) for any other word. Every statement we read starts with
// '*' and one of four letters, so most lines of a file (animation samples,
// normals) are turned away on their first two bytes.
Key Classify(const char *word, const char *end, const char *&wordEnd) {
    const size_t room = static_cast<size_t>(end - word);
    if (room < 3 || word[0] != '*') return Key::Other;
    Key key = Key::Other;
    size_t n = 0;
    auto is = [&](const auto &keyword, Key k) {
        if (!IsWord(word, room, keyword)) return false;
        key = k;
        n = sizeof keyword - 1;
        return true;
    };
    if (word[1] == 'M' && word[2] == 'E') {
        (void)(is("*MESH_VERTEX", Key::Vertex) || is("*MESH_FACE", Key::Face) || is("*MESH_TVERT", Key::TVert) ||
               is("*MESH_TFACE", Key::TFace) || is("*MESH_NUMVERTEX", Key::NumVertex) ||
               is("*MESH_NUMFACES", Key::NumFaces) || is("*MESH_NUMTVERTEX", Key::NumTVertex));
    } else if (word[1] == 'M') {
        (void)(is("*MATERIAL", Key::Material) || is("*MATERIAL_COUNT", Key::MaterialCount) ||
               is("*MATERIAL_DIFFUSE", Key::Diffuse) || is("*MATERIAL_NAME", Key::MaterialName) ||
               is("*MATERIAL_REF", Key::MaterialRef));
    } else if (word[1] == 'G' || word[1] == 'B' || word[1] == 'U') {
        (void)(is("*GEOMOBJECT", Key::GeomObject) || is("*BITMAP", Key::Bitmap) ||
               is("*UVW_U_TILING", Key::UTiling) || is("*UVW_V_TILING", Key::VTiling));
    }
    if (key != Key::Other) wordEnd = word + n;
    return key;
}

struct Statement {
    Key key;
    std::string_view values;  // the rest of its line
    size_t offset;            // of the line in the text
};

// The value of a quoted statement: the first word after the opening quote,
// less its last character (the closing quote of a one-word value). An empty
// value leaves the field empty; an unquoted one leaves it unchanged.
void ReadQuoted(std::string_view values, char (&field)[255]) {
    std::string_view s = SkipSpace(values);
    if (s.empty() || s[0] != '"') return;
    s.remove_prefix(1);
    std::string_view word = s.substr(0, s.find_first_of(" \t\r\n\v\f"));
    if (!word.empty()) word.remove_suffix(1);
    CopyToField(field, word);
}

// A corner label ("A:"): blanks, then exactly those two characters.
bool Literal(std::string_view &text, const char (&expected)[3]) {
    const char *const end = text.data() + text.size();
    const char *p = SkipTextSpace(text.data(), end);
    if (end - p < 2 || p[0] != expected[0] || p[1] != expected[1]) return false;
    text.remove_prefix(static_cast<size_t>(p + 2 - text.data()));
    return true;
}

// A statement's leading index, with the colon that may follow it.
bool ReadIndex(std::string_view &text, int32_t &index) {
    if (!ParseIntFast(text, index)) return false;
    if (!text.empty() && text[0] == ':') text.remove_prefix(1);
    return true;
}

// A count taken from the file, never more than the bytes that describe its
// object (every element needs a line), so a corrupt count cannot demand a
// huge allocation.
size_t TrustedCount(std::string_view values, size_t regionBytes) {
    int32_t count = 0;
    ParseIntFast(values, count);
    if (count < 0) return 0;
    return static_cast<size_t>(count) < regionBytes ? static_cast<size_t>(count) : regionBytes;
}

bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

class AseReader {
public:
    AseReader(std::string_view text, StaticModel &model)
        : text_(text), model_(model), statements_(StatementScratch()) {
        statements_.clear();
    }
    ~AseReader() {
        if (statements_.capacity() > kKeptStatements) std::vector<Statement>().swap(statements_);
    }
    AseReader(const AseReader &) = delete;
    AseReader &operator=(const AseReader &) = delete;

    // The text is the file's raw bytes: a CR right before a LF is not part
    // of its line (as text mode reads it). False, with the model as it was,
    // when a number read as a float is not finite (nor the texture
    // coordinates it scales).
    bool Run() {
        Index();
        int32_t materialCount = 0;
        for (const Statement &s : statements_)
            if (s.key == Key::MaterialCount) {
                std::string_view v = s.values;
                ParseIntFast(v, materialCount);
                break;
            }
        // Materials beyond those the file defines could not be filled.
        if (materialCount < 0) materialCount = 0;
        if (static_cast<size_t>(materialCount) > materialStarts_.size())
            materialCount = static_cast<int32_t>(materialStarts_.size());
        // The file is filled into the spare objects (the storage of the load
        // before last, so loading again allocates nothing) while the held ones
        // wait aside, and come back if the file brings in a float that is not
        // finite.
        std::vector<StaticMaterial> heldMaterials;
        heldMaterials.swap(model_.materials);
        model_.objects.swap(model_.spareObjects);
        const int32_t heldMaterialCount = model_.materialCount, heldObjectCount = model_.objectCount;
        const int32_t heldSmoothed = model_.smoothedObjects;

        model_.materials.assign(static_cast<size_t>(materialCount), StaticMaterial{});
        model_.materialCount = materialCount;
        model_.ForgetMaterialNames();
        for (size_t m = 0; m < model_.materials.size(); ++m) FillMaterial(m);

        model_.objects.resize(objectStarts_.size());
        model_.objectCount = static_cast<int32_t>(objectStarts_.size());
        model_.smoothedObjects = 0;
        for (size_t n = 0; n < model_.objects.size(); ++n) FillObject(n);
        if (!ObjectsFinite(model_, 0) || !MaterialsFinite()) {
            model_.materials.swap(heldMaterials);
            model_.objects.swap(model_.spareObjects);
            model_.materialCount = heldMaterialCount;
            model_.objectCount = heldObjectCount;
            model_.smoothedObjects = heldSmoothed;
            model_.ForgetMaterialNames();
            return false;
        }
        return true;
    }

private:
    // One pass over the lines, noting those whose first word is a statement
    // we read. Offsets are counted as in the text-mode text, whatever CRs are
    // dropped, so the bytes of a region are the same either way.
    void Index() {
        const char *const begin = text_.data();
        const char *const end = begin + text_.size();
        size_t dropped = 0;
        const char *line = begin;
        while (line < end) {
            // Blanks before the first word; a LF here ends an empty line.
            const char *word = line;
            word = SkipIndent(word, end);
            while (word < end && *word != '\n' && IsTextSpace(*word)) ++word;
            const char *wordEnd = word;
            const Key key = Classify(word, end, wordEnd);
            const char *lf = wordEnd;
            lf = FindLineFeed(lf, end);
            const size_t droppedBefore = dropped;
            const char *lineEnd = lf;
            if (lf < end && lf > line && lf[-1] == '\r') {
                --lineEnd;
                ++dropped;
            }
            if (key != Key::Other) {
                if (key == Key::GeomObject) objectStarts_.push_back(statements_.size());
                if (key == Key::Material) materialStarts_.push_back(statements_.size());
                // The word ends at a blank, so a dropped CR never falls inside it.
                const char *values = wordEnd < lineEnd ? wordEnd : lineEnd;
                statements_.push_back({key, std::string_view(values, static_cast<size_t>(lineEnd - values)),
                                       static_cast<size_t>(line - begin) - droppedBefore});
            }
            if (lf == end) break;
            line = lf + 1;
        }
        textSize_ = text_.size() - dropped;
    }

    // Statements after start up to the next start of the same list, or the end.
    std::pair<size_t, size_t> Region(const std::vector<size_t> &starts, size_t i) const {
        return {starts[i] + 1, i + 1 < starts.size() ? starts[i + 1] : statements_.size()};
    }

    void FillMaterial(size_t m) {
        StaticMaterial &material = model_.materials[m];
        const auto [begin, end] = Region(materialStarts_, m);
        for (size_t i = begin; i < end; ++i) {
            std::string_view v = statements_[i].values;
            switch (statements_[i].key) {
                case Key::Diffuse:
                    (void)(ParseFloatFast(v, material.diffuse[0]) && ParseFloatFast(v, material.diffuse[1]) &&
                           ParseFloatFast(v, material.diffuse[2]));
                    break;
                case Key::Bitmap: ReadQuoted(v, material.textureFile); break;
                case Key::MaterialName: ReadQuoted(v, material.name); break;
                case Key::UTiling: ParseFloatFast(v, material.uTiling); break;
                case Key::VTiling: ParseFloatFast(v, material.vTiling); break;
                default: break;
            }
        }
    }

    void FillObject(size_t n);
    bool MaterialsFinite() const {
        for (const StaticMaterial &m : model_.materials)
            if (!FloatsFinite(m.diffuse, 3) || !std::isfinite(m.uTiling) || !std::isfinite(m.vTiling)) return false;
        return true;
    }

    std::string_view text_;
    size_t textSize_ = 0;
    StaticModel &model_;
    // The statement list, kept between loads (up to a bound) so a load does
    // not fault in fresh pages for it each time. Module-level like every kept
    // buffer: static loads must not overlap.
    static std::vector<Statement> &StatementScratch() {
        static std::vector<Statement> statements;
        return statements;
    }
    static constexpr size_t kKeptStatements = (size_t{4} << 20) / sizeof(Statement);
    std::vector<Statement> &statements_;
    std::vector<size_t> objectStarts_;
    std::vector<size_t> materialStarts_;
};

void AseReader::FillObject(size_t n) {
    StaticObject &object = model_.objects[n];
    object.Reset();
    object.materialIndex = -1;
    object.texCoordsPerCorner = true;
    const auto [begin, end] = Region(objectStarts_, n);
    const size_t regionEnd = end < statements_.size() ? statements_[end].offset : textSize_;
    const size_t regionBytes = regionEnd - statements_[objectStarts_[n]].offset;

    bool haveRef = false;
    for (size_t i = begin; i < end; ++i) {
        std::string_view v = statements_[i].values;
        switch (statements_[i].key) {
            case Key::NumVertex: object.vertices.assign(TrustedCount(v, regionBytes), Vector3{0.0f, 0.0f, 0.0f}); break;
            case Key::NumFaces: object.faces.assign(TrustedCount(v, regionBytes), StaticFace{}); break;
            case Key::NumTVertex: object.texCoords.assign(TrustedCount(v, regionBytes), TexCoord{}); break;
            case Key::MaterialRef: {
                float ref = 0.0f;
                // Truncated toward zero; a value no index can be stays "no material".
                if (!haveRef && ParseFloatFast(v, ref) && std::isfinite(ref) && std::fabs(ref) < 2.0e9f)
                    object.materialIndex = static_cast<int32_t>(ref);
                haveRef = true;
                break;
            }
            default: break;
        }
    }
    object.vertexCount = static_cast<int32_t>(object.vertices.size());
    object.faceCount = static_cast<int32_t>(object.faces.size());
    object.texCoordCount = static_cast<int32_t>(object.texCoords.size());

    // Coordinates of an object without a (valid) material stay unscaled.
    float uScale = 1.0f, vScale = 1.0f;
    if (InRange(object.materialIndex, model_.materials.size())) {
        uScale = model_.materials[object.materialIndex].uTiling;
        vScale = model_.materials[object.materialIndex].vTiling;
    }

    for (size_t i = begin; i < end; ++i) {
        std::string_view v = statements_[i].values;
        int32_t index = 0;
        switch (statements_[i].key) {
            case Key::Vertex: {
                if (!ParseIntFast(v, index) || !InRange(index, object.vertices.size())) break;
                float a = 0.0f, b = 0.0f, c = 0.0f;
                (void)(ParseFloatFast(v, a) && ParseFloatFast(v, b) && ParseFloatFast(v, c));
                object.vertices[index] = Vector3{a, c, -b};  // the file is Z-up
                break;
            }
            case Key::TVert: {
                if (!ParseIntFast(v, index) || !InRange(index, object.texCoords.size())) break;
                float u = 0.0f, w = 0.0f;
                (void)(ParseFloatFast(v, u) && ParseFloatFast(v, w));
                object.texCoords[index] = TexCoord{u * uScale, w * vScale};
                object.hasTexture = true;
                break;
            }
            case Key::Face: {
                if (!ReadIndex(v, index) || !InRange(index, object.faces.size())) break;
                int32_t *corner = object.faces[index].vertexIndex;
                (void)(Literal(v, "A:") && ParseIntFast(v, corner[0]) && Literal(v, "B:") && ParseIntFast(v, corner[1]) &&
                       Literal(v, "C:") && ParseIntFast(v, corner[2]));
                break;
            }
            case Key::TFace: {
                if (!ReadIndex(v, index) || !InRange(index, object.faces.size())) break;
                int32_t *corner = object.faces[index].texCoordIndex;
                (void)(ParseIntFast(v, corner[0]) && ParseIntFast(v, corner[1]) && ParseIntFast(v, corner[2]));
                break;
            }
            default: break;
        }
    }
}

}  // namespace

bool ParseAseBytes(std::string_view bytes, StaticModel &model) {
    AseReader reader(bytes, model);
    if (!reader.Run()) return false;
    DropInvalidFaces(model, 0);
    SmoothVertexNormals(model, 0);
    return true;
}

bool LoadAse(const char *path, StaticModel &model) {
    if (!path) return false;
    ScratchFile file;
    if (!file.Read(path)) {
        ReportMessage("Error", "Unable to find or open the file: %s", path);
        return false;
    }
    if (!ParseAseBytes(file.text(), model)) {
        ReportMessage("Error", "Invalid file format (corrupt data): %s!", path);
        return false;
    }
    return true;
}

}  // namespace vesk
