#include "audiofile/audio_file_text.h"

#include <cmath>
#include <cstdio>

#include "common/file_io.h"
#include "common/messages.h"

namespace trx5 {

AudioFileText DescribeAudioFile(const AudioFileInfo& info) {
    AudioFileText text{false, "Sampling Rate : ", "Sampling Frames : ", "Bits / Word : "};
    if (!IsUsableAudio(info)) return text;
    const double r = ExtendedToDouble(info.sampleRate);
    const auto R = static_cast<std::int64_t>(r);
    const std::int64_t F = info.frames;
    // Every field comes from the rate cut to whole hertz, the rate the file
    // plays at; hours from the exact rate would lose an hour near a boundary
    // when the rate has a fraction.
    const std::int64_t hours = F / (R * 3600);
    std::int64_t rest = F % (R * 3600);
    const std::int64_t minutes = rest / (R * 60);
    rest %= R * 60;
    const std::int64_t seconds = rest / R;
    rest %= R;
    const std::int64_t millis = rest * 1000 / R;

    char line[128];
    text.usable = true;
    std::snprintf(line, sizeof line, "Sampling Rate : %.2fHz", r);
    text.rate = line;
    std::snprintf(line, sizeof line, "Sampling Frames : %u %s  %1lld:%02lld:%02lld:%03lld",
                  info.frames, info.channels == 2 ? "(stereo)" : "(mono)",
                  static_cast<long long>(hours), static_cast<long long>(minutes),
                  static_cast<long long>(seconds), static_cast<long long>(millis));
    text.frames = line;
    std::snprintf(line, sizeof line, "Bits / Word : %d", info.bitsPerSample);
    text.bits = line;
    return text;
}

Result<AudioFileText> DescribeAudioFile(const std::string& path) {
    std::string reason;
    FilePtr f = OpenRegularFile(path, &reason);
    if (!f) return Status::Fail(kMsgCannotOpen, reason);
    AudioFileInfo info;
    OpenAudioFileInfo(info, f.get());
    f.reset();
    AudioFileText text = DescribeAudioFile(info);
    FreeAudioFileInfo(info);
    return text;
}

}  // namespace trx5
