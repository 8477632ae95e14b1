#include "codec/track_mix.h"

#include <algorithm>

namespace trx5 {

const std::array<std::uint16_t, kMaxLevel + 1> VolumeGainTable = {
    0,     8,     13,    21,    33,    52,    82,    95,    109,   126,   146,   168,   194,
    224,   259,   274,   289,   305,   323,   341,   360,   380,   402,   424,   448,   473,
    500,   528,   558,   590,   623,   658,   695,   734,   775,   819,   858,   898,   941,
    985,   1031,  1080,  1131,  1184,  1240,  1298,  1360,  1424,  1491,  1561,  1635,  1712,
    1792,  1877,  1965,  2058,  2155,  2256,  2363,  2474,  2591,  2666,  2744,  2824,  2907,
    2992,  3079,  3169,  3261,  3357,  3455,  3555,  3659,  3766,  3876,  3989,  4106,  4226,
    4349,  4476,  4607,  4741,  4880,  5022,  5169,  5320,  5475,  5635,  5799,  5969,  6143,
    6323,  6507,  6697,  6893,  7094,  7301,  7514,  7734,  7960,  8192,  8606,  9042,  9499,
    9979,  10484, 11014, 11572, 12157, 12772, 13418, 14096, 14809, 15558, 16345, 17172, 18040,
    18953, 19912, 20919, 21977, 23088, 24456, 25905, 27440, 29066, 30789, 32613,
};

const std::array<std::uint16_t, kMaxPan + 1> PanGainTable = {
    11572, 11504, 11436, 11369, 11301, 11234, 11166, 11098, 11031, 10963, 10896, 10828, 10760,
    10693, 10625, 10558, 10490, 10422, 10355, 10287, 10220, 10152, 10085, 10017, 9949,  9882,
    9814,  9747,  9679,  9611,  9544,  9476,  9409,  9341,  9273,  9206,  9138,  9071,  9003,
    8935,  8868,  8800,  8733,  8665,  8598,  8530,  8462,  8395,  8327,  8260,  8192,  8028,
    7864,  7700,  7537,  7373,  7209,  7045,  6881,  6717,  6554,  6390,  6226,  6062,  5898,
    5734,  5571,  5407,  5243,  5079,  4915,  4751,  4588,  4424,  4260,  4096,  3932,  3768,
    3604,  3441,  3277,  3113,  2949,  2785,  2621,  2458,  2294,  2130,  1966,  1802,  1638,
    1475,  1311,  1147,  983,   819,   461,   259,   146,   82,    0,
};

namespace {

struct Gains {
    std::int32_t volume, left, right;
};

Gains GainsOf(int v, int p) {
    v = std::clamp(v, 0, kMaxLevel);
    p = std::clamp(p, 0, kMaxPan);
    return {VolumeGainTable[v], PanGainTable[p], PanGainTable[kMaxPan - p]};
}

// Q13 scaling; >> on a negative value is an arithmetic shift (rounds toward
// minus infinity) in C++20.
inline std::int32_t Scaled(std::int32_t gain, std::int32_t x) { return (gain * x) >> 13; }

// Each side is held within -32767..32767 after every track's addition.
inline std::int16_t Added(std::int32_t side, std::int32_t add) {
    return static_cast<std::int16_t>(std::clamp(side + add, -32767, 32767));
}

}  // namespace

// 32-bit multiplies vectorise well only from AVX2 on; the loader picks the
// AVX2 build of the loop where the processor has it.
__attribute__((target_clones("avx2", "default"))) void MixTrackBlock(std::int16_t* stereo,
                                                                     const std::int16_t* s, int n,
                                                                     int v, int p) {
    const Gains g = GainsOf(v, p);
    for (int i = 0; i < n; ++i) {
        const std::int32_t c = Scaled(g.volume, s[i]);
        stereo[2 * i] = Added(stereo[2 * i], Scaled(g.left, c));
        stereo[2 * i + 1] = Added(stereo[2 * i + 1], Scaled(g.right, c));
    }
}

namespace {

// Inlined so that it is built for each instruction set MixBlock is.
template <int K>
[[gnu::always_inline]] inline void MixTracks(std::int16_t* stereo, const MixInput* tracks, int n) {
    Gains g[K];
    const std::int16_t* s[K];
    for (int k = 0; k < K; ++k) {
        g[k] = GainsOf(tracks[k].level, tracks[k].pan);
        s[k] = tracks[k].samples;
    }
    for (int i = 0; i < n; ++i) {
        std::int32_t l = 0;
        std::int32_t r = 0;
        for (int k = 0; k < K; ++k) {
            const std::int32_t c = Scaled(g[k].volume, s[k][i]);
            l = Added(l, Scaled(g[k].left, c));
            r = Added(r, Scaled(g[k].right, c));
        }
        stereo[2 * i] = static_cast<std::int16_t>(l);
        stereo[2 * i + 1] = static_cast<std::int16_t>(r);
    }
}

}  // namespace

__attribute__((target_clones("avx2", "default"))) void MixBlock(std::int16_t* stereo,
                                                                const MixInput* tracks,
                                                                int trackCount, int n) {
    switch (trackCount) {
        case 0:
            std::fill(stereo, stereo + 2 * n, 0);
            break;
        case 1:
            MixTracks<1>(stereo, tracks, n);
            break;
        case 2:
            MixTracks<2>(stereo, tracks, n);
            break;
        case 3:
            MixTracks<3>(stereo, tracks, n);
            break;
        default:
            MixTracks<4>(stereo, tracks, n);
            for (int k = 4; k < trackCount; ++k) {
                MixTrackBlock(stereo, tracks[k].samples, n, tracks[k].level, tracks[k].pan);
            }
            break;
    }
}

}  // namespace trx5
