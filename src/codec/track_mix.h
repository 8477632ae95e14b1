// The mixer: level and pan gains in Q13 (8192 is unity) and the addition of
// one track's decoded block into a stereo block.
#pragma once

#include <array>
#include <cstdint>

namespace trx5 {

// The recorder's tracks, each with a level and a pan knob.
inline constexpr int kTracks = 4;

inline constexpr int kMaxLevel = 127;
inline constexpr int kMaxPan = 100;
inline constexpr int kUnityLevel = 100;
inline constexpr int kCentrePan = 50;

// One value for every track: the knobs start at EveryTrack(kUnityLevel) and
// EveryTrack(kCentrePan).
constexpr std::array<int, kTracks> EveryTrack(int value) {
    std::array<int, kTracks> values{};
    values.fill(value);
    return values;
}

extern const std::array<std::uint16_t, kMaxLevel + 1> VolumeGainTable;
extern const std::array<std::uint16_t, kMaxPan + 1> PanGainTable;

// Adds n mono samples s, scaled by level position v (0..127) and spread by
// pan position p (0..100), into the n interleaved stereo frames of `stereo`.
// Each side is held within -32767..32767 after the addition.
void MixTrackBlock(std::int16_t* stereo, const std::int16_t* s, int n, int v, int p);

// One track of a whole-block mix.
struct MixInput {
    const std::int16_t* samples;
    int level;
    int pan;
};

// Clears `stereo` and adds the tracks in order, exactly as clearing it and
// calling MixTrackBlock for each track in turn, in one pass over the block.
void MixBlock(std::int16_t* stereo, const MixInput* tracks, int trackCount, int n);

}  // namespace trx5
