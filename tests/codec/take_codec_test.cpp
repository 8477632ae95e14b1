#include "codec/take_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "support/reference_codec.h"

namespace {

using Block = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

const std::uint8_t* Q() { return trx5::QuantizeTable().data(); }
std::uint8_t CodeOf(int d) { return Q()[static_cast<std::uint16_t>(d)]; }

// The decoder and encoder written out plainly from the published tables:
// what the optimised block functions must reproduce.
void RefDecodeRun(const std::uint8_t* codes, std::int16_t* out, int count, std::int16_t start) {
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) out[i] = p = trx5ref::Clamp16(p + trx5ref::Step(codes[i]));
}

void RefEncodeRun(std::uint8_t* codes, const std::int16_t* in, int count, std::int16_t start) {
    std::int32_t p = start;
    for (int i = 0; i < count; ++i) {
        // A difference beyond the 16-bit range is coded as the largest step
        // towards the sample.
        codes[i] = trx5ref::Quantize(std::clamp(in[i] - p, -32768, 32767));
        p = trx5ref::Clamp16(p + trx5ref::Step(codes[i]));
    }
}

std::int16_t Start(const std::uint8_t* b) { return std::int16_t((b[0] << 8) | b[1]); }
void PutStart(std::uint8_t* b, std::int16_t s) {
    b[0] = std::uint8_t(std::uint16_t(s) >> 8);
    b[1] = std::uint8_t(s);
}

Samples RefDecodeBlock(const std::uint8_t* b, bool longMode) {
    return trx5ref::DecodeBlock(b, longMode);
}

Block RefEncodeBlock(const std::int16_t* s, bool longMode) {
    const trx5ref::Block b = trx5ref::EncodeBlock(s, longMode);
    return Block(b.begin(), b.end());
}

Samples Decode(const Block& b, bool longMode) {
    Samples s(trx5::SamplesPerBlock(longMode));
    trx5::DecodeTakeBlock(b.data(), s.data(), longMode);
    return s;
}

Block Encode(const Samples& s, bool longMode) {
    Block b(512, 0xAA);
    trx5::EncodeTakeBlock(b.data(), s.data(), longMode);
    return b;
}

TEST(DeltaTable, StepsAndMirror) {
    const auto& t = trx5::DeltaTable;
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[7], 0);
    EXPECT_EQ(t[248], 0);
    EXPECT_EQ(t[255], 0);
    EXPECT_EQ(t[1], 1);
    EXPECT_EQ(t[5], 14);
    EXPECT_EQ(t[6], 19);
    EXPECT_EQ(t[8], 24);
    EXPECT_EQ(t[126], 8527);
    EXPECT_EQ(t[127], 9551);
    EXPECT_EQ(t[128], -9551);
    EXPECT_EQ(t[254], -1);
    long sum = 0;
    long weighted = 0;
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(t[255 - c], -t[c]) << "code " << c;
        EXPECT_GE(t[c], 0) << "code " << c;
        if (c > 8) {
            EXPECT_GT(t[c], t[c - 1]) << "code " << c;
        }
        sum += t[c];
        weighted += long(c) * t[c];
    }
    // Sums over the published steps: catch a mistyped or misplaced entry.
    EXPECT_EQ(sum, 143996);
    EXPECT_EQ(weighted, 15010257);
}

TEST(QuantizeTable, FixedPoints) {
    struct Case {
        int d;
        int code;
    };
    const Case cases[] = {
        {0, 7},     {1, 1},      {2, 2},       {3, 2},        {4, 3},
        {6, 3},     {7, 4},      {10, 4},      {11, 5},  // not the nearer step 9
        {15, 5},    {16, 6},     {21, 6},      {22, 8},       {493, 63},
        {494, 64},  {9024, 126}, {9025, 127},  {32767, 127},  {-1, 254},
        {-11, 250}, {-22, 247},  {-9025, 128}, {-32767, 128}, {-32768, 128},
    };
    for (const Case& c : cases) EXPECT_EQ(CodeOf(c.d), c.code) << "difference " << c.d;
}

TEST(QuantizeTable, BoundsAndSymmetry) {
    // Lower bound of every positive code: the smallest difference mapping to it.
    std::vector<int> bound(128, -1);
    int previous = 0;
    for (int d = 1; d <= 32767; ++d) {
        const int c = CodeOf(d);
        ASSERT_GE(c, 1) << d;
        ASSERT_LE(c, 127) << d;
        ASSERT_NE(c, 7) << d;
        ASSERT_GE(trx5::DeltaTable[c], trx5::DeltaTable[previous]) << "not monotone at " << d;
        if (bound[c] < 0) bound[c] = d;
        previous = c;
        ASSERT_EQ(CodeOf(-d), 255 - c) << -d;
    }
    long sum = 0;
    long weighted = 0;
    for (int c = 1; c < 128; ++c) {
        if (c == 7) {
            EXPECT_EQ(bound[c], -1);
            continue;
        }
        ASSERT_GT(bound[c], 0) << "code " << c << " never used";
        sum += bound[c];
        weighted += long(c) * bound[c];
    }
    EXPECT_EQ(sum, 139173);
    EXPECT_EQ(weighted, 14462337);
    for (int i = 0; i < 65536; ++i) {
        const int c = Q()[i];
        ASSERT_TRUE(c != 0 && c != 248 && c != 255) << "index " << i;
    }
}

TEST(TakeCodec, DecodesWorkedExample) {
    Block b(512, 7);
    b[0] = 0x01;
    b[1] = 0x00;
    b[2] = 1;
    b[3] = 254;
    b[4] = 128;
    const Samples s = Decode(b, false);
    ASSERT_EQ(s.size(), 509u);
    EXPECT_EQ(s[0], 256);
    EXPECT_EQ(s[1], 257);
    EXPECT_EQ(s[2], 256);
    EXPECT_EQ(s[3], -9295);
    EXPECT_EQ(s[508], -9295);
}

TEST(TakeCodec, EncodesWorkedExample) {
    const std::int16_t in[] = {11, 11};
    std::uint8_t codes[2];
    EXPECT_EQ(trx5::EncodeRun(codes, in, 2, 0), 12);
    EXPECT_EQ(codes[0], 5);
    EXPECT_EQ(codes[1], 253);
    std::int16_t out[2];
    trx5::DecodeRun(codes, out, 2, 0);
    EXPECT_EQ(out[0], 14);
    EXPECT_EQ(out[1], 12);
}

TEST(TakeCodec, ConstantBlockIsExact) {
    for (bool longMode : {false, true}) {
        for (std::int16_t v :
             {std::int16_t(0), std::int16_t(-1234), std::int16_t(32767), std::int16_t(-32768)}) {
            const Samples in(trx5::SamplesPerBlock(longMode), v);
            const Block b = Encode(in, longMode);
            EXPECT_EQ(Start(&b[0]), v);
            for (int i = 2; i < 512; ++i) {
                if (longMode && (i == 256 || i == 257)) continue;
                if (!longMode && i >= 510) continue;
                ASSERT_EQ(b[i], 7) << "byte " << i << " long " << longMode;
            }
            if (longMode) {
                EXPECT_EQ(Start(&b[256]), v);
            }
            EXPECT_EQ(Decode(b, longMode), in);
        }
    }
}

TEST(TakeCodec, DecoderSaturates) {
    Block up(512, 127);
    PutStart(&up[0], -32768);
    const Samples s = Decode(up, false);
    const std::int16_t climb[] = {-32768, -23217, -13666, -4115, 5436, 14987, 24538, 32767};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(s[i], climb[i]) << i;
    EXPECT_TRUE(std::all_of(s.begin() + 7, s.end(), [](int v) { return v == 32767; }));

    Block down(512, 128);
    PutStart(&down[0], -32000);
    const Samples d = Decode(down, true);
    EXPECT_TRUE(std::all_of(d.begin() + 1, d.begin() + 255, [](int v) { return v == -32768; }));
    EXPECT_EQ(d[255], std::int16_t(0x8080));  // the stored start of the second half
    EXPECT_TRUE(std::all_of(d.begin() + 256, d.end(), [](int v) { return v == -32768; }));
}

// A full-scale jump differs from the previous value by more than 16 bits
// hold; the encoder must still step towards the sample, not away from it.
TEST(TakeCodec, EncoderFollowsFullScaleJumps) {
    for (bool longMode : {false, true}) {
        Samples square(trx5::SamplesPerBlock(longMode));
        for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 40) % 2 ? 30000 : -30000;
        const Samples out = Decode(Encode(square, longMode), longMode);
        // Each edge is climbed at up to 9551 per sample, so 8 samples after
        // an edge the value has arrived.
        int far = 0;
        for (std::size_t i = 0; i < square.size(); ++i) {
            if (i % 40 >= 8 && std::abs(out[i] - square[i]) > 600) ++far;
        }
        EXPECT_EQ(far, 0) << "samples far from the square wave, long " << longMode;
    }
    struct Case {
        std::int16_t start, sample;
        int code;
    };
    const Case cases[] = {
        {-20000, 20000, 127}, {20000, -20000, 128}, {-32768, 32767, 127}, {32767, -32768, 128}};
    for (const Case& c : cases) {
        std::uint8_t code = 0;
        trx5::EncodeRun(&code, &c.sample, 1, c.start);
        EXPECT_EQ(code, c.code) << c.start << " to " << c.sample;
    }
}

TEST(TakeCodec, LongSecondHalfIsIndependent) {
    std::mt19937 rng(7);
    Samples in(510);
    for (auto& v : in) v = std::int16_t(int(rng() % 20001) - 10000);
    in[254] = -30000;  // far from sample 255, so the halves' starts differ a lot
    in[255] = 25000;
    const Block b = Encode(in, true);
    EXPECT_EQ(Start(&b[256]), 25000);
    const Samples clean = Decode(b, true);
    EXPECT_EQ(clean[255], 25000);

    Block damaged = b;
    for (int i = 0; i < 256; ++i) damaged[i] = std::uint8_t(rng());
    const Samples s = Decode(damaged, true);
    EXPECT_TRUE(std::equal(s.begin() + 255, s.end(), clean.begin() + 255));
    EXPECT_NE(Samples(s.begin(), s.begin() + 255), Samples(clean.begin(), clean.begin() + 255));
}

TEST(TakeCodec, HiFiUnusedBytes) {
    std::mt19937 rng(11);
    Samples in(509);
    for (auto& v : in) v = std::int16_t(rng());
    const Block b = Encode(in, false);  // into a buffer of 0xAA
    EXPECT_EQ(b[510], 0);
    EXPECT_EQ(b[511], 0);
    Block other = b;
    other[510] = 0x12;
    other[511] = 0xFE;
    EXPECT_EQ(Decode(other, false), Decode(b, false));
}

// Random test material: blocks of random codes (which often saturate) or of
// small codes, and sample blocks of noise, of smooth waves or of jumps.
Block RandomCodedBlocks(std::mt19937& rng, std::size_t count) {
    Block b(count * 512);
    for (std::size_t k = 0; k < count; ++k) {
        const bool small = rng() % 2;
        for (std::size_t i = 0; i < 512; ++i) {
            std::uint8_t c = std::uint8_t(rng());
            if (small) c = rng() % 2 ? std::uint8_t(rng() % 24) : std::uint8_t(255 - rng() % 24);
            b[k * 512 + i] = c;
        }
    }
    return b;
}

Samples RandomSamples(std::mt19937& rng, std::size_t count) {
    Samples s(count);
    const int kind = rng() % 3;
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (kind == 0) {
            s[i] = std::int16_t(rng());
        } else if (kind == 1) {
            phase += 0.05;
            s[i] = std::int16_t(20000 * std::sin(phase) + int(rng() % 200) - 100);
        } else {
            s[i] = rng() % 8 == 0 ? std::int16_t(rng()) : (i ? s[i - 1] : 0);
        }
    }
    return s;
}

TEST(TakeCodec, BlockFunctionsMatchReference) {
    std::mt19937 rng(2024);
    for (bool longMode : {false, true}) {
        const int spb = trx5::SamplesPerBlock(longMode);
        for (std::size_t count = 1; count <= 20; ++count) {
            const Block coded = RandomCodedBlocks(rng, count);
            Samples many(count * spb);
            trx5::DecodeTakeBlocks(coded.data(), many.data(), count, longMode);
            const Samples in = RandomSamples(rng, count * spb);
            Block encoded(count * 512, 0x55);
            trx5::EncodeTakeBlocks(encoded.data(), in.data(), count, longMode);
            for (std::size_t k = 0; k < count; ++k) {
                const Block one(coded.begin() + k * 512, coded.begin() + (k + 1) * 512);
                const Samples expected = RefDecodeBlock(one.data(), longMode);
                ASSERT_EQ(Decode(one, longMode), expected) << count << " block " << k;
                ASSERT_EQ(Samples(many.begin() + k * spb, many.begin() + (k + 1) * spb), expected)
                    << "decoding " << count << " blocks at once, block " << k;

                const Samples part(in.begin() + k * spb, in.begin() + (k + 1) * spb);
                const Block ref = RefEncodeBlock(part.data(), longMode);
                ASSERT_EQ(Encode(part, longMode), ref) << count << " block " << k;
                ASSERT_EQ(Block(encoded.begin() + k * 512, encoded.begin() + (k + 1) * 512), ref)
                    << "encoding " << count << " blocks at once, block " << k;
            }
        }
    }
}

TEST(TakeCodec, RunsMatchReference) {
    std::mt19937 rng(99);
    for (int count : {0, 1, 7, 254, 508, 1000}) {
        const Samples in = RandomSamples(rng, count);
        const auto start = std::int16_t(rng());
        std::vector<std::uint8_t> codes(count), ref(count);
        const std::int16_t last = trx5::EncodeRun(codes.data(), in.data(), count, start);
        RefEncodeRun(ref.data(), in.data(), count, start);
        ASSERT_EQ(codes, ref) << count;
        Samples out(count), refOut(count);
        trx5::DecodeRun(codes.data(), out.data(), count, start);
        RefDecodeRun(codes.data(), refOut.data(), count, start);
        ASSERT_EQ(out, refOut) << count;
        EXPECT_EQ(last, count ? out.back() : start) << count;
    }
}

TEST(TakeCodec, ClampSample) {
    EXPECT_EQ(trx5::ClampSample(40000), 32767);
    EXPECT_EQ(trx5::ClampSample(32767), 32767);
    EXPECT_EQ(trx5::ClampSample(-32768), -32768);
    EXPECT_EQ(trx5::ClampSample(-32769), -32768);
    EXPECT_EQ(trx5::ClampSample(-5), -5);
    EXPECT_EQ(trx5::SamplesPerBlock(false), 509);
    EXPECT_EQ(trx5::SamplesPerBlock(true), 510);
    EXPECT_EQ(trx5::SampleRate(false), 32000);
    EXPECT_EQ(trx5::SampleRate(true), 16000);
}

}  // namespace
