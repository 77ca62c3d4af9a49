// Whole-file reading into reused buffers, the kept file of the per-call
// exports, and text-mode line reading over raw bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "io/file.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::WriteTemp;

std::vector<uint8_t> Bytes(const std::string &s) { return {s.begin(), s.end()}; }
std::vector<uint8_t> Copy(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

TEST(ReadDiskFile, ReadsEveryFileWholeThroughOneReusedBuffer) {
    ByteBuffer buffer;
    std::mt19937 rng(13);
    // Growing, shrinking and empty files through the same buffer.
    for (size_t size : {size_t{70000}, size_t{5}, size_t{0}, size_t{300001}, size_t{1}}) {
        std::vector<uint8_t> content(size);
        for (uint8_t &b : content) b = static_cast<uint8_t>(rng());
        const std::string path = WriteTemp("read_" + std::to_string(size), content);
        FileStamp stamp;
        ReadOptions options;
        options.stamp = &stamp;
        ASSERT_TRUE(ReadDiskFile(path.c_str(), buffer, options)) << size;
        EXPECT_EQ(Copy(buffer.bytes()), content) << size;
        EXPECT_EQ(stamp.size, size);
        options = {};
        options.maxBytes = size ? size - 1 : 0;
        EXPECT_FALSE(ReadDiskFile(path.c_str(), buffer, options) && size > 0) << "over maxBytes";
    }
    EXPECT_FALSE(ReadDiskFile((test::TempRoot() / "absent").string().c_str(), buffer));
    EXPECT_FALSE(ReadDiskFile(nullptr, buffer));
    // A file that tells no size is read to its end.
    FileBytes status;
    ASSERT_TRUE(status.Read("/proc/self/status", buffer));
    EXPECT_NE(status.text().find("Name:"), std::string_view::npos);
}

// Sets a file's modification time to long ago, as for files that came with a game.
void MakeOld(const std::string &path, int seconds) {
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24) -
                                               std::chrono::seconds(seconds));
}

TEST(KeptFile, KeepsOnlyUnchangedOldFilesAndNoticesEveryChange) {
    KeptFile cache;
    bool fresh = false;
    const std::string path = WriteTemp("cached", Bytes("first version"));
    // Just written: the file clock cannot tell a rewrite in the same tick, so it is read every time.
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_TRUE(fresh);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_TRUE(fresh);
    WriteTemp("cached", Bytes("other version"));  // same size, same tick
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_EQ(Copy(cache.bytes()), Bytes("other version"));

    MakeOld(path, 0);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_TRUE(fresh);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_FALSE(fresh) << "an old unchanged file is kept";
    EXPECT_EQ(Copy(cache.bytes()), Bytes("other version"));

    // Same size, another (old) time; then another size; then another file; then gone.
    WriteTemp("cached", Bytes("third version"));
    MakeOld(path, 5);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_TRUE(fresh);
    EXPECT_EQ(Copy(cache.bytes()), Bytes("third version"));
    WriteTemp("cached", Bytes("fourth, longer version"));
    MakeOld(path, 5);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_EQ(Copy(cache.bytes()), Bytes("fourth, longer version"));
    const std::string other = WriteTemp("cached_other", Bytes("x"));
    MakeOld(other, 5);
    ASSERT_TRUE(cache.Get(other.c_str(), fresh));
    EXPECT_EQ(Copy(cache.bytes()), Bytes("x"));
    std::filesystem::remove(other);
    EXPECT_FALSE(cache.Get(other.c_str(), fresh));
}

TEST(KeptFile, APrefixIsKeptAsAPrefixAndTheRestReadOnDemand) {
    KeptFile cache;
    bool fresh = false;
    const std::vector<uint8_t> content = Bytes("0123456789abcdef");
    const std::string path = WriteTemp("cached_prefix", content);
    MakeOld(path, 0);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 10));
    EXPECT_TRUE(fresh);
    EXPECT_FALSE(cache.complete());
    EXPECT_EQ(cache.fileSize(), content.size());
    EXPECT_EQ(Copy(cache.bytes()), Bytes("0123456789"));
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 4));
    EXPECT_FALSE(fresh) << "the prefix held covers a shorter one";
    ASSERT_TRUE(cache.Get(path.c_str(), fresh));
    EXPECT_TRUE(fresh) << "more than the prefix is read anew";
    EXPECT_TRUE(cache.complete());
    EXPECT_EQ(Copy(cache.bytes()), content);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 10));
    EXPECT_FALSE(fresh) << "the whole file covers any prefix";
    // A prefix longer than the file is the whole file.
    const std::string shortPath = WriteTemp("cached_prefix_short", Bytes("abc"));
    MakeOld(shortPath, 0);
    ASSERT_TRUE(cache.Get(shortPath.c_str(), fresh, 10));
    EXPECT_TRUE(cache.complete());
    EXPECT_EQ(Copy(cache.bytes()), Bytes("abc"));
    // A changed file behind a kept prefix is read again.
    WriteTemp("cached_prefix", Bytes("ABCDEFGHIJ abcdef"));
    MakeOld(path, 7);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 10));
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 10));
    WriteTemp("cached_prefix", Bytes("0123456789 abcdef"));
    MakeOld(path, 9);
    ASSERT_TRUE(cache.Get(path.c_str(), fresh, 10));
    EXPECT_TRUE(fresh);
    EXPECT_EQ(Copy(cache.bytes()), Bytes("0123456789"));
    EXPECT_EQ(cache.fileSize(), 17u);
    cache.Drop();
    EXPECT_TRUE(cache.bytes().empty());
}

TEST(TextModeLineReader, GivesTheLinesOfTheTranslatedTextWithTheirOffsets) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', ' ', '\r', '\n', '\r', '\n', 'b'};
    for (int round = 0; round < 500; ++round) {
        std::string raw(rng() % 40, ' ');
        for (char &c : raw) c = alphabet[rng() % sizeof alphabet];
        const std::string text = TextModeFromBytes(raw);
        LineReader expected(text);
        TextModeLineReader actual(raw);
        std::string_view want, got;
        for (;;) {
            const bool more = expected.Next(want);
            ASSERT_EQ(actual.Next(got), more) << round;
            if (!more) break;
            EXPECT_EQ(got, want) << round;
            EXPECT_EQ(static_cast<size_t>(got.data() - raw.data()) - actual.droppedBeforeLine(),
                      static_cast<size_t>(want.data() - text.data()))
                << round;
        }
        EXPECT_EQ(raw.size() - actual.dropped(), text.size()) << round;
    }
}

}  // namespace
}  // namespace vesk
