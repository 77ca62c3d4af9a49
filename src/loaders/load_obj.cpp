// Wavefront OBJ text: one object per run of vertex lines followed by face
// lines; positions, texture coordinates and the first triangle of each face.
#include <optional>
#include <string>

#include "frame/platform.h"
#include "io/file.h"
#include "loaders/static_model.h"

namespace vesk {
namespace {

// True when every given (non-zero) index of the faces lies in base + 1 .. base + count.
bool AllWithin(const std::vector<StaticFace> &faces, int32_t (StaticFace::*field)[3], int64_t base, int64_t count) {
    for (const StaticFace &face : faces)
        for (int k = 0; k < 3; ++k) {
            const int32_t index = (face.*field)[k];
            if (index != 0 && (index <= base || index > base + count)) return false;
        }
    return true;
}

class ObjReader {
public:
    explicit ObjReader(StaticModel &model) : model_(model) {}

    void Line(std::string_view line) {
        if (line.empty()) return;
        const char c = line[0];
        if (c == 'f') return Face(line.substr(1));
        if (c != 'v') return;
        // Any line starting with v (vn and vp included) ends an object whose
        // faces have been read.
        if (hasFaces_) Close();
        if (line.size() < 2) return;
        if (line[1] == ' ' || line[1] == '\t') {
            std::string_view rest = line.substr(2);
            Vector3 p{0.0f, 0.0f, 0.0f};
            (void)(ParseFloat(rest, p.x) && ParseFloat(rest, p.y) && ParseFloat(rest, p.z));
            positions_.push_back(p);
            ++filePositions_;
        } else if (line[1] == 't') {
            std::string_view rest = line.substr(2);
            TexCoord t;
            (void)(ParseFloat(rest, t.u) && ParseFloat(rest, t.v));
            texCoords_.push_back(t);
            ++fileTexCoords_;
        }
    }

    // Objects are closed at every vertex line after faces and once at the end.
    void Close();

private:
    // An OBJ index as an absolute 1-based one: negative ones count back from
    // the last element read so far.
    static int64_t Absolute(int32_t index, int64_t readSoFar) { return index < 0 ? readSoFar + 1 + index : index; }

    static int32_t Clamp(int64_t v) {
        return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
    }

    // One corner: v, v/vt, v//vn or v/vt/vn. False when it names no vertex.
    bool Corner(std::string_view &text, int32_t &vertex, int32_t &texCoord) {
        int32_t v = 0;
        if (!ParseInt(text, v)) return false;
        vertex = Clamp(Absolute(v, filePositions_));
        if (vertex < 1) return false;
        if (text.empty() || text[0] != '/') return true;
        text.remove_prefix(1);
        int32_t t = 0;
        if (!text.empty() && text[0] != '/' && ParseInt(text, t)) texCoord = Clamp(Absolute(t, fileTexCoords_));
        if (!text.empty() && text[0] == '/') {
            text.remove_prefix(1);
            int32_t ignoredNormal = 0;
            ParseInt(text, ignoredNormal);
        }
        return true;
    }

    // The first three corners of a face line; a face without three readable
    // vertices is no triangle and is left out (it still counts as a face line).
    void Face(std::string_view rest) {
        hasFaces_ = true;
        StaticFace face;
        for (int k = 0; k < 3; ++k) {
            if (k > 0 && (rest.empty() || (rest[0] != ' ' && rest[0] != '\t'))) return;
            if (!Corner(rest, face.vertexIndex[k], face.texCoordIndex[k])) return;
        }
        faces_.push_back(face);
    }

    StaticModel &model_;
    std::vector<Vector3> positions_;
    std::vector<TexCoord> texCoords_;
    std::vector<StaticFace> faces_;
    bool hasFaces_ = false;
    int64_t filePositions_ = 0;
    int64_t fileTexCoords_ = 0;
};

void ObjReader::Close() {
    ++model_.objectCount;
    model_.objects.emplace_back();
    StaticObject &object = model_.objects.back();
    object.vertexCount = static_cast<int32_t>(positions_.size());
    object.faceCount = static_cast<int32_t>(faces_.size());
    object.texCoordCount = static_cast<int32_t>(texCoords_.size());
    object.vertices = std::move(positions_);
    object.texCoords = std::move(texCoords_);
    object.faces = std::move(faces_);
    object.hasTexture = object.texCoordCount > 0;
    object.materialIndex = -1;
    object.texCoordsPerCorner = true;
    // File-wide 1-based indices become this object's 0-based ones.
    if (!object.faces.empty()) {
        const int64_t vertexBase = filePositions_ - object.vertexCount;
        const int64_t texBase = fileTexCoords_ - object.texCoordCount;
        int64_t vertexOffset = 0, texOffset = 0;
        const StaticFace &first = object.faces[0];
        if (first.vertexIndex[0] != 1) {
            vertexOffset = int64_t{first.vertexIndex[0]} - 1;
            if (object.texCoordCount > 0) texOffset = int64_t{first.texCoordIndex[0]} - 1;
        }
        // Relative to the first face's first corner (so objects numbered from
        // 1 each still work), except where every index lies in the object's
        // own run of lines: there the file's numbering is exact, whichever
        // corner comes first.
        if (AllWithin(object.faces, &StaticFace::vertexIndex, vertexBase, object.vertexCount))
            vertexOffset = vertexBase;
        if (object.texCoordCount > 0 &&
            AllWithin(object.faces, &StaticFace::texCoordIndex, texBase, object.texCoordCount))
            texOffset = texBase;
        for (StaticFace &face : object.faces)
            for (int k = 0; k < 3; ++k) {
                face.vertexIndex[k] = Clamp(face.vertexIndex[k] - 1 - vertexOffset);
                face.texCoordIndex[k] = Clamp(face.texCoordIndex[k] - 1 - texOffset);
            }
    }
    positions_.clear();
    texCoords_.clear();
    faces_.clear();
    hasFaces_ = false;
}

}  // namespace

namespace {
bool ReadObjLines(TextModeLineReader lines, StaticModel &model) {
    const int32_t firstNew = model.objectCount;
    ObjReader reader(model);
    std::string_view line;
    while (lines.Next(line)) reader.Line(line);
    reader.Close();
    // A number such as "nan", "inf" or 1e39 reads as a value no host wants.
    if (!ObjectsFinite(model, firstNew)) {
        DropAdded(model, firstNew, model.materialCount);
        return false;
    }
    DropInvalidFaces(model, firstNew);
    // Each load collects its objects afresh (nothing carries over into an
    // earlier object), so only the new ones need normals.
    SmoothVertexNormals(model, firstNew);
    return true;
}
}  // namespace

bool ParseObjBytes(std::string_view bytes, StaticModel &model) {
    return ReadObjLines(TextModeLineReader(bytes), model);
}

bool LoadObj(const char *path, StaticModel &model) {
    if (!path) return false;
    ScratchFile file;
    if (!file.Read(path)) {
        ReportMessage("Error", "Unable to find or open the file: %s", path);
        return false;
    }
    if (!ParseObjBytes(file.text(), model)) {
        ReportMessage("Error", "Invalid file format (corrupt data): %s!", path);
        return false;
    }
    return true;
}

}  // namespace vesk
