// The audio file layer's texts for the user: why a file cannot be read,
// converted or written, and the lines that describe a file.
#pragma once

#include <string>

namespace trx5 {

inline constexpr char kMsgCannotConvert[] = "The sampling rate could not be converted.";

// Reading: why a file holds no usable frame.
inline constexpr char kReasonNoChannels[] = "the file has no channels";
inline constexpr char kReasonRateBelowOneHz[] = "the file's sampling rate is below 1 Hz";
inline constexpr char kReasonNoFrames[] = "the file holds no frames";
inline constexpr char kReasonDamaged[] = "the file is damaged";
inline constexpr char kMsgCannotSeek[] = "Seeking in the file failed.";
inline constexpr char kMsgNoAudioFileOpen[] = "No audio file is open.";

// "the FLAC stream is damaged", "the AU file is damaged".
inline std::string KindDamagedText(const std::string& kind, bool stream) {
    return "the " + kind + (stream ? " stream is damaged" : " file is damaged");
}

// "this kind of CAF file cannot be read".
inline std::string KindUnreadableText(const std::string& kind) {
    return "this kind of " + kind + " file cannot be read";
}

// Converting: "the file's rate of 500 Hz is below 1000 Hz"; the numbers as
// the caller writes them.
inline std::string RateTooLowText(const std::string& rate, const std::string& lowest) {
    return "the file's rate of " + rate + " Hz is below " + lowest + " Hz";
}

// Writing WAV and AIFF files: the failure names the step that failed
// ("Writing the audio file failed: write").
inline constexpr char kMsgWritingFailed[] = "Writing the audio file failed";
inline constexpr char kStepWrite[] = "write";
inline constexpr char kStepPosition[] = "position";
inline constexpr char kStepSeek[] = "seek";
inline constexpr char kStepFlush[] = "flush";
inline constexpr char kReasonWavTooLarge[] =
    "the file would exceed the 4 GB limit of the WAV format";
inline constexpr char kReasonAiffTooLarge[] =
    "the file would exceed the 4 GB limit of the AIFF format";
inline constexpr char kMsgNoOutputFile[] = "No output file is open.";
inline constexpr char kMsgNoSampleData[] = "No sample data to write.";
inline constexpr char kMsgTooManySamples[] = "Too many samples to write.";
inline constexpr char kMsgWavWithoutSamples[] =
    "Cannot write a WAV file without channels or samples.";
inline constexpr char kMsgAiffLayout[] =
    "Only 8- and 16-bit AIFF files with 1 to 65535 channels are written.";
inline constexpr char kMsgAiffNoFrameSize[] = "The AIFF format has no frame size.";

// The lines that describe a file, each a caption and its value.
inline constexpr char kCaptionRate[] = "Sampling Rate : ";
inline constexpr char kCaptionFrames[] = "Sampling Frames : ";
inline constexpr char kCaptionBits[] = "Bits / Word : ";
inline constexpr char kUnitHertz[] = "Hz";
// The channel layout after the frames: "(mono)", "(stereo)", "(3 channels)".
inline std::string ChannelLayoutText(int channels) {
    if (channels == 1) return "(mono)";
    if (channels == 2) return "(stereo)";
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about a
    // text put before a temporary string.
    std::string text = "(";
    text += std::to_string(channels);
    text += " channels)";
    return text;
}

}  // namespace trx5
