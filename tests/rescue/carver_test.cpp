#include "rescue/carver.h"

#include <gtest/gtest.h>

#include "rescue/rescue_image.h"

namespace {

using trx5::BlockVerdict;
using trx5::FoundItem;
using trx5::FoundKind;
using trx5::TakeEnd;
using trx5test::Append;
using trx5test::Bytes;
using trx5test::FaultySource;
using trx5test::RandomBytes;

// The take as carved: the header's sector, then its blocks' sectors.
Bytes CarvedTake(const Bytes& image, const FoundItem& item) {
    auto at = [&](std::uint64_t sector) { return image.begin() + sector * 512; };
    Bytes b(at(item.sector), at(item.sector + 1));
    for (const auto& run : item.blocks) b.insert(b.end(), at(run.first), at(run.first + run.count));
    return b;
}

trx5::CarveOutcome CarveBytes(const Bytes& image, std::set<std::uint64_t> bad = {},
                              std::size_t chunkSectors = 8192) {
    FaultySource source(image, std::move(bad));
    trx5::RetryingSectorReader reader(source);
    return trx5::Carve(reader, {.chunkSectors = chunkSectors});
}

// Blocks the encoder writes are never Implausible, whatever the sound;
// tones and quiet noise are Plausible.
TEST(TakeBlockCheck, EncodedBlocksPass) {
    struct Case {
        trx5test::Sound sound;
        bool allPlausible;
    };
    for (const bool longMode : {false, true}) {
        for (const Case c :
             {Case{trx5test::Sound::Tones, true}, Case{trx5test::Sound::QuietNoise, true},
              Case{trx5test::Sound::LoudTones, true}, Case{trx5test::Sound::WhiteNoise, false}}) {
            for (int seed = 0; seed < 6; ++seed) {
                const Bytes blocks = trx5test::EncodedBlocks(longMode, 40, seed, c.sound);
                for (std::size_t b = 0; b < blocks.size(); b += 512) {
                    const BlockVerdict v = trx5::CheckTakeBlock(&blocks[b], longMode);
                    ASSERT_NE(v, BlockVerdict::Implausible) << longMode << " " << seed;
                    if (c.allPlausible) {
                        ASSERT_EQ(v, BlockVerdict::Plausible) << int(c.sound) << " " << seed;
                    }
                }
                EXPECT_EQ(trx5::LooksLong(blocks.data()), longMode);
            }
        }
    }
}

// One byte the encoder never writes makes a block Implausible; the stored
// start samples may hold any byte.
TEST(TakeBlockCheck, CodesTheEncoderNeverWritesFail) {
    struct Case {
        bool longMode;
        std::size_t at;
        std::uint8_t value;
        BlockVerdict expected;
    };
    const Case cases[] = {
        {false, 2, 0, BlockVerdict::Implausible},     {false, 300, 248, BlockVerdict::Implausible},
        {false, 509, 255, BlockVerdict::Implausible}, {false, 510, 1, BlockVerdict::Implausible},
        {false, 511, 7, BlockVerdict::Implausible},   {true, 2, 255, BlockVerdict::Implausible},
        {true, 255, 0, BlockVerdict::Implausible},    {true, 258, 248, BlockVerdict::Implausible},
        {true, 511, 0, BlockVerdict::Implausible},    {false, 0, 0, BlockVerdict::Plausible},
        {false, 1, 255, BlockVerdict::Plausible},     {true, 256, 0, BlockVerdict::Plausible},
        {true, 257, 255, BlockVerdict::Plausible},
    };
    for (const Case& c : cases) {
        Bytes block = trx5test::EncodedBlocks(c.longMode, 1, 3);
        ASSERT_EQ(trx5::CheckTakeBlock(block.data(), c.longMode), BlockVerdict::Plausible);
        block[c.at] = c.value;
        EXPECT_EQ(trx5::CheckTakeBlock(block.data(), c.longMode), c.expected)
            << c.longMode << " " << c.at;
    }
}

// 64 MiB of random bytes: no block is Plausible in either mode, and takes
// whose headers are planted in them are doubtful.
TEST(TakeBlockCheck, RandomBytesAreNeverPlausible) {
    Bytes image = RandomBytes(64u << 20, 7);
    std::size_t notImplausible[2] = {0, 0};
    for (const bool longMode : {false, true}) {
        for (std::size_t b = 0; b < image.size(); b += 512) {
            const BlockVerdict v = trx5::CheckTakeBlock(&image[b], longMode);
            EXPECT_NE(v, BlockVerdict::Plausible);
            if (v != BlockVerdict::Implausible) ++notImplausible[longMode];
        }
    }
    // About 0.3% of random blocks have none of the never-written codes.
    EXPECT_EQ(notImplausible[0], 0u);
    EXPECT_LT(notImplausible[1], image.size() / 512 / 100);
    RecordProperty("random LONG blocks not implausible", int(notImplausible[1]));

    for (std::size_t at = 0; at < image.size(); at += 1u << 20) {
        const trx5::TakeHeader h = trx5::MakeTakeHeader(at % (2u << 20) != 0);
        std::copy(h.begin(), h.end(), image.begin() + at);
    }
    const trx5::CarveOutcome out = CarveBytes(image);
    ASSERT_EQ(out.items.size(), 64u);
    for (const FoundItem& item : out.items) EXPECT_TRUE(item.doubtful()) << item.sector;
}

// Takes of both modes at sector boundaries, with junk, song and machine
// files between: every take comes back byte for byte, with its mode and
// how it ends.
TEST(Carve, FindsEveryTakeByteForByte) {
    const Bytes takeA = trx5test::EncodedTake(false, 37, 1);
    const Bytes takeB = trx5test::EncodedTake(true, 20, 2);
    const Bytes takeC = trx5test::EncodedTake(false, 5, 3);
    const Bytes takeD = trx5test::EncodedTake(true, 9, 4);
    Bytes image = RandomBytes(512 * 3, 1);
    Append(image, takeA);
    Append(image, RandomBytes(512 * 5, 2));
    Append(image, takeB);
    Append(image, trx5test::SignatureSector(trx5::kSongSignature, 1));
    Append(image, takeC);
    Append(image, takeD);
    Append(image, trx5test::SignatureSector(trx5::kMachineSignature, 0));
    Append(image, trx5test::SignatureSector(trx5::kSongSignature, 0));
    Append(image, RandomBytes(512 * 2, 3));

    const trx5::CarveOutcome out = CarveBytes(image, {}, 16);
    EXPECT_EQ(out.sectors, image.size() / 512);
    EXPECT_EQ(out.unreadableSectors, 0u);
    ASSERT_EQ(out.items.size(), 7u);
    struct Expected {
        FoundKind kind;
        bool longMode;
        const Bytes* take;
        TakeEnd end;
    };
    const Expected expected[] = {
        {FoundKind::Take, false, &takeA, TakeEnd::ImplausibleBlock},
        {FoundKind::Take, true, &takeB, TakeEnd::NextHeader},
        {FoundKind::SongFile, true, nullptr, TakeEnd::NextHeader},
        {FoundKind::Take, false, &takeC, TakeEnd::NextHeader},
        {FoundKind::Take, true, &takeD, TakeEnd::NextHeader},
        {FoundKind::MachineFile, false, nullptr, TakeEnd::NextHeader},
        {FoundKind::SongFile, false, nullptr, TakeEnd::NextHeader},
    };
    for (std::size_t i = 0; i < out.items.size(); ++i) {
        const FoundItem& item = out.items[i];
        EXPECT_EQ(item.kind, expected[i].kind) << i;
        EXPECT_EQ(item.longMode, expected[i].longMode) << i;
        if (!expected[i].take) continue;
        EXPECT_EQ(item.end, expected[i].end) << i;
        EXPECT_EQ(CarvedTake(image, item), *expected[i].take) << i;
        EXPECT_EQ(item.blockCount, expected[i].take->size() / 512 - 1);
        EXPECT_EQ(item.blocks.size(), 1u);
        EXPECT_EQ(item.doubtfulBlocks, 0u);
        EXPECT_FALSE(item.doubtful());
        EXPECT_TRUE(item.complete());
    }
}

// Takes of every kind of sound, in both modes and from several seeds, are
// carved whole: the continuity rule finds no seam in a take's own blocks,
// nor a LONG block whose two runs do not join. A LONG block whose second
// run comes from another take is doubtful.
TEST(Carve, ContinuityHoldsWithinATakeAndCatchesASplicedRun) {
    using trx5test::Sound;
    for (const bool longMode : {false, true}) {
        for (const Sound sound :
             {Sound::Tones, Sound::LoudTones, Sound::QuietNoise, Sound::WhiteNoise}) {
            for (int seed = 0; seed < 6; ++seed) {
                const trx5::TakeHeader h = trx5::MakeTakeHeader(longMode);
                Bytes image(h.begin(), h.end());
                Append(image, trx5test::EncodedBlocks(longMode, 150, seed, sound));
                const trx5::CarveOutcome out = CarveBytes(image);
                ASSERT_EQ(out.items.size(), 1u) << longMode << int(sound) << seed;
                EXPECT_EQ(out.items[0].blockCount, 150u);
                if (sound != Sound::WhiteNoise) {
                    EXPECT_EQ(out.items[0].doubtfulBlocks, 0u);
                }
            }
        }
    }
    const trx5::TakeHeader h = trx5::MakeTakeHeader(true);
    Bytes image(h.begin(), h.end());
    Append(image, trx5test::EncodedBlocks(true, 20, 1));
    const Bytes other = trx5test::EncodedBlocks(true, 20, 4);
    // Block 10's second run (its stored sample and codes) from the other take.
    std::copy(other.begin() + 10 * 512 + 256, other.begin() + 11 * 512,
              image.begin() + 11 * 512 + 256);
    const trx5::CarveOutcome out = CarveBytes(image);
    ASSERT_GE(out.items.size(), 1u);
    std::uint64_t doubtful = 0;
    for (const FoundItem& item : out.items) doubtful += item.doubtfulBlocks;
    EXPECT_EQ(doubtful, 1u);
}

// An image that ends within a take gives the whole blocks before the end,
// marked as possibly cut.
TEST(Carve, ImageCutWithinATake) {
    const Bytes take = trx5test::EncodedTake(true, 30, 5);
    for (const std::size_t extra : {0, 1, 200, 511}) {
        Bytes image = RandomBytes(512 * 2, 4);
        Append(image, Bytes(take.begin(), take.begin() + 512 * 11 + extra));
        const trx5::CarveOutcome out = CarveBytes(image, {}, 4);
        ASSERT_EQ(out.items.size(), 1u) << extra;
        EXPECT_EQ(out.items[0].blockCount, 10u) << extra;
        EXPECT_FALSE(out.items[0].complete()) << extra;
        EXPECT_EQ(CarvedTake(image, out.items[0]), Bytes(take.begin(), take.begin() + 512 * 11));
    }
}

// Unreadable sectors within takes lose those blocks only; the takes go on
// past them and count them. Unreadable junk is counted but lost by no take.
TEST(Carve, ReadErrorsLoseOnlyTheirBlocks) {
    const Bytes takeA = trx5test::EncodedTake(false, 40, 6);
    const Bytes takeB = trx5test::EncodedTake(true, 25, 7);
    Bytes image = RandomBytes(512 * 4, 5);
    const std::uint64_t a = image.size() / 512;
    Append(image, takeA);
    Append(image, RandomBytes(512 * 3, 6));
    const std::uint64_t b = image.size() / 512;
    Append(image, takeB);
    Append(image, RandomBytes(512, 7));

    // Blocks 3, 4 and 40 (the last) of A, block 1 of B, a junk sector.
    const std::set<std::uint64_t> bad = {a + 3, a + 4, a + 40, b + 1, 1};
    const trx5::CarveOutcome out = CarveBytes(image, bad, 8);
    EXPECT_EQ(out.unreadableSectors, bad.size());
    ASSERT_EQ(out.items.size(), 2u);

    auto without = [](const Bytes& take, std::set<std::size_t> lostBlocks) {
        Bytes b(take.begin(), take.begin() + 512);
        for (std::size_t n = 1; n <= take.size() / 512 - 1; ++n) {
            if (!lostBlocks.count(n))
                b.insert(b.end(), take.begin() + n * 512, take.begin() + (n + 1) * 512);
        }
        return b;
    };
    // A's lost last block is followed by junk: nothing tells it was A's.
    EXPECT_EQ(CarvedTake(image, out.items[0]), without(takeA, {3, 4, 40}));
    EXPECT_EQ(out.items[0].lostBlocks, 2u);
    EXPECT_EQ(CarvedTake(image, out.items[1]), without(takeB, {1}));
    EXPECT_EQ(out.items[1].lostBlocks, 1u);
}

}  // namespace
