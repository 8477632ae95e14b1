#include "audiofile/audio_file_text.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "audiofile/audiofile_messages.h"

namespace trx5 {

namespace {

AudioFileText BareCaptions() {
    return {false, kCaptionRate, kCaptionFrames, kCaptionBits, 0.0, 0, {}};
}

// The rate and frames lines; `frames` as the file states it.
void DescribeRateAndFrames(AudioFileText& text, double r, std::uint64_t frames, int channels) {
    const auto R = static_cast<std::int64_t>(r);
    const auto F = static_cast<std::int64_t>(frames);
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

    char number[64];
    text.usable = true;
    text.sampleRate = r;
    text.channels = channels;
    std::snprintf(number, sizeof number, "%.2f", r);
    text.rate = kCaptionRate + std::string(number) + kUnitHertz;
    char time[96];
    std::snprintf(time, sizeof time, "%1lld:%02lld:%02lld:%03lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds),
                  static_cast<long long>(millis));
    text.frames =
        kCaptionFrames + std::to_string(frames) + " " + ChannelLayoutText(channels) + "  " + time;
}

}  // namespace

AudioFileText DescribeAudioFile(const AudioFileInfo& info) {
    AudioFileText text = BareCaptions();
    if (!IsUsableAudio(info)) return text;
    DescribeRateAndFrames(text, ExtendedToDouble(info.sampleRate), info.frames, info.channels);
    text.bits = kCaptionBits + std::to_string(info.bitsPerSample);
    return text;
}

AudioFileText DescribeAudioSource(const AudioSourceInfo& info) {
    AudioFileText text = BareCaptions();
    if (info.channels < 1 || !(info.rate >= 1.0) || info.frames == 0) return text;
    DescribeRateAndFrames(text, info.rate, info.frames, info.channels);
    text.bits = kCaptionBits + info.sampleFormat;
    return text;
}

Result<AudioFileText> DescribeAudioFile(const std::string& path) {
    // Opened as an import opens it, so the frames shown are those an import
    // or a preview gets.
    const auto source = AudioSource::Open(path);
    if (!source) {
        if (source.code() == ErrorCode::CannotOpen) return source.status();
        AudioFileText text = BareCaptions();
        text.reason = source.reason();
        return text;
    }
    return DescribeAudioSource(source.value()->info());
}

}  // namespace trx5
