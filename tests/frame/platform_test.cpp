#include <gtest/gtest.h>

#include <string>

#include "frame/module_state.h"
#include "frame/platform.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(Messages, FormattedIntoTheBufferAndCutToFit) {
    test::MessageCapture capture;
    ReportMessage("Error", "Unable to find the file: %s!", "a.3ds");
    const std::string longName(400, 'x');
    ReportMessage("Warning", "Unable to find the file: %s!", longName.c_str());
    ASSERT_EQ(capture.messages().size(), 2u);
    EXPECT_EQ(capture.messages()[0].caption, "Error");
    EXPECT_EQ(capture.messages()[0].text, "Unable to find the file: a.3ds!");
    EXPECT_EQ(capture.messages()[1].caption, "Warning");
    EXPECT_EQ(capture.messages()[1].text.size(), static_cast<size_t>(kMessageBufferSize - 1));
    EXPECT_EQ(capture.messages()[1].text.rfind("Unable to find the file: xxx", 0), 0u);
}

TEST(Clock, HostSourceReplacesTheDefaultAndNullRestoresIt) {
    {
        test::FakeClock clock(123);
        EXPECT_EQ(TickCount(), 123u);
        clock.Advance(0xFFFFFFFFu);  // wraps like the 32-bit system tick
        EXPECT_EQ(TickCount(), 122u);
    }
    // Default: the monotonic clock, which does not go backwards.
    const uint32_t a = TickCount();
    const uint32_t b = TickCount();
    EXPECT_LE(static_cast<uint32_t>(b - a), 1000u);
}

struct PixelLog {
    static inline int calls = 0;
    static inline void *dc = nullptr;
    static inline int32_t x = 0, y = 0;
    static inline uint32_t colour = 0;
    static void VESK_CALL Record(void *d, int32_t px, int32_t py, uint32_t c) {
        ++calls;
        dc = d;
        x = px;
        y = py;
        colour = c;
    }
};

struct TexLog {
    static inline int calls = 0;
    static inline float u = 0, v = 0;
    static void VESK_CALL Record(float a, float b) {
        ++calls;
        u = a;
        v = b;
    }
};

TEST(PixelsAndTexCoords, ReachTheHostHandlersUntilReset) {
    int dcObject = 0;
    VeskSetPixelHandler(&PixelLog::Record);
    PaintPixel(&dcObject, 3, 4, 0x00112233u);
    VeskSetPixelHandler(nullptr);
    PaintPixel(&dcObject, 9, 9, 0);  // default off Windows: nothing
    EXPECT_EQ(PixelLog::calls, 1);
    EXPECT_EQ(PixelLog::dc, &dcObject);
    EXPECT_EQ(PixelLog::x, 3);
    EXPECT_EQ(PixelLog::y, 4);
    EXPECT_EQ(PixelLog::colour, 0x00112233u);

    VeskSetTexCoordHandler(&TexLog::Record);
    SetTexCoord(0.25f, -0.5f);
    VeskSetTexCoordHandler(nullptr);
    SetTexCoord(1.0f, 1.0f);  // no GL in this process: nothing, and no crash
    EXPECT_EQ(TexLog::calls, 1);
    EXPECT_EQ(TexLog::u, 0.25f);
    EXPECT_EQ(TexLog::v, -0.5f);
}

TEST(EntryRoutine, ThreadNotificationsKeepThePlayerCount) {
    Md3PlayerCount() = 3;
    EXPECT_TRUE(OnEntry(EntryReason::ThreadAttach));
    EXPECT_TRUE(OnEntry(EntryReason::ThreadDetach));
    EXPECT_EQ(Md3PlayerCount(), 3);
    EXPECT_TRUE(OnEntry(EntryReason::ProcessAttach));
    EXPECT_EQ(Md3PlayerCount(), 0);
    Md3PlayerCount() = 2;
    EXPECT_TRUE(OnEntry(EntryReason::ProcessDetach));
    EXPECT_EQ(Md3PlayerCount(), 0);
}

}  // namespace
}  // namespace vesk
