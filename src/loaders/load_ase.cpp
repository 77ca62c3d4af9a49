// ASCII scene export (ASE) text: materials and geometric objects, replacing
// whatever the static model held.
//
// One indexing pass notes every line whose first word is a statement we read;
// each material and object is then filled from its own run of those lines.
// This gives the results of scanning the file from the start for each count,
// material and object (a material runs to the next *MATERIAL or the end of the
// file, an object to the next *GEOMOBJECT; within them a later statement
// overwrites an earlier one, except *MATERIAL_REF, where the first counts),
// in time that grows linearly with the file. The indexing pass also keeps the
// blank masks it finds lines with, and the numbers of vertex, coordinate and
// face lines are read word by word from them.
#include <array>
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
#include "io/line_masks.h"
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

// Classify for a word less than sixteen bytes before the end of the text.
Key ClassifyNearEnd(const char *word, const char *end, const char *&wordEnd) {
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

// The keywords a word shorter than 16 bytes may be, by a hash of its first
// and last eight bytes: one table look-up, no chain of compares.
struct KeywordSlot {
    uint64_t head = 0, tail = 0;  // first min(n, 8) bytes; last 8 when n >= 8
    size_t length = 0;
    Key key = Key::Other;
};
constexpr uint64_t kKeywordHash = 0xe4b06ce60741c7a9u;
constexpr uint64_t LittleEndianBytes(const char *p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{static_cast<uint8_t>(p[i])} << (8 * i);
    return v;
}
constexpr size_t KeywordSlotOf(uint64_t head, uint64_t tail) {
    return static_cast<size_t>(((head ^ tail) * kKeywordHash) >> 59);
}
constexpr std::array<KeywordSlot, 32> kKeywordSlots = [] {
    const std::pair<std::string_view, Key> keywords[] = {
        {"*BITMAP", Key::Bitmap},           {"*MATERIAL", Key::Material},         {"*MESH_FACE", Key::Face},
        {"*MESH_TVERT", Key::TVert},        {"*MESH_TFACE", Key::TFace},          {"*GEOMOBJECT", Key::GeomObject},
        {"*MESH_VERTEX", Key::Vertex},      {"*MATERIAL_REF", Key::MaterialRef},  {"*UVW_U_TILING", Key::UTiling},
        {"*UVW_V_TILING", Key::VTiling},    {"*MESH_NUMFACES", Key::NumFaces},    {"*MATERIAL_NAME", Key::MaterialName},
        {"*MESH_NUMVERTEX", Key::NumVertex}, {"*MATERIAL_COUNT", Key::MaterialCount}};
    std::array<KeywordSlot, 32> slots{};
    for (const auto &[word, key] : keywords) {
        const size_t n = word.size();
        const uint64_t head = LittleEndianBytes(word.data(), n < 8 ? n : 8);
        const uint64_t tail = n >= 8 ? LittleEndianBytes(word.data() + n - 8, 8) : 0;
        const KeywordSlot slot{head, tail, n, key};
        KeywordSlot &at = slots[KeywordSlotOf(slot.head, slot.tail)];
        if (at.length) throw "keyword hash collision";
        at = slot;
    }
    return slots;
}();

// The statement whose word starts at word, and where that word ends; Other
// (and the end unset) for any other word. Keyword bytes all lie between '!'
// and 0x7F, so the first byte outside that range gives the only length a
// keyword can have here; it must then be a blank.
Key Classify(const char *word, const char *end, const char *&wordEnd) {
    if (end - word < 16) return ClassifyNearEnd(word, end, wordEnd);
    if (word[0] != '*') return Key::Other;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(word));
    const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(bytes, _mm_set1_epi8('!'))));
    const size_t n = static_cast<size_t>(std::countr_zero(stops | 0x10000u));
    if (n == 16) {
        // Only the two longest keywords reach this far (as do the normals'
        // lines: one compare each, chosen by the third byte).
        const size_t room = static_cast<size_t>(end - word);
        const Key key = word[2] == 'E'   ? (IsWord(word, room, "*MESH_NUMTVERTEX") ? Key::NumTVertex : Key::Other)
                        : word[2] == 'A' ? (IsWord(word, room, "*MATERIAL_DIFFUSE") ? Key::Diffuse : Key::Other)
                                         : Key::Other;
        if (key != Key::Other) wordEnd = word + (key == Key::Diffuse ? 17 : 16);
        return key;
    }
    if (n < 7 || !IsTextSpace(word[n])) return Key::Other;
    const uint64_t head = Load8(word) & (n >= 8 ? ~uint64_t{0} : 0x00FFFFFFFFFFFFFFu);
    const uint64_t tail = n >= 8 ? Load8(word + n - 8) : 0;
    const KeywordSlot &slot = kKeywordSlots[KeywordSlotOf(head, tail)];
    if (slot.head != head || slot.tail != tail || slot.length != n) return Key::Other;
    wordEnd = word + n;
    return slot.key;
}

struct Statement {
    Key key;
    std::string_view values;  // the rest of its line
};

// Where an object's statements that size it are: the last of each count, and
// its first *MATERIAL_REF (none: kNone). Noted while indexing, so that filling
// the object reads its lines once.
constexpr size_t kNone = ~size_t{0};
struct ObjectCounts {
    size_t vertices = kNone, faces = kNone, texCoords = kNone, materialRef = kNone;
};

// The value of a quoted statement: the first word after the opening quote,
// less its last character (the closing quote of a one-word value). An empty
// value leaves the field empty; an unquoted one leaves it unchanged.
void ReadQuoted(std::string_view values, char (&field)[255]) {
    std::string_view s = SkipSpace(values);
    if (s.empty() || s[0] != '"') return;
    s.remove_prefix(1);
    size_t n = 0;
    while (n < s.size() && !IsTextSpace(s[n])) ++n;
    CopyToField(field, s.substr(0, n ? n - 1 : 0));
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

// The first words (runs of non-blanks) of a statement's values, from the
// blank masks of the indexing pass, so that each number is read on its own
// rather than once the end of the one before is known. A word counts only
// when read whole: a blank ends every number and label, so reading it alone
// then gives what reading on along the line gives. Anything else goes the
// plain way.
struct Word {
    const char *begin, *end;
};
template <size_t N>
bool FirstWords(std::string_view text, const std::vector<uint64_t> &blanks, std::string_view values,
                Word (&words)[N]) {
    // The word readers load up to 8 bytes before a word and 17 from it.
    const size_t at = static_cast<size_t>(values.data() - text.data());
    if (at < 8 || text.size() - at < 64 + 17) return false;
    const uint64_t inLine = values.size() >= 64 ? ~uint64_t{0} : (uint64_t{1} << values.size()) - 1;
    const uint64_t blank = blanks[at / 64] >> (at % 64) | (blanks[at / 64 + 1] << 1) << (63 - at % 64);
    const uint64_t word = ~blank & inLine;
    uint64_t starts = word & ~(word << 1);
    uint64_t ends = ~word & (word << 1);  // none for a word that runs past the 64 bytes
    // Each end has its start before it, so N ends mean N whole words.
    uint64_t nth = ends;
    for (size_t i = 1; i < N; ++i) nth &= nth - 1;
    if (!nth) return false;
    for (Word &w : words) {
        w = {values.data() + std::countr_zero(starts), values.data() + std::countr_zero(ends)};
        starts &= starts - 1;
        ends &= ends - 1;
    }
    return true;
}

// A face's index, with the colon that may follow it.
bool ReadIndexWord(Word w, int32_t &out) {
    return ReadIntWord(w.begin, w.end - (w.end - w.begin > 1 && w.end[-1] == ':'), out);
}
bool IsLabel(Word w, char letter) { return w.end - w.begin == 2 && w.begin[0] == letter && w.begin[1] == ':'; }

// A count taken from the file, never more than the bytes that describe its
// object in text mode (every element needs a line), so a corrupt count cannot
// demand a huge allocation. Those bytes are at least half the raw ones (a
// dropped CR leaves its LF), so only a count above that needs them counted.
template <class TextBytes>
size_t TrustedCount(std::string_view values, size_t rawBytes, const TextBytes &textBytes) {
    int32_t count = 0;
    ParseIntFast(values, count);
    if (count < 0) return 0;
    const size_t n = static_cast<size_t>(count);
    if (n < rawBytes - rawBytes / 2) return n;
    const size_t regionBytes = textBytes();
    return n < regionBytes ? n : regionBytes;
}

template <class T>
void GrowTo(std::vector<T> &list, size_t n) {
    if (list.size() < n) list.resize(n);
}

bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

class AseReader {
public:
    AseReader(std::string_view text, StaticModel &model)
        : text_(text), model_(model), scratch_(TheScratch()), statements_(scratch_.statements),
          objectStarts_(scratch_.objectStarts), objectLines_(scratch_.objectLines),
          objectCounts_(scratch_.objectCounts), materialStarts_(scratch_.materialStarts),
          materialLines_(scratch_.materialLines), lfs_(scratch_.lfs), blanks_(scratch_.blanks) {
        statements_.clear();
        objectStarts_.clear();
        objectLines_.clear();
        objectCounts_.clear();
        materialStarts_.clear();
        materialLines_.clear();
        // A mask for every 64 bytes, and clear ones after for FirstWords.
        // The lists only grow: what a load reads it has written.
        GrowTo(lfs_, LineMaskCount(text.size()));
        GrowTo(blanks_, text.size() / 64 + 2);
        blanks_[text.size() / 64] = blanks_[text.size() / 64 + 1] = 0;
    }
    ~AseReader() {
        const size_t kept = statements_.capacity() * sizeof(Statement) +
                            (lfs_.capacity() + blanks_.capacity()) * sizeof(uint64_t) +
                            scratch_.materials.capacity() * sizeof(StaticMaterial);
        if (kept > kKeptBytes) scratch_ = Scratch{};
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
        model_.materials.swap(scratch_.materials);
        model_.objects.swap(model_.spareObjects);
        const int32_t heldMaterialCount = model_.materialCount, heldObjectCount = model_.objectCount;
        const int32_t heldSmoothed = model_.smoothedObjects;

        model_.materials.assign(static_cast<size_t>(materialCount), StaticMaterial{});
        model_.materialCount = materialCount;
        model_.ForgetMaterialNames();
        for (size_t m = 0, line = 0; m < model_.materials.size(); ++m) FillMaterial(m, line);

        model_.objects.resize(objectStarts_.size());
        model_.objectCount = static_cast<int32_t>(objectStarts_.size());
        model_.smoothedObjects = 0;
        for (size_t n = 0; n < model_.objects.size(); ++n) FillObject(n);
        if (!ObjectsFinite(model_, 0) || !MaterialsFinite()) {
            model_.materials.swap(heldMaterials);
            scratch_.materials.swap(heldMaterials);
            model_.objects.swap(model_.spareObjects);
            model_.materialCount = heldMaterialCount;
            model_.objectCount = heldObjectCount;
            model_.smoothedObjects = heldSmoothed;
            model_.ForgetMaterialNames();
            return false;
        }
        scratch_.materials.swap(heldMaterials);
        return true;
    }

private:
    // One pass over the lines, noting those whose first word is a statement
    // we read (and where each object's line starts).
    void Index() {
        const char *const begin = text_.data();
        const char *const end = begin + text_.size();
        ForEachLineWord(text_, lfs_.data(), blanks_.data(), [&](const char *word, const char *lf) {
            const char *wordEnd = word;
            const Key key = Classify(word, end, wordEnd);
            if (key == Key::Other) return;
            // The word ends at a blank, so a dropped CR never falls inside it.
            const char *lineEnd = lf < end && lf[-1] == '\r' ? lf - 1 : lf;
            const char *values = wordEnd < lineEnd ? wordEnd : lineEnd;
            const size_t at = statements_.size();
            if (key == Key::GeomObject) {
                const char *line = word;
                while (line > begin && line[-1] != '\n') --line;
                objectStarts_.push_back(at);
                objectLines_.push_back(static_cast<size_t>(line - begin));
                objectCounts_.emplace_back();
            } else if (key >= Key::NumVertex && key <= Key::MaterialRef && !objectCounts_.empty()) {
                ObjectCounts &counts = objectCounts_.back();
                if (key == Key::NumVertex) counts.vertices = at;
                if (key == Key::NumFaces) counts.faces = at;
                if (key == Key::NumTVertex) counts.texCoords = at;
                if (key == Key::MaterialRef && counts.materialRef == kNone) counts.materialRef = at;
            }
            if (key == Key::Material) materialStarts_.push_back(at);
            if (key >= Key::Diffuse && key <= Key::VTiling) materialLines_.push_back(at);
            statements_.push_back({key, std::string_view(values, static_cast<size_t>(lineEnd - values))});
        });
    }

    // The size of the text from offset a to b as text mode reads it: less
    // one for each CR right before a LF.
    size_t TextModeBytes(size_t a, size_t b) const {
        size_t bytes = b - a;
        for (size_t i = a; i + 1 < b; ++i) bytes -= text_[i] == '\r' && text_[i + 1] == '\n';
        return bytes;
    }

    // Statements after start up to the next start of the same list, or the end.
    std::pair<size_t, size_t> Region(const std::vector<size_t> &starts, size_t i) const {
        return {starts[i] + 1, i + 1 < starts.size() ? starts[i + 1] : statements_.size()};
    }

    // Materials in order: the last runs to the end of the file, through
    // every object, so each walks only the statements a material reads.
    void FillMaterial(size_t m, size_t &line) {
        StaticMaterial &material = model_.materials[m];
        const auto [begin, end] = Region(materialStarts_, m);
        while (line < materialLines_.size() && materialLines_[line] < begin) ++line;
        for (; line < materialLines_.size() && materialLines_[line] < end; ++line) {
            const size_t i = materialLines_[line];
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
    StaticModel &model_;
    // The reader's lists and the storage of the materials replaced, kept
    // between loads (up to a bound) so a load allocates nothing and faults
    // in no fresh pages for them. Module-level like every kept buffer: static
    // loads must not overlap.
    struct Scratch {
        std::vector<Statement> statements;
        std::vector<size_t> objectStarts, objectLines, materialStarts, materialLines;
        std::vector<ObjectCounts> objectCounts;
        std::vector<uint64_t> lfs, blanks;
        std::vector<StaticMaterial> materials;  // the storage of the materials replaced
    };
    static Scratch &TheScratch() {
        static Scratch scratch;
        return scratch;
    }
    static constexpr size_t kKeptBytes = size_t{4} << 20;
    Scratch &scratch_;
    std::vector<Statement> &statements_;
    std::vector<size_t> &objectStarts_;
    std::vector<size_t> &objectLines_;    // where each object's line starts
    std::vector<ObjectCounts> &objectCounts_;
    std::vector<size_t> &materialStarts_;
    std::vector<size_t> &materialLines_;  // the statements a material reads
    std::vector<uint64_t> &lfs_;     // LF mask of each 64 bytes
    std::vector<uint64_t> &blanks_;  // blank mask of each 64 bytes, and clear ones after
};

void AseReader::FillObject(size_t n) {
    StaticObject &object = model_.objects[n];
    object.Reset();
    object.materialIndex = -1;
    object.texCoordsPerCorner = true;
    const auto [begin, end] = Region(objectStarts_, n);
    const size_t regionBegin = objectLines_[n];
    const size_t regionEnd = n + 1 < objectLines_.size() ? objectLines_[n + 1] : text_.size();
    const size_t rawBytes = regionEnd - regionBegin;
    const auto textBytes = [&] { return TextModeBytes(regionBegin, regionEnd); };

    const ObjectCounts &counts = objectCounts_[n];
    const auto count = [&](size_t at) { return TrustedCount(statements_[at].values, rawBytes, textBytes); };
    if (counts.vertices != kNone) object.vertices.assign(count(counts.vertices), Vector3{0.0f, 0.0f, 0.0f});
    if (counts.faces != kNone) object.faces.assign(count(counts.faces), StaticFace{});
    if (counts.texCoords != kNone) object.texCoords.assign(count(counts.texCoords), TexCoord{});
    if (counts.materialRef != kNone) {
        std::string_view v = statements_[counts.materialRef].values;
        float ref = 0.0f;
        // Truncated toward zero; a value no index can be stays "no material".
        if (ParseFloatFast(v, ref) && std::isfinite(ref) && std::fabs(ref) < 2.0e9f)
            object.materialIndex = static_cast<int32_t>(ref);
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

    // The lists' places and sizes, which the lines do not change, held in
    // registers rather than read back after every store.
    Vector3 *const vertices = object.vertices.data();
    TexCoord *const texCoords = object.texCoords.data();
    StaticFace *const faces = object.faces.data();
    const size_t vertexCount = object.vertices.size(), texCoordCount = object.texCoords.size();
    const size_t faceCount = object.faces.size();
    bool hasTexture = false;
    for (size_t i = begin; i < end; ++i) {
        std::string_view v = statements_[i].values;
        int32_t index = 0;
        switch (statements_[i].key) {
            case Key::Vertex: {
                Word w[4];
                float a = 0.0f, b = 0.0f, c = 0.0f;
                if (FirstWords(text_, blanks_, v, w) && ReadIntWord(w[0].begin, w[0].end, index) &&
                    ReadFloatWord(w[1].begin, w[1].end, a) && ReadFloatWord(w[2].begin, w[2].end, b) &&
                    ReadFloatWord(w[3].begin, w[3].end, c)) {
                    if (InRange(index, vertexCount)) vertices[index] = Vector3{a, c, -b};
                    break;
                }
                if (!ParseIntFast(v, index) || !InRange(index, vertexCount)) break;
                a = b = c = 0.0f;
                (void)(ParseFloatFast(v, a) && ParseFloatFast(v, b) && ParseFloatFast(v, c));
                vertices[index] = Vector3{a, c, -b};  // the file is Z-up
                break;
            }
            case Key::TVert: {
                Word w[3];
                float u = 0.0f, t = 0.0f;
                if (!(FirstWords(text_, blanks_, v, w) && ReadIntWord(w[0].begin, w[0].end, index) &&
                      ReadFloatWord(w[1].begin, w[1].end, u) && ReadFloatWord(w[2].begin, w[2].end, t))) {
                    if (!ParseIntFast(v, index) || !InRange(index, texCoordCount)) break;
                    u = t = 0.0f;
                    (void)(ParseFloatFast(v, u) && ParseFloatFast(v, t));
                } else if (!InRange(index, texCoordCount)) {
                    break;
                }
                texCoords[index] = TexCoord{u * uScale, t * vScale};
                hasTexture = true;
                break;
            }
            case Key::Face: {
                Word w[7];
                int32_t corner[3] = {};
                if (FirstWords(text_, blanks_, v, w) && ReadIndexWord(w[0], index) && IsLabel(w[1], 'A') &&
                    ReadIntWord(w[2].begin, w[2].end, corner[0]) && IsLabel(w[3], 'B') &&
                    ReadIntWord(w[4].begin, w[4].end, corner[1]) && IsLabel(w[5], 'C') &&
                    ReadIntWord(w[6].begin, w[6].end, corner[2])) {
                    if (InRange(index, faceCount))
                        std::memcpy(faces[index].vertexIndex, corner, sizeof corner);
                    break;
                }
                if (!ReadIndex(v, index) || !InRange(index, faceCount)) break;
                int32_t *held = faces[index].vertexIndex;
                (void)(Literal(v, "A:") && ParseIntFast(v, held[0]) && Literal(v, "B:") && ParseIntFast(v, held[1]) &&
                       Literal(v, "C:") && ParseIntFast(v, held[2]));
                break;
            }
            case Key::TFace: {
                Word w[4];
                int32_t corner[3] = {};
                if (FirstWords(text_, blanks_, v, w) && ReadIndexWord(w[0], index) &&
                    ReadIntWord(w[1].begin, w[1].end, corner[0]) && ReadIntWord(w[2].begin, w[2].end, corner[1]) &&
                    ReadIntWord(w[3].begin, w[3].end, corner[2])) {
                    if (InRange(index, faceCount))
                        std::memcpy(faces[index].texCoordIndex, corner, sizeof corner);
                    break;
                }
                if (!ReadIndex(v, index) || !InRange(index, faceCount)) break;
                int32_t *held = faces[index].texCoordIndex;
                (void)(ParseIntFast(v, held[0]) && ParseIntFast(v, held[1]) && ParseIntFast(v, held[2]));
                break;
            }
            default: break;
        }
    }
    object.hasTexture = hasTexture;
}

}  // namespace

namespace {

bool Read(std::string_view bytes, StaticModel &model) {
    AseReader reader(bytes, model);
    return reader.Run();
}

#ifdef VESK_TEXT_WIDE_LANES
// The same reader built for AVX2 and the bit instructions, chosen with the
// line masks: three-operand forms and single-instruction bit scans cut the
// instructions of every line. Only integer and exact IEEE operations differ
// in encoding, so the model is the same bits.
__attribute__((target("avx2,bmi,bmi2,popcnt"), flatten)) bool ReadWide(std::string_view bytes, StaticModel &model) {
    AseReader reader(bytes, model);
    return reader.Run();
}
#endif

}  // namespace

bool ParseAseBytes(std::string_view bytes, StaticModel &model) {
#ifdef VESK_TEXT_WIDE_LANES
    const bool read = LineMaskLanesInUse() >= LineMaskLanes::Avx2 ? ReadWide(bytes, model) : Read(bytes, model);
#else
    const bool read = Read(bytes, model);
#endif
    if (!read) return false;
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
