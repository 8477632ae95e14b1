// An audio source shaped for a take: its first channel or two, or a stereo
// file's channels mixed into one, at another sampling rate. The rate is
// converted with libsoxr at its high-quality setting, streaming, so memory
// stays the same whatever the length of the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "audiofile/audio_source.h"
#include "audiofile/audiofile_messages.h"
#include "common/result.h"

namespace trx5 {

struct SourceConversion {
    int channels = 1;  // the first 1 or 2 channels of the source
    // One channel from a stereo source: each frame's (left + right) / 2,
    // rounded toward minus infinity, instead of the left channel.
    bool mixStereo = false;
    // Converted to this rate when it differs from the source's; the samples
    // are kept as they are when there is none.
    std::optional<double> rate;
};

// The frames a conversion gives for `frames` frames: frames * to / from
// rounded to the nearest whole frame (halves up) and at least 1, which is
// also what libsoxr gives out for a whole stream.
std::uint64_t ConvertedFrames(std::uint64_t frames, double from, double to);

// The source as `conversion` shapes it. Its info has the new channel count,
// rate and frame count (ConvertedFrames of the source's, exactly, unless
// the source ends before its count) and the source's sample format. A
// source whose frames are not exact yet gives as many as the conversion
// makes of them until it ends; CountFrames counts them (before any is
// read). With the source's own channels and rate it is the source itself,
// untouched.
// Fails with "The sampling rate could not be converted." and libsoxr's
// reason, or for a source below kLowestConvertedRate with that as the
// reason: a few samples a second would become a huge take, slowly.
Result<std::unique_ptr<AudioSource>> ConvertSource(std::unique_ptr<AudioSource> source,
                                                   const SourceConversion& conversion);

inline constexpr double kLowestConvertedRate = 1000.0;

}  // namespace trx5
