// The take block coder on arbitrary data, in HiFi and LONG mode: the input
// as 16-bit samples to encode and as 512-byte blocks to decode. The paths
// that work on many blocks at once must agree with the one-block and
// one-run paths and with a plain step-by-step decoder.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/take_codec.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kBlockSize = 512;
// Enough blocks for several groups of runs coded side by side.
constexpr std::size_t kMaxBlocks = 20;

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

std::int16_t StoredSample(const std::uint8_t* at) { return std::int16_t(at[0] << 8 | at[1]); }

// Runs of a block: HiFi one of 508 codes after the stored sample at byte 0;
// LONG two of 254 codes after stored samples at bytes 0 and 256.
int Runs(bool longMode) { return longMode ? 2 : 1; }
int RunLength(bool longMode) { return longMode ? 254 : 508; }

// Step-by-step decoding of one block: each code adds its step, held within
// the 16-bit range.
void ReferenceDecode(const std::uint8_t* block, std::int16_t* samples, bool longMode) {
    for (int r = 0; r < Runs(longMode); ++r) {
        const std::uint8_t* run = block + r * 256;
        std::int16_t* out = samples + r * 255;
        std::int32_t p = StoredSample(run);
        out[0] = std::int16_t(p);
        for (int i = 0; i < RunLength(longMode); ++i) {
            p = trx5::ClampSample(p + trx5::DeltaTable[run[2 + i]]);
            out[1 + i] = std::int16_t(p);
        }
    }
}

Samples DecodeAll(const Bytes& blocks, std::size_t count, bool longMode) {
    Samples out(count * trx5::SamplesPerBlock(longMode));
    trx5::DecodeTakeBlocks(blocks.data(), out.data(), count, longMode);
    return out;
}

Bytes EncodeAll(const Samples& samples, std::size_t count, bool longMode) {
    Bytes out(count * kBlockSize);
    trx5::EncodeTakeBlocks(out.data(), samples.data(), count, longMode);
    return out;
}

void CheckDecode(const Bytes& blocks, std::size_t count, bool longMode) {
    const std::size_t spb = trx5::SamplesPerBlock(longMode);
    const Samples many = DecodeAll(blocks, count, longMode);
    Samples one(spb);
    Samples reference(spb);
    for (std::size_t b = 0; b < count; ++b) {
        trx5::DecodeTakeBlock(blocks.data() + b * kBlockSize, one.data(), longMode);
        ReferenceDecode(blocks.data() + b * kBlockSize, reference.data(), longMode);
        FUZZ_CHECK(std::equal(one.begin(), one.end(), many.begin() + b * spb));
        FUZZ_CHECK(one == reference);
    }
}

void CheckEncode(const Samples& samples, std::size_t count, bool longMode) {
    const std::size_t spb = trx5::SamplesPerBlock(longMode);
    const Bytes many = EncodeAll(samples, count, longMode);
    std::uint8_t one[kBlockSize];
    std::uint8_t run[254 * 2];
    for (std::size_t b = 0; b < count; ++b) {
        const std::uint8_t* block = many.data() + b * kBlockSize;
        const std::int16_t* in = samples.data() + b * spb;
        trx5::EncodeTakeBlock(one, in, longMode);
        FUZZ_CHECK(std::memcmp(one, block, kBlockSize) == 0);
        for (int r = 0; r < Runs(longMode); ++r) {
            // Each run starts from its own input sample, stored exactly, and
            // codes as the plain one-run encoder does.
            FUZZ_CHECK(StoredSample(block + r * 256) == in[r * 255]);
            trx5::EncodeRun(run, in + r * 255 + 1, RunLength(longMode), in[r * 255]);
            FUZZ_CHECK(std::memcmp(run, block + r * 256 + 2, RunLength(longMode)) == 0);
        }
        if (!longMode) FUZZ_CHECK(block[510] == 0 && block[511] == 0);
    }
    CheckDecode(many, count, longMode);

    // What the coder gives back, coded again, comes back unchanged: every
    // step it decodes to is one it can code.
    const Samples decoded = DecodeAll(many, count, longMode);
    for (std::size_t b = 0; b < count; ++b) {
        FUZZ_CHECK(decoded[b * spb] == samples[b * spb]);
        if (longMode) FUZZ_CHECK(decoded[b * spb + 255] == samples[b * spb + 255]);
    }
    FUZZ_CHECK(DecodeAll(EncodeAll(decoded, count, longMode), count, longMode) == decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const bool longMode : {false, true}) {
        // The bytes as samples, the last block filled up with silence.
        const std::size_t spb = trx5::SamplesPerBlock(longMode);
        const std::size_t sampleCount = std::min(size / 2, kMaxBlocks * spb);
        const std::size_t sampleBlocks = (sampleCount + spb - 1) / spb;
        Samples samples(sampleBlocks * spb, 0);
        if (sampleCount > 0) std::memcpy(samples.data(), data, sampleCount * 2);
        CheckEncode(samples, sampleBlocks, longMode);

        // The bytes as blocks, the last one filled up with zero bytes.
        const std::size_t byteCount = std::min(size, kMaxBlocks * kBlockSize);
        const std::size_t blockCount = (byteCount + kBlockSize - 1) / kBlockSize;
        Bytes blocks(blockCount * kBlockSize, 0);
        if (byteCount > 0) std::memcpy(blocks.data(), data, byteCount);
        CheckDecode(blocks, blockCount, longMode);
    }
    return 0;
}
