// Reading RIFF WAVE and AIFF files as 16-bit samples, and writing 16-bit PCM
// WAV and AIFF files in a streaming way (header, samples, then size patch).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "audiofile/audiofile_messages.h"
#include "common/result.h"

namespace trx5 {

enum AudioKind : std::int32_t { AudioKindNone = 0, AudioKindAiff = 1, AudioKindWav = 2 };

// 80-bit IEEE 754 extended value, big-endian, as AIFF stores it.
using Extended80 = std::array<std::uint8_t, 10>;

Extended80 RateToExtended(std::uint32_t rate);
// Converts an extended value; NaN, infinities and negative values give 0,
// values beyond the double range give the largest double.
double ExtendedToDouble(const Extended80& value);

struct AudioFileInfo {
    std::FILE* file = nullptr;        // writer only: the open output file
    std::int64_t sizeFieldPos = 0;    // writer only: chunk size to patch
    std::int64_t bytesWritten = 0;    // writer only: sample bytes written
    std::int64_t endPos = 0;          // writer only: position noted at close
    std::int64_t framesFieldPos = 0;  // writer only: AIFF frame count position
    std::int32_t kind = AudioKindNone;
    std::int64_t dataStart = 0;  // first sample byte; 0 when none found
    std::int32_t channels = 0;
    std::uint32_t frames = 0;
    std::int32_t bitsPerSample = 0;
    std::int64_t dataSize = 0;
    std::int32_t baseNote = 60;
    std::int32_t detune = 0;
    std::int32_t lowNote = 60;
    std::int32_t highNote = 60;
    std::int32_t loopStart = 0;
    std::int32_t loopEnd = 0;
    Extended80 sampleRate = RateToExtended(44100);

    // Bytes one stored sample occupies: bits rounded up to whole bytes.
    int BytesPerSample() const { return (bitsPerSample + 7) / 8; }
};

// Sets the defaults; with a file positioned at its start, recognises and
// parses it and sets `kind`. Returns the kind.
std::int32_t OpenAudioFileInfo(AudioFileInfo& info, std::FILE* file);
void FreeAudioFileInfo(AudioFileInfo& info);

// A record the program can play or import: a recognised kind with sample
// data and a sampling rate that truncates to 1 Hz or more and fits 32 bits.
bool IsUsableAudio(const AudioFileInfo& info);

// The frames that a file of `fileSize` bytes really holds: the header's
// claim, cut at the end of the file.
std::uint64_t FramesInFile(const AudioFileInfo& info, std::int64_t fileSize);

Status SeekFrame(const AudioFileInfo& info, std::FILE* file, std::uint32_t frame);

// Reads frameCount frames as interleaved 16-bit samples into `samples`
// (frameCount * channels values; those the file does not supply are 0).
// Returns the number of samples actually read from the file.
std::size_t ReadFrames(const AudioFileInfo& info, std::FILE* file, std::size_t frameCount,
                       std::int16_t* samples);

// Like ReadFrames, but keeps only the first `keep` channels of every frame
// (frameCount * keep values); the bytes of the other channels are skipped,
// so the work does not grow with the channel count.
std::size_t ReadFrameChannels(const AudioFileInfo& info, std::FILE* file, std::size_t frameCount,
                              int keep, std::int16_t* samples);

// Format block written into the WAV header ("fmt " chunk, 18 bytes).
struct WavFormat {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 16;
    std::uint16_t extraSize = 0;
};

inline constexpr int kWavHeaderSize = 46;
inline constexpr int kAiffHeaderSize = 54;

// The formats' size fields are 32 bits wide: the sample bytes a file of each
// format can hold (a file that would need more is refused with
// kReasonWavTooLarge or kReasonAiffTooLarge).
std::int64_t MaxSampleBytes(bool aiff);

// Writers: every write and seek is checked; a failure is returned and the
// file must then be treated as damaged.
Status WriteWavHeader(AudioFileInfo& info, std::FILE* file, WavFormat format);
Status WriteWavSamples(AudioFileInfo& info, const void* bytes, std::size_t byteCount);
Status CloseWav(AudioFileInfo& info);

Status WriteAiffHeader(AudioFileInfo& info, std::FILE* file);
Status WriteAiffSamples(AudioFileInfo& info, const std::int16_t* samples, std::size_t count);
Status CloseAiff(AudioFileInfo& info);

}  // namespace trx5
