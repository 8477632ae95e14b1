// The three lines that describe a WAV/AIFF file to the user: its rate, its
// frames with channel layout and playing time, and its sample width.
#pragma once

#include <string>

#include "audiofile/audio_file_info.h"
#include "common/result.h"

namespace trx5 {

struct AudioFileText {
    bool usable = false;  // recognised and holding sample data
    std::string rate;     // "Sampling Rate : 44100.00Hz"
    std::string frames;   // "Sampling Frames : 88200 (stereo)  0:00:02:000"
    std::string bits;     // "Bits / Word : 16"
};

// The lines for a parsed record; an unusable record (or a rate below 1 Hz,
// which has no playing time) gives the bare captions.
AudioFileText DescribeAudioFile(const AudioFileInfo& info);

// Opens, parses and closes `path`; fails with "The file could not be
// opened." and the reason when it cannot be opened as a regular file.
Result<AudioFileText> DescribeAudioFile(const std::string& path);

}  // namespace trx5
