#include "card/take_envelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "codec/take_codec.h"
#include "common/messages.h"
#include "support/reference_codec.h"
#include "support/test_support.h"

namespace {

using trx5::EnvelopeColumn;
using trx5test::Bytes;
using trx5test::TempDir;
using Samples = std::vector<std::int16_t>;

// A take of `blocks` blocks coded from a known signal: a quiet wave with a
// loud burst at a third of the take, and `extraBytes` of a partial block.
Samples WriteKnownTake(const std::string& path, std::size_t blocks, bool longMode,
                       int extraBytes = 0) {
    const std::size_t spb = trx5::SamplesPerBlock(longMode);
    Samples signal(blocks * spb);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const bool burst = i >= signal.size() / 3 && i < signal.size() / 3 + 300;
        signal[i] = std::int16_t((burst ? 30000 : 2000) * std::sin(double(i) * 0.05));
    }
    const trx5::TakeHeader header = trx5::MakeTakeHeader(longMode);
    Bytes b(512 + blocks * 512 + extraBytes, 0x42);
    std::copy(header.begin(), header.end(), b.begin());
    trx5::EncodeTakeBlocks(b.data() + 512, signal.data(), blocks, longMode);
    trx5test::WriteFile(path, b);
    b.resize(512 + blocks * 512);  // whole blocks only
    return trx5ref::DecodeTakeBytes(b, longMode);
}

// Column c over samples c*N/C up to (c+1)*N/C, at least the one at its start.
std::vector<EnvelopeColumn> DirectEnvelope(const Samples& s, std::size_t columns) {
    std::vector<EnvelopeColumn> out(columns);
    if (s.empty()) return out;
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t from = c * s.size() / columns;
        const std::size_t to = std::max((c + 1) * s.size() / columns, from + 1);
        const auto [lo, hi] = std::minmax_element(s.begin() + from, s.begin() + to);
        out[c] = {*lo, *hi};
    }
    return out;
}

void SetModificationTime(const std::string& path, std::int64_t seconds) {
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type(std::chrono::seconds(seconds)));
}

TEST(TakeEnvelope, PeaksOfEveryColumn) {
    TempDir dir;
    for (bool longMode : {false, true}) {
        const std::string path = dir / "00-00.aud";
        // 150 blocks: more than one decoding batch and not a multiple of it;
        // the partial block after them plays no part.
        const Samples decoded = WriteKnownTake(path, 150, longMode, 100);
        const std::size_t n = decoded.size();
        for (std::size_t columns :
             {std::size_t(1), std::size_t(7), std::size_t(640), n - 1, n, n + 1, 3 * n}) {
            SCOPED_TRACE(std::to_string(columns) + (longMode ? " long" : " hifi"));
            const auto envelope = trx5::TakeEnvelope(path, longMode, int(columns));
            ASSERT_TRUE(envelope.ok()) << envelope.Describe();
            EXPECT_EQ(envelope->blocks, 150u);
            EXPECT_EQ(envelope->lengthMs, trx5::TakeLengthMs(150, longMode));
            ASSERT_EQ(envelope->columns, DirectEnvelope(decoded, columns));
            if (columns > n) {
                // Each column shows the sample under it: none is blank.
                for (std::size_t c = 0; c < columns; ++c) {
                    const std::int16_t s = decoded[c * n / columns];
                    ASSERT_EQ(envelope->columns[c], (EnvelopeColumn{s, s})) << c;
                }
            }
        }
        // The burst shows in the column a third of the way in, at full size.
        const auto three = trx5::TakeEnvelope(path, longMode, 3);
        ASSERT_TRUE(three.ok());
        EXPECT_GT(three->columns[1].max, 25000);
        EXPECT_LT(three->columns[1].min, -25000);
        EXPECT_LT(three->columns[0].max, 3000);
    }
}

TEST(TakeEnvelope, TakeWithoutSamples) {
    TempDir dir;
    for (int extra : {0, 511}) {
        const std::string path = dir / "00-00.aud";
        WriteKnownTake(path, 0, false, extra);
        const auto envelope = trx5::TakeEnvelope(path, false, 10);
        ASSERT_TRUE(envelope.ok()) << envelope.Describe();
        EXPECT_EQ(envelope->blocks, 0u);
        EXPECT_EQ(envelope->lengthMs, 0u);
        EXPECT_EQ(envelope->columns, std::vector<EnvelopeColumn>(10));
    }
    const auto none = trx5::TakeEnvelope(dir / "00-00.aud", false, 0);
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->columns.empty());

    const auto missing = trx5::TakeEnvelope(dir / "gone.aud", false, 10);
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.message(), trx5::kMsgCannotOpen);
    EXPECT_EQ(missing.reason(), "No such file or directory");
}

// An unchanged file is answered from the cache with the same envelope; a
// change of size or modification time makes it read the file again.
TEST(EnvelopeCache, KeepsWhileTheFileIsUnchanged) {
    TempDir dir;
    const std::string path = dir / "00-00.aud";
    Samples decoded = WriteKnownTake(path, 20, false);
    SetModificationTime(path, 1'000'000'000);
    trx5::EnvelopeCache cache;

    const auto first = cache.Get(path, false, 50);
    ASSERT_TRUE(first.ok()) << first.Describe();
    EXPECT_EQ((*first)->columns, DirectEnvelope(decoded, 50));
    const auto again = cache.Get(path, false, 50);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(*again, *first);  // the same object
    EXPECT_EQ(cache.computations(), 1u);
    ASSERT_TRUE(cache.Get(path, false, 80).ok());  // another width is another picture
    EXPECT_EQ(cache.computations(), 2u);

    std::uint64_t computations = cache.computations();
    std::shared_ptr<const trx5::PeakEnvelope> previous = *first;
    auto expectReadAgain = [&](std::uint64_t blocks) {
        const auto after = cache.Get(path, false, 50);
        ASSERT_TRUE(after.ok());
        EXPECT_NE(*after, previous);
        previous = *after;
        EXPECT_EQ((*after)->blocks, blocks);
        EXPECT_EQ((*after)->columns, DirectEnvelope(decoded, 50));
        EXPECT_EQ(cache.computations(), ++computations);
        EXPECT_EQ(*cache.Get(path, false, 50), *after);
        EXPECT_EQ(cache.computations(), computations);
    };
    // A longer take with the old time: the size tells.
    decoded = WriteKnownTake(path, 25, false);
    SetModificationTime(path, 1'000'000'000);
    expectReadAgain(25);
    // Other samples of the same size, written in place: the time tells.
    Bytes bytes = trx5test::ReadFile(path);
    for (std::size_t at = 512; at < bytes.size(); at += 512) bytes[at] ^= 0x40;
    trx5test::WriteFile(path, bytes);
    decoded = trx5ref::DecodeTakeBytes(bytes, false);
    SetModificationTime(path, 1'000'000'100);
    expectReadAgain(25);

    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_FALSE(cache.Get(path, false, 50).ok());
    EXPECT_EQ(cache.size(), 1u);  // only the other width is left
}

TEST(EnvelopeCache, DropsTheLeastRecentlyUsed) {
    TempDir dir;
    const std::string a = dir / "00-00.aud", b = dir / "00-01.aud", c = dir / "00-02.aud";
    for (const std::string& path : {a, b, c}) WriteKnownTake(path, 2, true);
    trx5::EnvelopeCache cache(2);
    for (const std::string& path : {a, b, a, c}) ASSERT_TRUE(cache.Get(path, true, 4).ok());
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.computations(), 3u);
    ASSERT_TRUE(cache.Get(a, true, 4).ok());  // kept: used after b
    EXPECT_EQ(cache.computations(), 3u);
    ASSERT_TRUE(cache.Get(b, true, 4).ok());  // dropped for c
    EXPECT_EQ(cache.computations(), 4u);
}

}  // namespace
