#include "rescue/sector_reader.h"

#include <gtest/gtest.h>

#include "rescue/carver.h"
#include "rescue/rescue_image.h"

namespace {

using trx5test::Bytes;

// A chunk is read in one piece while it can be; where it cannot, every
// sector alone, so only the bad ones are zero-filled and counted.
TEST(SectorReader, RetriesSectorBySectorAndZeroFillsTheBad) {
    const Bytes image = trx5test::RandomBytes(512 * 10 + 100, 9);
    trx5test::FaultySource source(image, {2, 5});
    trx5::RetryingSectorReader reader(source);
    EXPECT_EQ(reader.SectorCount(), 11u);

    Bytes out(512 * 11, 0xAA);
    std::uint8_t unreadable[11];
    EXPECT_EQ(reader.ReadSectors(6, 5, out.data(), unreadable), 0u);
    EXPECT_EQ(source.reads, 1);
    EXPECT_TRUE(std::equal(image.begin() + 512 * 6, image.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + (image.size() - 512 * 6), out.begin() + 512 * 5,
                            [](std::uint8_t v) { return v == 0; }));

    EXPECT_EQ(reader.ReadSectors(0, 11, out.data(), unreadable), 2u);
    EXPECT_EQ(reader.unreadableSectors(), 2u);
    for (int s = 0; s < 11; ++s) {
        const bool bad = s == 2 || s == 5;
        EXPECT_EQ(unreadable[s], bad ? 1 : 0) << s;
        const auto sector = out.begin() + 512 * s;
        if (bad) {
            EXPECT_TRUE(std::all_of(sector, sector + 512, [](std::uint8_t v) { return v == 0; }));
        } else {
            const std::size_t n = std::min<std::size_t>(512, image.size() - 512 * s);
            EXPECT_TRUE(std::equal(sector, sector + n, image.begin() + 512 * s)) << s;
        }
    }
}

// An image file is read like the same bytes in memory.
TEST(SectorReader, ReadsAnImageFile) {
    trx5test::TempDir dir;
    Bytes image = trx5test::RandomBytes(512 * 3, 10);
    trx5test::Append(image, trx5test::EncodedTake(false, 12, 2));
    trx5test::WriteFile(dir / "card.img", image);

    auto source = trx5::OpenByteSource(dir / "card.img");
    ASSERT_TRUE(source) << source.Describe();
    EXPECT_EQ((*source)->size(), image.size());
    trx5::RetryingSectorReader reader(**source);
    const trx5::CarveOutcome out = trx5::Carve(reader, {.chunkSectors = 5});
    ASSERT_EQ(out.items.size(), 1u);
    EXPECT_EQ(out.items[0].sector, 3u);
    EXPECT_EQ(out.items[0].blockCount, 12u);
}

TEST(SectorReader, OpeningFailsForMissingFilesAndFolders) {
    trx5test::TempDir dir;
    for (const std::string& path : {dir / "missing.img", dir.path()}) {
        auto source = trx5::OpenByteSource(path);
        ASSERT_FALSE(source) << path;
        EXPECT_EQ(source.code(), trx5::ErrorCode::CannotOpen);
        EXPECT_EQ(source.path(), path);
    }
}

}  // namespace
