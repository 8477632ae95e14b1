#include "support/reference_codec.h"

#include <algorithm>
#include <cstring>

namespace trx5ref {

namespace {

// The steps of codes 0 to 127; codes 128 to 255 mirror them negated.
constexpr std::int32_t kSteps[128] = {
    0,    1,    2,    5,    9,    14,   19,   0,    24,   29,   34,   40,   45,   51,   57,   62,
    68,   75,   81,   87,   94,   100,  107,  114,  120,  127,  134,  141,  148,  155,  163,  170,
    177,  185,  192,  200,  208,  215,  223,  231,  239,  246,  254,  262,  271,  279,  288,  297,
    306,  316,  325,  336,  346,  357,  368,  380,  391,  404,  416,  429,  443,  457,  471,  486,
    501,  516,  533,  549,  566,  584,  602,  621,  640,  660,  681,  702,  724,  747,  770,  794,
    819,  845,  871,  898,  926,  955,  985,  1016, 1048, 1081, 1115, 1151, 1188, 1226, 1266, 1308,
    1351, 1397, 1444, 1493, 1544, 1598, 1653, 1712, 1773, 1836, 1903, 1972, 2045, 2121, 2204, 2297,
    2402, 2520, 2654, 2810, 2991, 3207, 3468, 3792, 4206, 4732, 5324, 5989, 6738, 7580, 8527, 9551};

// The lower bound of the differences each code stands for, codes 1 to 127
// (code 7 is the zero step and has none; code 0 is never emitted).
struct Bound {
    std::uint8_t code;
    std::int32_t from;
};
constexpr Bound kBounds[] = {
    {1, 1},      {2, 2},      {3, 4},      {4, 7},      {5, 11},     {6, 16},     {8, 22},
    {9, 27},     {10, 32},    {11, 37},    {12, 43},    {13, 48},    {14, 54},    {15, 60},
    {16, 66},    {17, 72},    {18, 78},    {19, 84},    {20, 91},    {21, 97},    {22, 104},
    {23, 111},   {24, 117},   {25, 124},   {26, 131},   {27, 138},   {28, 145},   {29, 152},
    {30, 160},   {31, 167},   {32, 174},   {33, 182},   {34, 189},   {35, 197},   {36, 204},
    {37, 212},   {38, 220},   {39, 227},   {40, 235},   {41, 243},   {42, 251},   {43, 259},
    {44, 267},   {45, 275},   {46, 284},   {47, 293},   {48, 302},   {49, 311},   {50, 321},
    {51, 331},   {52, 341},   {53, 352},   {54, 363},   {55, 374},   {56, 386},   {57, 398},
    {58, 410},   {59, 423},   {60, 436},   {61, 450},   {62, 464},   {63, 479},   {64, 494},
    {65, 509},   {66, 525},   {67, 541},   {68, 558},   {69, 576},   {70, 594},   {71, 612},
    {72, 631},   {73, 651},   {74, 671},   {75, 692},   {76, 714},   {77, 736},   {78, 759},
    {79, 783},   {80, 807},   {81, 832},   {82, 858},   {83, 885},   {84, 913},   {85, 941},
    {86, 971},   {87, 1001},  {88, 1032},  {89, 1065},  {90, 1098},  {91, 1133},  {92, 1169},
    {93, 1207},  {94, 1246},  {95, 1287},  {96, 1330},  {97, 1374},  {98, 1420},  {99, 1469},
    {100, 1519}, {101, 1571}, {102, 1626}, {103, 1683}, {104, 1742}, {105, 1805}, {106, 1870},
    {107, 1937}, {108, 2008}, {109, 2083}, {110, 2162}, {111, 2251}, {112, 2350}, {113, 2461},
    {114, 2587}, {115, 2731}, {116, 2900}, {117, 3098}, {118, 3336}, {119, 3627}, {120, 3994},
    {121, 4462}, {122, 5020}, {123, 5647}, {124, 6353}, {125, 7147}, {126, 8040}, {127, 9025}};

// Level gains by knob position 0-127 and pan gains by position 0-100, Q13.
constexpr std::int32_t kLevelGains[128] = {
    0,     8,     13,    21,    33,    52,    82,    95,    109,   126,   146,   168,   194,
    224,   259,   274,   289,   305,   323,   341,   360,   380,   402,   424,   448,   473,
    500,   528,   558,   590,   623,   658,   695,   734,   775,   819,   858,   898,   941,
    985,   1031,  1080,  1131,  1184,  1240,  1298,  1360,  1424,  1491,  1561,  1635,  1712,
    1792,  1877,  1965,  2058,  2155,  2256,  2363,  2474,  2591,  2666,  2744,  2824,  2907,
    2992,  3079,  3169,  3261,  3357,  3455,  3555,  3659,  3766,  3876,  3989,  4106,  4226,
    4349,  4476,  4607,  4741,  4880,  5022,  5169,  5320,  5475,  5635,  5799,  5969,  6143,
    6323,  6507,  6697,  6893,  7094,  7301,  7514,  7734,  7960,  8192,  8606,  9042,  9499,
    9979,  10484, 11014, 11572, 12157, 12772, 13418, 14096, 14809, 15558, 16345, 17172, 18040,
    18953, 19912, 20919, 21977, 23088, 24456, 25905, 27440, 29066, 30789, 32613};
constexpr std::int32_t kPanGains[101] = {
    11572, 11504, 11436, 11369, 11301, 11234, 11166, 11098, 11031, 10963, 10896, 10828, 10760,
    10693, 10625, 10558, 10490, 10422, 10355, 10287, 10220, 10152, 10085, 10017, 9949,  9882,
    9814,  9747,  9679,  9611,  9544,  9476,  9409,  9341,  9273,  9206,  9138,  9071,  9003,
    8935,  8868,  8800,  8733,  8665,  8598,  8530,  8462,  8395,  8327,  8260,  8192,  8028,
    7864,  7700,  7537,  7373,  7209,  7045,  6881,  6717,  6554,  6390,  6226,  6062,  5898,
    5734,  5571,  5407,  5243,  5079,  4915,  4751,  4588,  4424,  4260,  4096,  3932,  3768,
    3604,  3441,  3277,  3113,  2949,  2785,  2621,  2458,  2294,  2130,  1966,  1802,  1638,
    1475,  1311,  1147,  983,   819,   461,   259,   146,   82,    0};

std::int16_t StartSample(const std::uint8_t* at) { return std::int16_t((at[0] << 8) | at[1]); }

void PutStartSample(std::uint8_t* at, std::int16_t sample) {
    at[0] = std::uint8_t(std::uint16_t(sample) >> 8);
    at[1] = std::uint8_t(sample);
}

void DecodeRun(const std::uint8_t* codes, std::int16_t* out, int count, std::int16_t start) {
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) out[i] = std::int16_t(p = Clamp16(p + Step(codes[i])));
}

void EncodeRun(std::uint8_t* codes, const std::int16_t* in, int count, std::int16_t start) {
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) {
        // A difference beyond the 16-bit range is coded as the largest step
        // towards the sample (wrapped, it would point the other way).
        const std::int32_t d = std::clamp<std::int32_t>(in[i] - p, -32768, 32767);
        codes[i] = Quantize(d);
        p = Clamp16(p + Step(codes[i]));
    }
}

}  // namespace

std::int16_t Clamp16(std::int32_t value) {
    return std::int16_t(std::clamp<std::int32_t>(value, -32768, 32767));
}

std::int32_t Step(std::uint8_t code) { return code < 128 ? kSteps[code] : -kSteps[255 - code]; }

std::uint8_t Quantize(std::int32_t d) {
    if (d == 0) return 7;
    if (d == -32768) return 128;
    const std::int32_t magnitude = d < 0 ? -d : d;
    std::uint8_t code = 0;
    for (const Bound& bound : kBounds) {
        if (bound.from <= magnitude) code = bound.code;
    }
    return d < 0 ? std::uint8_t(255 - code) : code;
}

Samples DecodeBlock(const std::uint8_t* block, bool longMode) {
    Samples s(longMode ? 510 : 509);
    s[0] = StartSample(block);
    if (!longMode) {
        DecodeRun(block + 2, &s[1], 508, s[0]);
    } else {
        DecodeRun(block + 2, &s[1], 254, s[0]);
        s[255] = StartSample(block + 256);
        DecodeRun(block + 258, &s[256], 254, s[255]);
    }
    return s;
}

Block EncodeBlock(const std::int16_t* samples, bool longMode) {
    Block b{};
    PutStartSample(&b[0], samples[0]);
    if (!longMode) {
        EncodeRun(&b[2], &samples[1], 508, samples[0]);
    } else {
        EncodeRun(&b[2], &samples[1], 254, samples[0]);
        PutStartSample(&b[256], samples[255]);
        EncodeRun(&b[258], &samples[256], 254, samples[255]);
    }
    return b;
}

Samples DecodeTakeBytes(const std::vector<std::uint8_t>& file, bool longMode) {
    Samples out;
    for (std::size_t at = 512; at < file.size(); at += 512) {
        std::uint8_t block[512] = {};
        std::memcpy(block, file.data() + at, std::min<std::size_t>(512, file.size() - at));
        const Samples s = DecodeBlock(block, longMode);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

std::vector<std::uint8_t> EncodeTake(const Samples& samples, bool longMode) {
    std::vector<std::uint8_t> file(512, 0);
    file[0] = longMode ? 1 : 0;
    std::memcpy(&file[16], "QORV1D2ZZ7AUD", 13);
    std::memcpy(&file[32],
                "1.00"
                "0001"
                "CMGR",
                12);
    const std::size_t spb = longMode ? 510 : 509;
    Samples padded = samples;
    padded.resize((samples.size() + spb - 1) / spb * spb, 0);
    for (std::size_t at = 0; at < padded.size(); at += spb) {
        const Block b = EncodeBlock(&padded[at], longMode);
        file.insert(file.end(), b.begin(), b.end());
    }
    return file;
}

void MixTrack(std::int16_t* stereo, const std::int16_t* samples, std::size_t count, int level,
              int pan) {
    auto clamp = [](std::int32_t v) { return std::int16_t(std::clamp(v, -32767, 32767)); };
    for (std::size_t i = 0; i < count; ++i) {
        // >> on a negative value rounds toward minus infinity.
        const std::int32_t c = (kLevelGains[level] * samples[i]) >> 13;
        stereo[2 * i] = clamp(stereo[2 * i] + ((kPanGains[pan] * c) >> 13));
        stereo[2 * i + 1] = clamp(stereo[2 * i + 1] + ((kPanGains[100 - pan] * c) >> 13));
    }
}

Samples MixTracks(const std::vector<Track>& tracks, std::size_t samplesPerBlock) {
    std::size_t blocks = 0;
    for (const Track& t : tracks) blocks = std::max(blocks, t.samples.size() / samplesPerBlock);
    Samples mix(blocks * samplesPerBlock * 2, 0);
    for (std::size_t b = 0; b < blocks; ++b) {
        for (const Track& t : tracks) {
            if (t.samples.size() < (b + 1) * samplesPerBlock) continue;
            MixTrack(&mix[b * samplesPerBlock * 2], &t.samples[b * samplesPerBlock],
                     samplesPerBlock, t.level, t.pan);
        }
    }
    return mix;
}

}  // namespace trx5ref
