// The recorder's 8-bit delta coding of 16-bit samples in 512-byte blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace trx5 {

extern const std::array<std::int16_t, 256> DeltaTable;

// 65536 codes indexed by a difference taken as an unsigned 16-bit number.
const std::array<std::uint8_t, 65536>& QuantizeTable();

inline constexpr int kHiFiSamplesPerBlock = 509;
inline constexpr int kLongSamplesPerBlock = 510;
inline constexpr int kMaxSamplesPerBlock = kLongSamplesPerBlock;

constexpr int SamplesPerBlock(bool longMode) {
    return longMode ? kLongSamplesPerBlock : kHiFiSamplesPerBlock;
}
constexpr int SampleRate(bool longMode) { return longMode ? 16000 : 32000; }

constexpr std::int16_t ClampSample(std::int32_t v) {
    return static_cast<std::int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

void DecodeRun(const std::uint8_t* codes, std::int16_t* samples, int count, std::int16_t start);
std::int16_t EncodeRun(std::uint8_t* codes, const std::int16_t* samples, int count,
                       std::int16_t start);

// One block of 512 bytes to SamplesPerBlock samples and back.
void DecodeTakeBlock(const std::uint8_t* block, std::int16_t* samples, bool longMode);
void EncodeTakeBlock(std::uint8_t* block, const std::int16_t* samples, bool longMode);

// Several consecutive blocks at once: `blocks` holds count * 512 bytes and
// `samples` count * SamplesPerBlock samples. Every block starts from a stored
// sample, so the blocks are coded as independent streams side by side; the
// result is the same as calling the one-block functions in turn.
void DecodeTakeBlocks(const std::uint8_t* blocks, std::int16_t* samples, std::size_t count,
                      bool longMode);
void EncodeTakeBlocks(std::uint8_t* blocks, const std::int16_t* samples, std::size_t count,
                      bool longMode);

}  // namespace trx5
