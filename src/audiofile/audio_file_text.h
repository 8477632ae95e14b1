// The three lines that describe an audio file to the user: its rate, its
// frames with channel layout and playing time, and its sample format.
#pragma once

#include <string>

#include "audiofile/audio_file_info.h"
#include "audiofile/audio_source.h"
#include "common/result.h"

namespace trx5 {

struct AudioFileText {
    bool usable = false;    // recognised and holding sample data
    std::string rate;       // "Sampling Rate : 44100.00Hz"
    std::string frames;     // "Sampling Frames : 88200 (stereo)  0:00:02:000", "(3 channels)"
    std::string bits;       // "Bits / Word : 16", "Bits / Word : 24 (FLAC)"
    double sampleRate = 0;  // the file's rate in hertz; 0 when not usable
    int channels = 0;       // 0 when not usable
    std::string reason;     // why a file is not usable, when that is known
};

// The lines for a parsed WAV/AIFF record; an unusable record (or a rate
// below 1 Hz, which has no playing time) gives the bare captions.
AudioFileText DescribeAudioFile(const AudioFileInfo& info);

// The lines for a file libsndfile reads: the same three lines, the last
// naming the samples and their container ("Bits / Word : 32 float (WAV)").
AudioFileText DescribeAudioSource(const AudioSourceInfo& info);

// Opens, reads and closes `path`; fails with "The file could not be
// opened." and the reason when it cannot be opened as a regular file. The
// file is described as AudioSource reads it, with the frames counted as an
// import counts them (of a WAV/AIFF those its data really holds, not its
// header's claim); a file it cannot use gives the bare captions and the
// reason AudioSource gives for it.
Result<AudioFileText> DescribeAudioFile(const std::string& path);

}  // namespace trx5
