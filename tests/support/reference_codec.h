// The take codec and the track mix written out plainly, one sample at a
// time, from the published step, bound and gain tables, with no code of the
// program's own: the tests compute what the program must give with these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace trx5ref {

using Samples = std::vector<std::int16_t>;
using Block = std::array<std::uint8_t, 512>;

std::int16_t Clamp16(std::int32_t value);
// The step of a code.
std::int32_t Step(std::uint8_t code);
// The code for a difference d (-32768 .. 32767) between a sample and the
// running value: the code whose lower bound is the largest not above |d|.
std::uint8_t Quantize(std::int32_t d);

// One 512-byte block: 509 samples in one run (HiFi) or 510 in two runs of
// 255 (LONG), each run from a start sample stored big-endian.
Samples DecodeBlock(const std::uint8_t* block, bool longMode);
Block EncodeBlock(const std::int16_t* samples, bool longMode);

// The blocks of the bytes after a take file's 512-byte header, a trailing
// part of a block taken as zero-filled.
Samples DecodeTakeBytes(const std::vector<std::uint8_t>& file, bool longMode);
// A whole take file as the program's import writes it: its header (mode,
// signature, "1.00", "0001", "CMGR") and the samples in blocks, the last one
// padded with zero samples.
std::vector<std::uint8_t> EncodeTake(const Samples& samples, bool longMode);

// One track's decoded samples added into interleaved stereo frames through
// its level (0-127) and pan (0-100) knobs, each side clamped to +-32767.
void MixTrack(std::int16_t* stereo, const std::int16_t* samples, std::size_t count, int level,
              int pan);

// The mix of several tracks as the recorder's mixer forms it: block by
// block (`samplesPerBlock` frames), a cleared buffer and each track that
// still has a whole block, in order; as many blocks as the longest track.
struct Track {
    Samples samples;  // decoded, whole blocks
    int level = 100;
    int pan = 50;
};
Samples MixTracks(const std::vector<Track>& tracks, std::size_t samplesPerBlock);

}  // namespace trx5ref
