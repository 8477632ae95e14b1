#include "card/take_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "card/take_file.h"
#include "common/messages.h"
#include "support/test_support.h"

namespace {

using trx5::TakeReader;
using trx5test::Bytes;
using trx5test::TempDir;
using trx5test::WriteFile;

// A take file of `size` bytes: the header, then byte i of the blocks is
// 1 + i % 250 (never zero, so zeros read are zeros filled in).
Bytes TakeBytes(std::size_t size, bool signature = true) {
    Bytes b(size, 0);
    const trx5::TakeHeader h = trx5::MakeTakeHeader(false);
    if (signature) std::copy_n(h.begin(), std::min(size, h.size()), b.begin());
    for (std::size_t i = 512; i < size; ++i) b[i] = std::uint8_t(1 + (i - 512) % 250);
    return b;
}

// Reads and what they give: the blocks holding data and the bytes, which
// after the file's end are zeros.
TEST(TakeReader, ReadsBlocksInOrderAndZerosWhatIsNotThere) {
    struct Case {
        const char* what;
        std::size_t size;
        bool signature;
        std::uint64_t blocks;  // whole blocks
        bool takeHeader;
        std::size_t readCount;  // blocks asked for at once
        std::size_t holding;    // of them, blocks holding data
    };
    const Case cases[] = {
        {"three whole blocks", 512 + 3 * 512, true, 3, true, 3, 3},
        {"more asked for than there are", 512 + 2 * 512, true, 2, true, 4, 2},
        {"a partial last block", 512 + 2 * 512 + 100, true, 2, true, 4, 3},
        {"header only", 512, true, 0, true, 2, 0},
        {"a short header", 300, true, 0, false, 1, 0},
        {"no signature", 512 + 512, false, 1, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const Bytes file = TakeBytes(c.size, c.signature);
        WriteFile(dir / "00-00.aud", file);
        auto take = TakeReader::Open(dir / "00-00.aud");
        ASSERT_TRUE(take.ok()) << take.Describe();
        EXPECT_EQ(take->blocks(), c.blocks);
        EXPECT_EQ(take->HasTakeHeader(), c.takeHeader);
        EXPECT_EQ(take->path(), dir / "00-00.aud");

        Bytes read(c.readCount * 512, 0xEE);
        const auto got = take->Read(read.data(), c.readCount);
        ASSERT_TRUE(got.ok()) << got.Describe();
        EXPECT_EQ(*got, c.holding);
        Bytes expected(c.readCount * 512, 0);
        if (file.size() > 512) {
            const std::size_t data = std::min(file.size() - 512, expected.size());
            std::copy_n(file.begin() + 512, data, expected.begin());
        }
        EXPECT_EQ(read, expected);
        // Past the end every read is zeros and holds nothing.
        const auto after = take->Read(read.data(), 1);
        ASSERT_TRUE(after.ok());
        EXPECT_EQ(*after, 0u);
        EXPECT_TRUE(std::all_of(read.begin(), read.begin() + 512, [](auto b) { return b == 0; }));
    }
}

// A take cut short while it is read: what is gone reads as silence. The
// take is larger than what reading buffers ahead.
TEST(TakeReader, AFileThatShrinksGivesZerosForWhatIsGone) {
    TempDir dir;
    const std::string path = dir / "00-00.aud";
    const Bytes file = TakeBytes(512 + 64 * 512);
    WriteFile(path, file);
    auto take = TakeReader::Open(path);
    ASSERT_TRUE(take.ok());
    Bytes read(512);
    ASSERT_EQ(*take->Read(read.data(), 1), 1u);
    const std::size_t left = 512 + 512 + 39 * 512 + 200;  // 39 blocks and a part after it
    ASSERT_EQ(truncate(path.c_str(), left), 0);

    read.assign(60 * 512, 0xEE);
    const auto got = take->Read(read.data(), 60);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, 40u);
    Bytes expected(60 * 512, 0);
    std::copy(file.begin() + 1024, file.begin() + left, expected.begin());
    EXPECT_EQ(read, expected);
    EXPECT_EQ(take->blocks(), 64u);  // as counted when opened
}

TEST(TakeReader, RefusalsNameTheFileAndTheReason) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.aud").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir / "folder.aud").c_str(), 0755), 0);
    const std::pair<std::string, const char*> cases[] = {
        {dir / "missing.aud", "No such file or directory"},
        {dir / "fifo.aud", trx5::kReasonNotRegular},  // refused without blocking
        {dir / "folder.aud", "Is a directory"},
    };
    for (const auto& [path, reason] : cases) {
        const auto take = TakeReader::Open(path);
        ASSERT_FALSE(take.ok()) << path;
        EXPECT_EQ(take.code(), trx5::ErrorCode::CannotOpen);
        EXPECT_EQ(take.message(), trx5::kMsgCannotOpen);
        EXPECT_EQ(take.reason(), reason);
        EXPECT_EQ(take.path(), path);
    }
}

TEST(TakeReader, KnowsItsFileUnderOtherNames) {
    TempDir dir;
    WriteFile(dir / "00-00.aud", TakeBytes(1024));
    WriteFile(dir / "00-01.aud", TakeBytes(1024));
    ASSERT_EQ(link((dir / "00-00.aud").c_str(), (dir / "hard").c_str()), 0);
    ASSERT_EQ(symlink((dir / "00-00.aud").c_str(), (dir / "soft").c_str()), 0);
    const auto take = TakeReader::Open(dir / "00-00.aud");
    ASSERT_TRUE(take.ok());
    EXPECT_TRUE(take->IsSameFile(dir / "00-00.aud"));
    EXPECT_TRUE(take->IsSameFile(dir / "hard"));
    EXPECT_TRUE(take->IsSameFile(dir / "soft"));
    EXPECT_TRUE(take->IsSameFile(dir / "./00-00.aud"));
    EXPECT_FALSE(take->IsSameFile(dir / "00-01.aud"));
    EXPECT_FALSE(take->IsSameFile(dir / "missing"));
}

}  // namespace
