#include "codec/track_mix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "support/reference_codec.h"

#include "support/reference_codec.h"

namespace {

using Samples = std::vector<std::int16_t>;

// Mixes single-sample tracks {sample, level, pan} into a cleared frame.
std::pair<int, int> MixOne(std::initializer_list<std::array<int, 3>> tracks) {
    std::int16_t frame[2] = {0, 0};
    for (const auto& t : tracks) {
        const auto s = static_cast<std::int16_t>(t[0]);
        trx5::MixTrackBlock(frame, &s, 1, t[1], t[2]);
    }
    return {frame[0], frame[1]};
}

TEST(GainTables, PublishedValues) {
    const auto& v = trx5::VolumeGainTable;
    const auto& p = trx5::PanGainTable;
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[100], 8192);
    EXPECT_EQ(v[127], 32613);
    EXPECT_EQ(p[0], 11572);
    EXPECT_EQ(p[50], 8192);
    EXPECT_EQ(p[100], 0);
    long vs = 0, vw = 0, ps = 0, pw = 0;
    for (int i = 0; i <= 127; ++i) {
        if (i > 0) {
            EXPECT_GT(v[i], v[i - 1]) << i;
        }
        vs += v[i];
        vw += long(i) * v[i];
    }
    for (int i = 0; i <= 100; ++i) {
        if (i > 0) {
            EXPECT_LT(p[i], p[i - 1]) << i;
        }
        ps += p[i];
        pw += long(i) * p[i];
    }
    // Sums over the published tables: catch a mistyped or misplaced entry.
    EXPECT_EQ(vs, 728501);
    EXPECT_EQ(vw, 75036365);
    EXPECT_EQ(ps, 703983);
    EXPECT_EQ(pw, 25232387);
}

TEST(TrackMix, UnityAndCentreKeepSamples) {
    for (int s : {-32767, -12345, -1, 0, 1, 4097, 32767}) {
        EXPECT_EQ(MixOne({{s, 100, 50}}), std::make_pair(s, s)) << s;
    }
    // The negative limit of the mix is -32767.
    EXPECT_EQ(MixOne({{-32768, 100, 50}}), std::make_pair(-32767, -32767));
}

TEST(TrackMix, PanLevelAndRounding) {
    struct Case {
        int s, level, pan, left, right;
    };
    const Case cases[] = {
        // Hard left: 11572/8192 on the left, nothing on the right; the shift
        // rounds towards minus infinity.
        {1000, 100, 0, 1412, 0},        {-1000, 100, 0, -1413, 0}, {-1, 100, 0, -2, 0},
        {1000, 100, 100, 0, 1412},      {30000, 100, 0, 32767, 0}, {-30000, 100, 0, -32767, 0},
        {32767, 0, 50, 0, 0},           {-32768, 0, 0, 0, 0},      {8192, 127, 50, 32613, 32613},
        {10000, 127, 50, 32767, 32767}, {-1, 1, 50, -1, -1},  // (8 * -1) >> 13 is -1, not 0
        {5000, 60, 25, 1907, 790},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MixOne({{c.s, c.level, c.pan}}), std::make_pair(c.left, c.right))
            << c.s << " level " << c.level << " pan " << c.pan;
    }
}

TEST(TrackMix, EveryAdditionIsClampedInTrackOrder) {
    EXPECT_EQ(MixOne({{30000, 100, 50}, {30000, 100, 50}, {-30000, 100, 50}}),
              std::make_pair(2767, 2767));
    EXPECT_EQ(MixOne({{-30000, 100, 50}, {30000, 100, 50}, {30000, 100, 50}}),
              std::make_pair(30000, 30000));
    EXPECT_EQ(MixOne({{32767, 100, 50}, {32767, 100, 50}, {32767, 100, 50}, {32767, 100, 50}}),
              std::make_pair(32767, 32767));
    EXPECT_EQ(MixOne({{-32768, 100, 50}, {-32768, 100, 50}, {-32768, 100, 50}, {-32768, 100, 50}}),
              std::make_pair(-32767, -32767));
}

TEST(TrackMix, AddsIntoTheWholeBlock) {
    const int n = 509;
    Samples s(n);
    for (int i = 0; i < n; ++i) s[i] = std::int16_t(i * 64 - 16000);
    Samples stereo(2 * n, 100);
    trx5::MixTrackBlock(stereo.data(), s.data(), n, 100, 100);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(stereo[2 * i], 100) << i;
        ASSERT_EQ(stereo[2 * i + 1], 100 + ((11572 * s[i]) >> 13)) << i;
    }
}

// MixTrackBlock track by track and MixBlock in one pass both give the mix
// that the published gain tables make, saturation included.
TEST(TrackMix, MixBlockEqualsTrackByTrack) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        const int n = round % 2 ? 509 : 510;
        const int tracks = round % 6;  // 0 to 5
        std::vector<Samples> samples(tracks, Samples(n));
        std::vector<trx5::MixInput> inputs;
        for (int k = 0; k < tracks; ++k) {
            for (auto& v : samples[k]) {
                const int r = rng() % 10;
                v = r == 0 ? -32768 : r == 1 ? 32767 : std::int16_t(rng());
            }
            const int level = round < 20 ? 127 : int(rng() % 128);
            const int pan = round < 20 ? (k % 2 ? 0 : 100) : int(rng() % 101);
            inputs.push_back({samples[k].data(), level, pan});
        }
        Samples expected(2 * n, 0);
        Samples byTrack(2 * n, 0);
        for (const auto& in : inputs) {
            trx5ref::MixTrack(expected.data(), in.samples, std::size_t(n), in.level, in.pan);
            trx5::MixTrackBlock(byTrack.data(), in.samples, n, in.level, in.pan);
        }
        ASSERT_EQ(byTrack, expected) << "round " << round << " with " << tracks << " tracks";
        Samples got(2 * n, 1234);
        trx5::MixBlock(got.data(), inputs.data(), tracks, n);
        ASSERT_EQ(got, expected) << "round " << round << " with " << tracks << " tracks";
    }
}

}  // namespace
