#include "codec/take_codec.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace trx5 {

namespace {

constexpr std::array<std::int16_t, 128> kPositiveSteps = {
    0,    1,    2,    5,    9,    14,   19,   0,    24,   29,   34,   40,   45,   51,   57,   62,
    68,   75,   81,   87,   94,   100,  107,  114,  120,  127,  134,  141,  148,  155,  163,  170,
    177,  185,  192,  200,  208,  215,  223,  231,  239,  246,  254,  262,  271,  279,  288,  297,
    306,  316,  325,  336,  346,  357,  368,  380,  391,  404,  416,  429,  443,  457,  471,  486,
    501,  516,  533,  549,  566,  584,  602,  621,  640,  660,  681,  702,  724,  747,  770,  794,
    819,  845,  871,  898,  926,  955,  985,  1016, 1048, 1081, 1115, 1151, 1188, 1226, 1266, 1308,
    1351, 1397, 1444, 1493, 1544, 1598, 1653, 1712, 1773, 1836, 1903, 1972, 2045, 2121, 2204, 2297,
    2402, 2520, 2654, 2810, 2991, 3207, 3468, 3792, 4206, 4732, 5324, 5989, 6738, 7580, 8527, 9551,
};

constexpr std::array<std::int16_t, 256> MakeDeltaTable() {
    std::array<std::int16_t, 256> table{};
    for (int c = 0; c < 128; ++c) {
        table[c] = kPositiveSteps[c];
        table[255 - c] = static_cast<std::int16_t>(-kPositiveSteps[c]);
    }
    return table;
}

// Lower bound of the differences each positive code stands for; codes 0 and
// 7 never occur here (7 is the encoder's zero code).
struct CodeBound {
    std::uint8_t code;
    std::int32_t bound;
};
constexpr CodeBound kCodeBounds[] = {
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
    {121, 4462}, {122, 5020}, {123, 5647}, {124, 6353}, {125, 7147}, {126, 8040}, {127, 9025},
};

std::array<std::uint8_t, 65536> MakeQuantizeTable() {
    std::array<std::uint8_t, 65536> table{};
    std::array<std::uint8_t, 32768> positive{};  // code of each d in 1..32767
    std::size_t next = 0;
    std::uint8_t code = 0;
    for (std::int32_t d = 1; d <= 32767; ++d) {
        while (next < std::size(kCodeBounds) && kCodeBounds[next].bound <= d) {
            code = kCodeBounds[next++].code;
        }
        positive[d] = code;
    }
    table[0] = 7;
    for (std::int32_t d = 1; d <= 32767; ++d) {
        table[static_cast<std::uint16_t>(d)] = positive[d];
        table[static_cast<std::uint16_t>(-d)] = static_cast<std::uint8_t>(255 - positive[d]);
    }
    table[0x8000] = 128;
    return table;
}

inline std::int32_t StepFrom(std::int32_t p, std::uint8_t code) {
    return std::clamp<std::int32_t>(p + DeltaTable[code], -32768, 32767);
}

// The code for the step from p towards sample s. A difference beyond the
// 16-bit range (a jump of more than half the full scale) is taken as the
// largest difference of its sign, so the encoder moves towards the sample; a
// difference wrapped to 16 bits would point the other way and leave the
// reconstruction stuck at the opposite limit.
//
// The encoder looks the code up in a table over every difference of two
// 16-bit values, -65535..65535, with that rule built in, so the clamp stays
// off the dependency chain. `q` points at the entry of difference 0.
const std::uint8_t* DifferenceCodes();

inline std::uint8_t CodeFor(const std::uint8_t* q, std::int32_t s, std::int32_t p) {
    return q[s - p];
}

constexpr std::int32_t kLargestStep = 9551;

__attribute__((target_clones("avx2", "default"))) bool RunLeftRange(const std::int16_t* out,
                                                                    int count, std::int16_t start) {
    if (count == 0) return false;
    std::int32_t largest = std::abs(out[0] - start);
    for (int i = 1; i < count; ++i) {
        largest = std::max(largest, std::abs(out[i] - out[i - 1]));
    }
    return largest > kLargestStep;
}

inline std::int16_t ReadStart(const std::uint8_t* b) {
    return static_cast<std::int16_t>((b[0] << 8) | b[1]);
}

inline void WriteStart(std::uint8_t* b, std::int16_t s) {
    const auto u = static_cast<std::uint16_t>(s);
    b[0] = static_cast<std::uint8_t>(u >> 8);
    b[1] = static_cast<std::uint8_t>(u & 0xFF);
}

// Decodes one run. The running value almost never reaches the 16-bit limits,
// and while it stays within them the clamp changes nothing, so the run is
// first decoded as a plain sum (one addition per sample on the dependency
// chain) and only decoded again with the clamp when the sum left the range.
// Neighbouring samples of an in-range run differ by one step, at most 9551;
// a sum that left the range shows up in the 16-bit output as a jump of at
// least 65536 - 9551, so one vectorisable pass over the output tells.
void DecodeRunChecked(const std::uint8_t* codes, std::int16_t* out, int count, std::int16_t start) {
    std::int32_t acc = start;
#pragma GCC unroll 8
    for (int i = 0; i < count; ++i) {
        acc += DeltaTable[codes[i]];
        out[i] = static_cast<std::int16_t>(acc);
    }
    if (!RunLeftRange(out, count, start)) return;
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) {
        p = StepFrom(p, codes[i]);
        out[i] = static_cast<std::int16_t>(p);
    }
}

// Runs of equal length coded side by side. The running value of each run is
// a dependency chain of its own; interleaving W of them lets the processor
// work on all W at once instead of waiting on one chain.
template <int W>
void EncodeRuns(std::uint8_t* const* codes, const std::int16_t* const* in, int count,
                const std::int16_t* start) {
    const std::uint8_t* q = DifferenceCodes();
    std::int32_t p[W];
    for (int w = 0; w < W; ++w) p[w] = start[w];
    for (int i = 0; i < count; ++i) {
        for (int w = 0; w < W; ++w) {
            const std::uint8_t c = CodeFor(q, in[w][i], p[w]);
            codes[w][i] = c;
            p[w] = StepFrom(p[w], c);
        }
    }
}

// One run of a block: where its codes lie and where its samples go.
struct RunRef {
    std::uint8_t* codes;
    std::int16_t* samples;
    std::int16_t start;
};

constexpr int kStreams = 8;

// Splits `count` blocks into their runs (one per HiFi block, two per LONG
// block) and hands them to `work` in groups of up to kStreams.
template <typename Block, typename Sample, typename Work>
void ForEachRunGroup(Block* blocks, Sample* samples, std::size_t count, bool longMode,
                     Work&& work) {
    const int spb = SamplesPerBlock(longMode);
    const int runLength = longMode ? 254 : 508;
    const std::size_t runs = longMode ? count * 2 : count;
    for (std::size_t first = 0; first < runs; first += kStreams) {
        const int n = static_cast<int>(std::min<std::size_t>(kStreams, runs - first));
        std::uint8_t* codes[kStreams];
        std::int16_t* out[kStreams];
        std::size_t startIndex[kStreams];
        for (int w = 0; w < n; ++w) {
            const std::size_t run = first + w;
            const std::size_t block = longMode ? run / 2 : run;
            const int half = longMode ? static_cast<int>(run % 2) : 0;
            auto* b = const_cast<std::uint8_t*>(blocks + block * 512);
            auto* s = const_cast<std::int16_t*>(samples + block * spb);
            codes[w] = b + 2 + half * 256;
            out[w] = s + 1 + half * 255;
            startIndex[w] = block * 512 + half * 256;
        }
        work(codes, out, startIndex, n, runLength);
    }
}

template <typename F>
void Dispatch(int n, F&& f) {
    switch (n) {
        case 8:
            f.template operator()<8>();
            break;
        case 7:
            f.template operator()<7>();
            break;
        case 6:
            f.template operator()<6>();
            break;
        case 5:
            f.template operator()<5>();
            break;
        case 4:
            f.template operator()<4>();
            break;
        case 3:
            f.template operator()<3>();
            break;
        case 2:
            f.template operator()<2>();
            break;
        default:
            f.template operator()<1>();
            break;
    }
}

}  // namespace

const std::array<std::int16_t, 256> DeltaTable = MakeDeltaTable();

const std::array<std::uint8_t, 65536>& QuantizeTable() {
    static const std::array<std::uint8_t, 65536> table = MakeQuantizeTable();
    return table;
}

namespace {

const std::uint8_t* DifferenceCodes() {
    static const std::vector<std::uint8_t> table = [] {
        const auto& q = QuantizeTable();
        std::vector<std::uint8_t> codes(2 * 65535 + 1);
        for (std::int32_t d = -65535; d <= 65535; ++d) {
            codes[d + 65535] = q[static_cast<std::uint16_t>(std::clamp(d, -32768, 32767))];
        }
        return codes;
    }();
    return table.data() + 65535;
}

}  // namespace

void DecodeRun(const std::uint8_t* codes, std::int16_t* samples, int count, std::int16_t start) {
    DecodeRunChecked(codes, samples, count, start);
}

std::int16_t EncodeRun(std::uint8_t* codes, const std::int16_t* samples, int count,
                       std::int16_t start) {
    const std::uint8_t* q = DifferenceCodes();
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t c = CodeFor(q, samples[i], p);
        codes[i] = c;
        p = StepFrom(p, c);
    }
    return static_cast<std::int16_t>(p);
}

void DecodeTakeBlock(const std::uint8_t* block, std::int16_t* samples, bool longMode) {
    DecodeTakeBlocks(block, samples, 1, longMode);
}

void EncodeTakeBlock(std::uint8_t* block, const std::int16_t* samples, bool longMode) {
    EncodeTakeBlocks(block, samples, 1, longMode);
}

void DecodeTakeBlocks(const std::uint8_t* blocks, std::int16_t* samples, std::size_t count,
                      bool longMode) {
    ForEachRunGroup(blocks, samples, count, longMode,
                    [&](std::uint8_t** codes, std::int16_t** out, const std::size_t* startIndex,
                        int n, int length) {
                        std::int16_t start[kStreams];
                        for (int w = 0; w < n; ++w) {
                            start[w] = ReadStart(blocks + startIndex[w]);
                            out[w][-1] = start[w];  // the stored sample itself
                        }
                        for (int w = 0; w < n; ++w) {
                            DecodeRunChecked(codes[w], out[w], length, start[w]);
                        }
                    });
}

void EncodeTakeBlocks(std::uint8_t* blocks, const std::int16_t* samples, std::size_t count,
                      bool longMode) {
    ForEachRunGroup(blocks, samples, count, longMode,
                    [&](std::uint8_t** codes, std::int16_t** in, const std::size_t* startIndex,
                        int n, int length) {
                        std::int16_t start[kStreams];
                        for (int w = 0; w < n; ++w) {
                            // Every run starts from its own input sample, stored exactly,
                            // so blocks and LONG halves decode independently.
                            start[w] = in[w][-1];
                            WriteStart(blocks + startIndex[w], start[w]);
                        }
                        Dispatch(n, [&]<int W>() { EncodeRuns<W>(codes, in, length, start); });
                    });
    if (!longMode) {
        for (std::size_t b = 0; b < count; ++b) {
            blocks[b * 512 + 510] = 0;
            blocks[b * 512 + 511] = 0;
        }
    }
}

}  // namespace trx5
