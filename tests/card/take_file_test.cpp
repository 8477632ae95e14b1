#include "card/take_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

using trx5test::Bytes;
using trx5test::TempDir;
using trx5test::WriteFile;

Bytes ValidHeader(std::size_t size = 512) {
    const trx5::TakeHeader h = trx5::MakeTakeHeader(false);
    Bytes b(size, 0);
    std::copy_n(h.begin(), std::min(size, h.size()), b.begin());
    return b;
}

TEST(TakeHeader, Layout) {
    for (bool longMode : {false, true}) {
        const trx5::TakeHeader h = trx5::MakeTakeHeader(longMode);
        Bytes expected(512, 0);
        expected[0] = longMode ? 1 : 0;
        std::memcpy(&expected[16], "QORV1D2ZZ7AUD", 13);
        std::memcpy(&expected[32],
                    "1.00"
                    "0001"
                    "CMGR",
                    12);
        EXPECT_EQ(Bytes(h.begin(), h.end()), expected) << "long " << longMode;
        EXPECT_TRUE(trx5::HasTakeSignature(h.data()));
    }
}

TEST(TakeName, MakeAndParse) {
    EXPECT_EQ(trx5::TakeFileName(0, 0, 3), "00-03.aud");
    EXPECT_EQ(trx5::TakeFileName(7, 2, 0), "07-20.aud");
    EXPECT_EQ(trx5::TakeFileName(99, 3, 7), "99-37.aud");

    struct Case {
        const char* name;
        int fileNumber;
        int track;  // -1: not a take of the song
        int vtake;
    };
    const Case cases[] = {
        {"00-03.aud", 0, 0, 3},  {"00-37.aud", 0, 3, 7},  {"99-21.aud", 99, 2, 1},
        {"00-37.AUD", 0, 3, 7},  {"00-08.aud", 0, -1, 0}, {"00-09.aud", 0, -1, 0},
        {"00-40.aud", 0, -1, 0}, {"00-90.aud", 0, -1, 0}, {"00-4.aud", 0, -1, 0},
        {"00-0a.aud", 0, -1, 0}, {"00-x0.aud", 0, -1, 0}, {"01-00.aud", 0, -1, 0},
        {"00_00.aud", 0, -1, 0}, {"00-00.wav", 0, -1, 0}, {"00-000.aud", 0, -1, 0},
    };
    for (const Case& c : cases) {
        const auto slot = trx5::ParseTakeFileName(c.name, c.fileNumber);
        if (c.track < 0) {
            EXPECT_FALSE(slot) << c.name;
        } else {
            ASSERT_TRUE(slot) << c.name;
            EXPECT_EQ(slot->track, c.track) << c.name;
            EXPECT_EQ(slot->vtake, c.vtake) << c.name;
        }
    }
}

TEST(TakeFileTest, HeaderDecides) {
    Bytes zeroInSignature = ValidHeader();
    zeroInSignature[20] = 0;
    Bytes lastByteDiffers = ValidHeader();
    lastByteDiffers[28] = 'E';
    Bytes firstByteDiffers = ValidHeader();
    firstByteDiffers[16] = 'q';
    // Only the signature is examined: mode, texts and other bytes may hold
    // anything.
    Bytes otherFieldsDiffer = ValidHeader(512 + 512 * 3);
    otherFieldsDiffer[0] = 7;
    otherFieldsDiffer[3] = 0xFF;
    std::memcpy(&otherFieldsDiffer[32], "2.50XXXXYYYY", 12);
    otherFieldsDiffer[29] = 'Z';
    otherFieldsDiffer[511] = 0xAA;
    struct Case {
        const char* what;
        Bytes content;
        bool isTake;
    };
    const Case cases[] = {
        {"exactly 512 bytes", ValidHeader(), true},
        {"511 bytes", ValidHeader(511), false},
        {"empty", Bytes{}, false},
        {"zero byte inside the signature", zeroInSignature, false},
        {"last signature byte differs", lastByteDiffers, false},
        {"first signature byte in lower case", firstByteDiffers, false},
        {"other header fields differ", otherFieldsDiffer, true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "00-00.aud", c.content);
        EXPECT_EQ(trx5::IsTakeFile(dir / "00-00.aud"), c.isTake) << c.what;
    }
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "00-00.aud").c_str(), 0755), 0);
    EXPECT_FALSE(trx5::IsTakeFile(dir / "00-00.aud"));
    EXPECT_FALSE(trx5::IsTakeFile(dir / "00-01.aud"));
}

// The grid's places and the captions the grid and trx5card show.
TEST(TakeSlots, IndexAndCaption) {
    struct Case {
        int track, vtake, index;
        const char* caption;
    };
    const Case cases[] = {{0, 0, 0, "1-1"}, {0, 7, 7, "1-8"}, {1, 2, 10, "2-3"}, {3, 7, 31, "4-8"}};
    for (const Case& c : cases) {
        EXPECT_EQ(trx5::SlotIndex(c.track, c.vtake), c.index);
        EXPECT_EQ(trx5::SlotIndex({c.track, c.vtake}), c.index);
        const trx5::TakeSlot slot = trx5::SlotAt(c.index);
        EXPECT_EQ(slot.track, c.track);
        EXPECT_EQ(slot.vtake, c.vtake);
        EXPECT_EQ(trx5::TakeCaption(slot), c.caption);
    }
}

TEST(TakeFileSearch, FindsTheSongsTakesInAnyCase) {
    TempDir dir;
    WriteFile(dir / "00-00.aud", ValidHeader(512 + 512));
    WriteFile(dir / "00-12.AUD", ValidHeader());
    WriteFile(dir / "00-37.aud", ValidHeader());
    WriteFile(dir / "01-05.aud", ValidHeader());  // another song
    WriteFile(dir / "00-08.aud", ValidHeader());  // V-Take 9 does not exist
    WriteFile(dir / "00-40.aud", ValidHeader());  // nor does track 5
    WriteFile(dir / "00-21.aud", ValidHeader(300));
    ASSERT_EQ(mkdir((dir / "00-22.aud").c_str(), 0755), 0);

    const trx5::TakeFiles files = trx5::FindTakeFiles(dir.path(), 0);
    trx5::TakeFiles expected;
    expected[0 * 8 + 0] = dir / "00-00.aud";
    expected[1 * 8 + 2] = dir / "00-12.AUD";
    expected[3 * 8 + 7] = dir / "00-37.aud";
    EXPECT_EQ(files, expected);

    const trx5::TakeFiles song2 = trx5::FindTakeFiles(dir.path(), 1);
    trx5::TakeFiles expected2;
    expected2[5] = dir / "01-05.aud";
    EXPECT_EQ(song2, expected2);
    EXPECT_EQ(trx5::FindTakeFiles(dir / "missing/", 0), trx5::TakeFiles{});

    // Two files for one slot: the first name in byte order stands for it,
    // also when it is not a take (the slot is then empty, not the twin's).
    WriteFile(dir / "00-00.AUD", ValidHeader());
    WriteFile(dir / "00-37.AUD", Bytes(600, 1));
    expected[0] = dir / "00-00.AUD";
    expected[3 * 8 + 7].clear();
    EXPECT_EQ(trx5::FindTakeFiles(dir.path(), 0), expected);
}

TEST(TakeLength, BlockCount) {
    EXPECT_EQ(trx5::TakeBlockCount(0), 0u);
    EXPECT_EQ(trx5::TakeBlockCount(511), 0u);
    EXPECT_EQ(trx5::TakeBlockCount(512), 0u);
    EXPECT_EQ(trx5::TakeBlockCount(1023), 0u);
    EXPECT_EQ(trx5::TakeBlockCount(1024), 1u);
    EXPECT_EQ(trx5::TakeBlockCount(512 + 512 * 10 + 100), 10u);
    EXPECT_EQ(trx5::TakeBlockCount(512 + 512ull * 5000000000ull), 5000000000ull);

    TempDir dir;
    WriteFile(dir / "00-00.aud", ValidHeader(512 + 512 * 3 + 511));
    EXPECT_EQ(trx5::TakeFileBlocks(dir / "00-00.aud"), 3u);
    EXPECT_EQ(trx5::TakeFileBlocks(dir / "00-01.aud"), std::nullopt);
    EXPECT_EQ(trx5::TakeFileBlocks(dir.path()), std::nullopt);
}

TEST(TakeLength, Milliseconds) {
    EXPECT_EQ(trx5::TakeLengthMs(0, false), 0u);
    EXPECT_EQ(trx5::TakeLengthMs(1, false), 15u);  // 509 / 32000 s
    EXPECT_EQ(trx5::TakeLengthMs(1, true), 31u);   // 510 / 16000 s
    EXPECT_EQ(trx5::TakeLengthMs(1000, false), 15906u);
    EXPECT_EQ(trx5::TakeLengthMs(1000, true), 31875u);
    // Past 2^32 in the intermediate product.
    EXPECT_EQ(trx5::TakeLengthMs(10000, false), 159062u);
    EXPECT_EQ(trx5::TakeLengthMs(100000, true), 3187500u);
}

TEST(TakeLength, Text) {
    EXPECT_EQ(trx5::FormatTakeLength(0), "0:00:00:000");
    EXPECT_EQ(trx5::FormatTakeLength(1002), "0:00:01:002");
    EXPECT_EQ(trx5::FormatTakeLength(15906), "0:00:15:906");
    EXPECT_EQ(trx5::FormatTakeLength(3600000 + 2 * 60000 + 3 * 1000 + 4), "1:02:03:004");
    EXPECT_EQ(trx5::FormatTakeLength(3599999), "0:59:59:999");
    EXPECT_EQ(trx5::FormatTakeLength(36000000), "10:00:00:000");
}

}  // namespace
