#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "loaders/tga.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::DataPath;
using test::MessageCapture;
using test::ReadAll;
using test::WriteTemp;

struct Pixel {
    void *dc;
    int32_t x, y;
    uint32_t colour;
    bool operator==(const Pixel &) const = default;
};

// Records every painted pixel while alive.
class PixelRecorder {
public:
    PixelRecorder() {
        Pixels().clear();
        VeskSetPixelHandler(&Record);
    }
    ~PixelRecorder() { VeskSetPixelHandler(nullptr); }
    PixelRecorder(const PixelRecorder &) = delete;
    PixelRecorder &operator=(const PixelRecorder &) = delete;
    const std::vector<Pixel> &pixels() const { return Pixels(); }
    void Clear() { Pixels().clear(); }
    // Colour at (x, y) of the last paint there; 0xFFFFFFFF if never painted.
    uint32_t At(int32_t x, int32_t y) const {
        uint32_t c = 0xFFFFFFFFu;
        for (const Pixel &p : Pixels())
            if (p.x == x && p.y == y) c = p.colour;
        return c;
    }

private:
    static std::vector<Pixel> &Pixels() {
        static std::vector<Pixel> all;
        return all;
    }
    static void VESK_CALL Record(void *dc, int32_t x, int32_t y, uint32_t colour) {
        Pixels().push_back({dc, x, y, colour});
    }
};

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kBlack = 0;

std::vector<uint8_t> Header(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t descriptor = 0,
                            uint8_t idLength = 0, uint8_t colourMap = 0) {
    std::vector<uint8_t> h(18, 0);
    h[0] = idLength;
    h[1] = colourMap;
    h[2] = type;
    std::memcpy(&h[12], &width, 2);
    std::memcpy(&h[14], &height, 2);
    h[16] = depth;
    h[17] = descriptor;
    return h;
}

// Stored form of a colour (red in the low byte) at 24 or 32 bits.
void PutPixel(std::vector<uint8_t> &b, uint32_t colour, int bytes) {
    b.push_back(static_cast<uint8_t>(colour >> 16));
    b.push_back(static_cast<uint8_t>(colour >> 8));
    b.push_back(static_cast<uint8_t>(colour));
    if (bytes == 4) b.push_back(0x40);
}

// 2 x 2, uncompressed: file row 0 = red, green; row 1 = blue, white.
std::vector<uint8_t> TwoByTwo(int bytes, uint8_t descriptor = 0, uint8_t idLength = 0) {
    auto b = Header(2, 2, 2, static_cast<uint8_t>(8 * bytes), descriptor, idLength);
    for (uint8_t i = 0; i < idLength; ++i) b.push_back(static_cast<uint8_t>(0xE0 + i));
    for (uint32_t c : {kRed, kGreen, kBlue, kWhite}) PutPixel(b, c, bytes);
    return b;
}

uint32_t Load(const std::vector<uint8_t> &bytes, uint32_t &width, uint32_t &height, void *dc = nullptr) {
    const std::string path = WriteTemp("image.tga", bytes);
    return LoadTGA(path.c_str(), dc, &width, &height);
}

TEST(TgaLoader, UncompressedBottomUpPaintsFileRowsFromTheBottom) {
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    int dcTag = 0;
    ASSERT_EQ(Load(TwoByTwo(3), width, height, &dcTag), 1u);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 2u);
    const std::vector<Pixel> expected = {
        {&dcTag, 1, 2, kRed}, {&dcTag, 2, 2, kGreen}, {&dcTag, 1, 1, kBlue}, {&dcTag, 2, 1, kWhite}};
    EXPECT_EQ(recorder.pixels(), expected);

    // 32 bits paint the same (alpha unused); an id field is skipped.
    for (const auto &twin : {TwoByTwo(4), TwoByTwo(3, 0, 5), TwoByTwo(4, 0x08, 255)}) {
        recorder.Clear();
        ASSERT_EQ(Load(twin, width, height, &dcTag), 1u);
        EXPECT_EQ(recorder.pixels(), expected);
    }
}

TEST(TgaLoader, DescriptorOriginBitsTurnTheImageUpright) {
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    // Top-down: the first file row is the top, painted at y = 1.
    ASSERT_EQ(Load(TwoByTwo(3, 0x20), width, height), 1u);
    EXPECT_EQ(recorder.At(1, 1), kRed);
    EXPECT_EQ(recorder.At(2, 1), kGreen);
    EXPECT_EQ(recorder.At(1, 2), kBlue);
    EXPECT_EQ(recorder.At(2, 2), kWhite);
    // Right-to-left mirrors x.
    recorder.Clear();
    ASSERT_EQ(Load(TwoByTwo(3, 0x10), width, height), 1u);
    EXPECT_EQ(recorder.At(2, 2), kRed);
    EXPECT_EQ(recorder.At(1, 2), kGreen);
    EXPECT_EQ(recorder.At(2, 1), kBlue);
    recorder.Clear();
    ASSERT_EQ(Load(TwoByTwo(3, 0x30), width, height), 1u);
    EXPECT_EQ(recorder.At(2, 1), kRed);
    EXPECT_EQ(recorder.At(1, 2), kWhite);
    EXPECT_EQ(recorder.pixels().size(), 4u);
}

TEST(TgaLoader, RunLengthPacketsAndPacketsAcrossRowEnds) {
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    // 4 wide, 1 high: one run of four red pixels.
    auto b = Header(10, 4, 1, 24);
    b.push_back(0x83);
    PutPixel(b, kRed, 3);
    ASSERT_EQ(Load(b, width, height), 1u);
    ASSERT_EQ(recorder.pixels().size(), 4u);
    for (int32_t x = 1; x <= 4; ++x) EXPECT_EQ(recorder.At(x, 1), kRed) << x;

    // 3 x 2: a raw packet of 2, then a run of 3 that crosses into row 1, then a
    // raw packet of 1 (32 bits).
    recorder.Clear();
    b = Header(10, 3, 2, 32);
    b.push_back(0x01);
    PutPixel(b, kRed, 4);
    PutPixel(b, kGreen, 4);
    b.push_back(0x82);
    PutPixel(b, kBlue, 4);
    b.push_back(0x00);
    PutPixel(b, kWhite, 4);
    ASSERT_EQ(Load(b, width, height), 1u);
    const std::vector<std::pair<int, int>> order = {{1, 2}, {2, 2}, {3, 2}, {1, 1}, {2, 1}, {3, 1}};
    const uint32_t colours[] = {kRed, kGreen, kBlue, kBlue, kBlue, kWhite};
    ASSERT_EQ(recorder.pixels().size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(recorder.pixels()[i].x, order[i].first) << i;
        EXPECT_EQ(recorder.pixels()[i].y, order[i].second) << i;
        EXPECT_EQ(recorder.pixels()[i].colour, colours[i]) << i;
    }

    // A run longer than the rest of the image paints only the image.
    recorder.Clear();
    b = Header(10, 2, 1, 24);
    b.push_back(0xFF);
    PutPixel(b, kGreen, 3);
    ASSERT_EQ(Load(b, width, height), 1u);
    EXPECT_EQ(recorder.pixels().size(), 2u);
}

TEST(TgaLoader, SixteenBitPixelsDecodeFiveFiveFive) {
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    auto b = Header(2, 5, 1, 16, 0x01);
    for (uint16_t word : {uint16_t{0x7C00}, uint16_t{0x03E0}, uint16_t{0x001F}, uint16_t{0xFC00}, uint16_t{0x4210}}) {
        b.push_back(static_cast<uint8_t>(word));
        b.push_back(static_cast<uint8_t>(word >> 8));
    }
    ASSERT_EQ(Load(b, width, height), 1u);
    EXPECT_EQ(recorder.At(1, 1), kRed);
    EXPECT_EQ(recorder.At(2, 1), kGreen);
    EXPECT_EQ(recorder.At(3, 1), kBlue);
    EXPECT_EQ(recorder.At(4, 1), kRed) << "the attribute bit is not colour";
    EXPECT_EQ(recorder.At(5, 1), 0x848484u) << "16 of 31 widens to 132";

    // Run-length 16-bit too.
    recorder.Clear();
    b = Header(10, 3, 1, 16);
    b.push_back(0x82);
    b.push_back(0xE0);
    b.push_back(0x03);
    ASSERT_EQ(Load(b, width, height), 1u);
    EXPECT_EQ(recorder.At(3, 1), kGreen);
}

TEST(TgaLoader, RefusalsStillReportTheSizeAndShortFilesKeepWhatWasPainted) {
    MessageCapture messages;
    PixelRecorder recorder;
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
    } refused[] = {
        {"colour-mapped", Header(2, 7, 9, 24, 0, 0, 1)},
        {"colour-mapped type", Header(1, 7, 9, 8)},
        {"grey", Header(3, 7, 9, 8)},
        {"run-length grey", Header(11, 7, 9, 8)},
        {"8-bit true colour", Header(2, 7, 9, 8)},
        {"15-bit", Header(2, 7, 9, 15)},
    };
    for (const Case &c : refused) {
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> bytes = c.bytes;
        bytes.resize(bytes.size() + 7 * 9 * 4, 0x55);
        EXPECT_EQ(Load(bytes, width, height), 0u) << c.what;
        EXPECT_EQ(width, 7u) << c.what;
        EXPECT_EQ(height, 9u) << c.what;
    }
    EXPECT_TRUE(recorder.pixels().empty());

    // Nothing to paint is success.
    uint32_t width = 1, height = 1;
    EXPECT_EQ(Load(Header(2, 5, 0, 24), width, height), 1u);
    EXPECT_EQ(height, 0u);
    EXPECT_EQ(Load(Header(10, 0, 5, 24), width, height), 1u);
    EXPECT_EQ(width, 0u);
    EXPECT_TRUE(recorder.pixels().empty());

    // Missing file or a header cut short: nothing written.
    width = height = 77;
    EXPECT_EQ(LoadTGA("/nonexistent/none.tga", nullptr, &width, &height), 0u);
    EXPECT_EQ(Load(std::vector<uint8_t>(17, 0), width, height), 0u);
    EXPECT_EQ(width, 77u);

    // Ends after three pixels (and in the middle of the fourth): three stay painted.
    auto shortFile = TwoByTwo(3);
    shortFile.resize(shortFile.size() - 2);
    EXPECT_EQ(Load(shortFile, width, height), 0u);
    EXPECT_EQ(recorder.pixels().size(), 3u);
    recorder.Clear();
    // An id field longer than the file.
    EXPECT_EQ(Load(Header(2, 1, 1, 24, 0, 200), width, height), 0u);
    // A run packet without its pixel.
    auto b = Header(10, 2, 2, 24);
    b.push_back(0x81);
    PutPixel(b, kRed, 3);
    b.push_back(0x81);
    EXPECT_EQ(Load(b, width, height), 0u);
    EXPECT_EQ(recorder.pixels().size(), 2u);
    EXPECT_TRUE(messages.messages().empty()) << "the image loader never speaks";
}

// ---------------------------------------------------------------------------
// Real files, against a minimal decoder of the test's own.

struct Decoded {
    uint32_t width = 0, height = 0;
    size_t dataEnd = 0;                  // bytes up to the last pixel read
    std::vector<uint32_t> fileOrder;     // colours in file order
};

Decoded DecodeIndependently(const std::vector<uint8_t> &f) {
    Decoded d;
    d.width = static_cast<uint32_t>(f[12] | f[13] << 8);
    d.height = static_cast<uint32_t>(f[14] | f[15] << 8);
    const size_t bpp = f[16] / 8;
    size_t at = 18 + f[0];
    auto colour = [&](size_t p) { return uint32_t{f[p + 2]} | uint32_t{f[p + 1]} << 8 | uint32_t{f[p]} << 16; };
    const size_t total = size_t{d.width} * d.height;
    while (d.fileOrder.size() < total) {
        if (f[2] == 2) {
            d.fileOrder.push_back(colour(at));
            at += bpp;
            continue;
        }
        const uint8_t packet = f[at++];
        const size_t n = (packet & 0x7F) + 1u;
        for (size_t i = 0; i < n && d.fileOrder.size() < total; ++i) {
            d.fileOrder.push_back(colour(at));
            if (!(packet & 0x80)) at += bpp;
        }
        if (packet & 0x80) at += bpp;
    }
    d.dataEnd = at;
    return d;
}

std::vector<std::string> AllTgaFiles() {
    std::vector<std::string> files;
    for (const char *root : {"assimp", "openarena"}) {
        const std::string dir = DataPath(root);
        for (const auto &e : std::filesystem::recursive_directory_iterator(
                 dir, std::filesystem::directory_options::follow_directory_symlink)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (e.is_regular_file() && ext == ".tga") files.push_back(e.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Counts paints and checks every one lands inside the image.
struct Bounds {
    static inline uint64_t painted = 0, outside = 0;
    static inline int32_t width = 0, height = 0;
    static void VESK_CALL Paint(void *, int32_t x, int32_t y, uint32_t) {
        ++painted;
        if (x < 1 || x > width || y < 1 || y > height) ++outside;
    }
};

TEST(TgaRealFiles, EveryTestDataImagePaintsEachPixelOnceInside) {
    const auto files = AllTgaFiles();
    ASSERT_GE(files.size(), 70u);
    int runLength = 0;
    for (const std::string &path : files) {
        const std::vector<uint8_t> bytes = ReadAll(path);
        Bounds::width = bytes[12] | bytes[13] << 8;
        Bounds::height = bytes[14] | bytes[15] << 8;
        Bounds::painted = Bounds::outside = 0;
        runLength += bytes[2] == 10;
        VeskSetPixelHandler(&Bounds::Paint);
        uint32_t width = 0, height = 0;
        const uint32_t result = LoadTGA(path.c_str(), nullptr, &width, &height);
        VeskSetPixelHandler(nullptr);
        EXPECT_EQ(result, 1u) << path;
        EXPECT_EQ(width, static_cast<uint32_t>(Bounds::width)) << path;
        EXPECT_EQ(Bounds::painted, uint64_t{width} * height) << path;
        EXPECT_EQ(Bounds::outside, 0u) << path;
    }
    EXPECT_GE(runLength, 10);
}

TEST(TgaRealFiles, TopDownSpritesPaintTheirFirstFileRowAtTheTop) {
    const std::string path = DataPath("openarena/sprites/splash.tga");
    const std::vector<uint8_t> bytes = ReadAll(path);
    ASSERT_GE(bytes.size(), 18u);
    ASSERT_TRUE(bytes[17] & 0x20) << "expected a top-down image";
    const Decoded d = DecodeIndependently(bytes);
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    ASSERT_EQ(LoadTGA(path.c_str(), nullptr, &width, &height), 1u);
    ASSERT_EQ(recorder.pixels().size(), d.fileOrder.size());
    for (size_t i = 0; i < d.fileOrder.size(); ++i) {
        const Pixel &p = recorder.pixels()[i];
        ASSERT_EQ(p.colour, d.fileOrder[i]) << "pixel " << i;
        ASSERT_EQ(p.x, static_cast<int32_t>(i % width) + 1) << "pixel " << i;
        ASSERT_EQ(p.y, static_cast<int32_t>(i / width) + 1) << "pixel " << i;  // file row r at y = r + 1
    }
}

TEST(TgaRealFiles, PixelsMatchAnIndependentDecodingAndATopDownTwin) {
    // An uncompressed 24-bit and a run-length 32-bit image.
    for (const char *file :
         {"openarena/models/weapons2/bfg/f_bfg.tga", "openarena/models/weapons2/railgun/scrolly.tga"}) {
        const std::string path = DataPath(file);
        const std::vector<uint8_t> bytes = ReadAll(path);
        ASSERT_GE(bytes.size(), 18u);
        const Decoded d = DecodeIndependently(bytes);
        PixelRecorder recorder;
        uint32_t width = 0, height = 0;
        ASSERT_EQ(LoadTGA(path.c_str(), nullptr, &width, &height), 1u) << file;
        ASSERT_EQ(recorder.pixels().size(), d.fileOrder.size()) << file;
        for (size_t i = 0; i < d.fileOrder.size(); i += 7) {
            const Pixel &p = recorder.pixels()[i];
            ASSERT_EQ(p.colour, d.fileOrder[i]) << file << " pixel " << i;
            ASSERT_EQ(p.x, static_cast<int32_t>(i % width) + 1) << file;
            ASSERT_EQ(p.y, static_cast<int32_t>(height - i / width)) << file;
        }
    }

    // The uncompressed file's rows stored top first (descriptor bit 0x20) paint the same picture.
    const std::vector<uint8_t> bytes = ReadAll(DataPath("openarena/models/weapons2/bfg/f_bfg.tga"));
    ASSERT_EQ(bytes[2], 2);
    const uint32_t w = bytes[12] | bytes[13] << 8, h = bytes[14] | bytes[15] << 8;
    const size_t bpp = bytes[16] / 8, pixels = 18 + bytes[0], row = w * bpp;
    std::vector<uint8_t> flipped(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(pixels));
    flipped[17] |= 0x20;
    for (uint32_t r = h; r-- > 0;)
        flipped.insert(flipped.end(), bytes.begin() + static_cast<ptrdiff_t>(pixels + r * row),
                       bytes.begin() + static_cast<ptrdiff_t>(pixels + (r + 1) * row));
    auto picture = [](const std::vector<Pixel> &painted) {
        std::map<std::pair<int32_t, int32_t>, uint32_t> image;
        for (const Pixel &p : painted) image[{p.x, p.y}] = p.colour;
        return image;
    };
    PixelRecorder recorder;
    uint32_t width = 0, height = 0;
    ASSERT_EQ(Load(bytes, width, height), 1u);
    const auto upright = picture(recorder.pixels());
    recorder.Clear();
    ASSERT_EQ(Load(flipped, width, height), 1u);
    EXPECT_EQ(picture(recorder.pixels()), upright);
    EXPECT_EQ(upright.size(), size_t{w} * h);
}

TEST(TgaRealFiles, TruncationAndByteFlipsNeverReadOutside) {
    // Run-length, so that flips land in packet headers.
    const std::vector<uint8_t> whole = ReadAll(DataPath("openarena/models/weapons2/railgun/scrolly.tga"));
    ASSERT_EQ(whole[2], 10);
    const Decoded d = DecodeIndependently(whole);
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 40; ++n) lengths.push_back(n);
    for (size_t n = 40; n < whole.size(); n += std::max<size_t>(1, whole.size() / 150)) lengths.push_back(n);
    for (size_t n = d.dataEnd - 3; n <= std::min(whole.size(), d.dataEnd + 3); ++n) lengths.push_back(n);
    VeskSetPixelHandler(nullptr);  // no handler: painting is a no-op here
    for (size_t n : lengths) {
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        TgaHeader header;
        if (!ReadTgaHeader(bytes, header)) {
            EXPECT_LT(n, 18u);
            continue;
        }
        EXPECT_EQ(PaintTga(bytes, header, nullptr), n >= d.dataEnd) << "length " << n;
    }
    for (size_t at = 0; at < whole.size(); at += (at < 64 ? 1 : 613)) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= 0xFF;
        TgaHeader header;
        ASSERT_TRUE(ReadTgaHeader(bytes, header));
        const bool painted = PaintTga(bytes, header, nullptr);
        // Flips in the colour map fields and origins (3..11) change nothing.
        if (at >= 3 && at < 12) {
            EXPECT_TRUE(painted) << at;
        }
    }
}

}  // namespace
}  // namespace vesk
