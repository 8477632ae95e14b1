#include "audiofile/audio_file_info.h"

#include <sys/types.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/messages.h"

namespace trx5 {

// File positions are 64-bit throughout; a 32-bit off_t would silently wrap.
static_assert(sizeof(off_t) >= 8, "build with a 64-bit off_t (_FILE_OFFSET_BITS=64)");

namespace {

constexpr std::int32_t kMaxBits = 65535;  // the format fields are 16 bits wide

std::uint16_t GetBE16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }
std::uint32_t GetBE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint16_t GetLE16(const std::uint8_t* p) { return std::uint16_t(p[1] << 8 | p[0]); }
std::uint32_t GetLE32(const std::uint8_t* p) {
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

bool IsId(const std::uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

std::int32_t ClampToInt32(std::uint32_t v) {
    return v > std::uint32_t(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : std::int32_t(v);
}

// Reads of whole byte ranges that must lie inside the file; no size field
// read from the file is trusted before it has been checked against `size`.
struct Source {
    std::FILE* file = nullptr;
    std::int64_t size = 0;

    bool Read(std::int64_t pos, void* out, std::size_t count) const {
        if (pos < 0 || pos > size || std::int64_t(count) > size - pos) return false;
        if (fseeko(file, off_t(pos), SEEK_SET) != 0) return false;
        return std::fread(out, 1, count, file) == count;
    }
    // Bytes of a chunk that the file actually holds.
    std::int64_t Available(std::int64_t start, std::uint32_t chunkSize) const {
        return std::max<std::int64_t>(0, std::min<std::int64_t>(chunkSize, size - start));
    }
};

std::int64_t NextChunk(std::int64_t start, std::uint32_t chunkSize) {
    std::int64_t pos = start + chunkSize;
    if (pos & 1) ++pos;
    return pos;
}

struct Marker {
    std::uint16_t id = 0;
    std::uint32_t position = 0;
};

// The largest marker table possible: a count, then 65535 markers of an id, a
// position and a counted name of up to 255 characters (no pad then).
constexpr std::int64_t kMaxMarkerTable = 2 + 65535 * (2 + 4 + 256);

std::vector<Marker> ReadMarkers(const Source& src, std::int64_t start, std::int64_t available) {
    std::vector<Marker> markers;
    const std::size_t length = std::size_t(std::min(available, kMaxMarkerTable));
    if (length < 2) return markers;
    std::vector<std::uint8_t> table(length);
    if (!src.Read(start, table.data(), length)) return markers;
    const unsigned count = GetBE16(table.data());
    markers.reserve(std::min<std::size_t>(count, length / 8));
    std::size_t at = 2;
    for (unsigned i = 0; i < count && length - at >= 7; ++i) {
        Marker m;
        m.id = GetBE16(&table[at]);
        m.position = GetBE32(&table[at + 2]);
        const std::size_t nameLength = table[at + 6];
        markers.push_back(m);
        // Count byte and text are padded to an even length.
        std::size_t skip = 7 + nameLength;
        if ((1 + nameLength) % 2 != 0) ++skip;
        if (skip > length - at) break;
        at += skip;
    }
    return markers;
}

bool ReadAiffHeader(AudioFileInfo& info, const Source& src) {
    std::uint8_t head[12];
    if (!src.Read(0, head, sizeof head)) return false;
    if (!IsId(head, "FORM") || !IsId(head + 8, "AIFF")) return false;

    std::vector<Marker> markers;
    bool haveInst = false;
    std::uint16_t loopBeginId = 0;
    std::uint16_t loopEndId = 0;

    std::int64_t pos = 12;
    std::uint8_t chunk[8];
    while (src.Read(pos, chunk, sizeof chunk)) {
        const std::int64_t start = pos + 8;
        const std::uint32_t size = GetBE32(chunk + 4);
        if (IsId(chunk, "COMM")) {
            std::uint8_t c[18];
            if (size < sizeof c || !src.Read(start, c, sizeof c)) return false;
            info.channels = GetBE16(c);
            info.frames = GetBE32(c + 2);
            info.bitsPerSample = GetBE16(c + 6);
            std::copy(c + 8, c + 18, info.sampleRate.begin());
            if (info.channels == 0 || info.bitsPerSample < 8) return false;
            info.dataSize = std::int64_t(info.frames) * info.channels * info.BytesPerSample();
        } else if (IsId(chunk, "SSND")) {
            std::uint8_t offsetAndBlock[8];
            if (size >= sizeof offsetAndBlock && src.Read(start, offsetAndBlock, 8)) {
                info.dataStart = start + 8;
            }
        } else if (IsId(chunk, "MARK")) {
            markers = ReadMarkers(src, start, src.Available(start, size));
        } else if (IsId(chunk, "INST")) {
            std::uint8_t c[20];
            if (size >= sizeof c && src.Read(start, c, sizeof c)) {
                info.baseNote = c[0];
                info.detune = c[1];
                info.lowNote = c[2];
                info.highNote = c[3];
                // c[4..5] velocity range, c[6..7] gain, c[8..9] sustain play mode.
                loopBeginId = GetBE16(c + 10);
                loopEndId = GetBE16(c + 12);
                haveInst = true;
            }
        }
        pos = NextChunk(start, size);
    }

    if (haveInst) {
        auto positionOf = [&markers](std::uint16_t id, std::int32_t& out) {
            for (const Marker& m : markers) {
                if (m.id == id) {
                    out = ClampToInt32(m.position);
                    return;
                }
            }
        };
        positionOf(loopBeginId, info.loopStart);
        positionOf(loopEndId, info.loopEnd);
    }
    return true;
}

bool ReadWavHeader(AudioFileInfo& info, const Source& src) {
    std::uint8_t head[12];
    if (!src.Read(0, head, sizeof head)) return false;
    if (!IsId(head, "RIFF") || !IsId(head + 8, "WAVE")) return false;

    bool haveFormat = false;
    int counted = 0;
    std::int64_t pos = 12;
    std::uint8_t chunk[8];
    while (src.Read(pos, chunk, sizeof chunk)) {
        const std::int64_t start = pos + 8;
        const std::uint32_t size = GetLE32(chunk + 4);
        if (IsId(chunk, "fmt ")) {
            // Tag, channels, rate, bytes per second, bytes per frame, bits;
            // the extra-size field of longer blocks is not needed.
            std::uint8_t f[16];
            if (size < sizeof f || !src.Read(start, f, sizeof f)) return false;
            if (GetLE16(f) != 1) return false;  // only integer PCM
            info.channels = GetLE16(f + 2);
            info.sampleRate = RateToExtended(GetLE32(f + 4));
            info.bitsPerSample = GetLE16(f + 14);
            if (info.channels == 0 || info.bitsPerSample < 8) return false;
            haveFormat = true;
            ++counted;
        } else if (IsId(chunk, "data")) {
            // Without a format the frame size is unknown.
            if (!haveFormat) return false;
            info.dataStart = start;
            info.dataSize = size;
            info.frames = std::uint32_t(info.dataSize /
                                        (std::int64_t(info.BytesPerSample()) * info.channels));
            info.loopEnd = ClampToInt32(info.frames);
            ++counted;
        }
        pos = NextChunk(start, size);
    }
    return counted >= 2;
}

// One stored sample as a 16-bit value: 8-bit samples are widened (WAV's are
// unsigned), wider ones keep their two most significant bytes.
std::int16_t SampleAt(const std::uint8_t* s, std::size_t width, bool wav) {
    if (width == 1)
        return wav ? std::int16_t(s[0] * 256 - 32768) : std::int16_t(std::int8_t(s[0]) * 256);
    if (wav) return std::int16_t(std::uint16_t(s[width - 1] << 8 | s[width - 2]));
    return std::int16_t(std::uint16_t(s[0] << 8 | s[1]));
}

bool HasReadableFormat(const AudioFileInfo& info) {
    return (info.kind == AudioKindAiff || info.kind == AudioKindWav) && info.channels > 0 &&
           info.bitsPerSample >= 8 && info.bitsPerSample <= kMaxBits;
}

// Output helpers: each one reports the failing step.
Status Failure(const char* what) {
    const int err = errno != 0 ? errno : EIO;
    return Status::Fail(ErrorCode::CannotWrite, std::string(kMsgWritingFailed) + ": " + what,
                        std::strerror(err));
}

Status Put(std::FILE* file, const void* bytes, std::size_t count) {
    if (count == 0) return Status::Ok();
    errno = 0;
    if (std::fwrite(bytes, 1, count, file) != count) return Failure(kStepWrite);
    return Status::Ok();
}

Status Tell(std::FILE* file, std::int64_t& pos) {
    errno = 0;
    const off_t at = ftello(file);
    if (at < 0) return Failure(kStepPosition);
    pos = at;
    return Status::Ok();
}

Status Seek(std::FILE* file, std::int64_t pos) {
    errno = 0;
    if (fseeko(file, off_t(pos), SEEK_SET) != 0) return Failure(kStepSeek);
    return Status::Ok();
}

Status PutAt(std::FILE* file, std::int64_t pos, const std::uint8_t (&bytes)[4]) {
    if (Status s = Seek(file, pos); !s) return s;
    return Put(file, bytes, 4);
}

Status Flush(std::FILE* file) {
    errno = 0;
    if (std::fflush(file) != 0 || std::ferror(file)) return Failure(kStepFlush);
    return Status::Ok();
}

void SetLE16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void SetLE32(std::uint8_t* p, std::uint32_t v) {
    SetLE16(p, v & 0xFFFF);
    SetLE16(p + 2, v >> 16);
}
void SetBE16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}
void SetBE32(std::uint8_t* p, std::uint32_t v) {
    SetBE16(p, v >> 16);
    SetBE16(p + 2, v & 0xFFFF);
}

// Every size field is 32 bits: the form size (file length - 8) and the
// sample chunk size must fit, with room for a pad byte.
constexpr std::int64_t kMaxFormSize = 0xFFFFFFFFLL;
constexpr std::int64_t kMaxWavSampleBytes = kMaxFormSize - (kWavHeaderSize - 8) - 1;
constexpr std::int64_t kMaxAiffSampleBytes = kMaxFormSize - (kAiffHeaderSize - 8) - 1;

Status TooLarge(std::int64_t limit) {
    return Status::Fail(ErrorCode::CannotWrite, kMsgWritingFailed,
                        limit == kMaxWavSampleBytes ? kReasonWavTooLarge : kReasonAiffTooLarge);
}

Status CheckRoom(const AudioFileInfo& info, std::size_t count, std::int64_t limit) {
    if (std::uint64_t(count) > std::uint64_t(limit - info.bytesWritten)) return TooLarge(limit);
    return Status::Ok();
}

// Sample data of odd length is followed by a pad byte, as chunks require.
Status PadSampleData(const AudioFileInfo& info) {
    if ((info.bytesWritten & 1) == 0) return Status::Ok();
    const std::uint8_t zero = 0;
    return Put(info.file, &zero, 1);
}

}  // namespace

std::int64_t MaxSampleBytes(bool aiff) { return aiff ? kMaxAiffSampleBytes : kMaxWavSampleBytes; }

Extended80 RateToExtended(std::uint32_t rate) {
    Extended80 out{};
    if (rate == 0) return out;
    const int highBit = std::bit_width(rate) - 1;
    const std::uint32_t exponent = 16383 + std::uint32_t(highBit);
    const std::uint64_t mantissa = std::uint64_t(rate) << (63 - highBit);
    out[0] = std::uint8_t(exponent >> 8);
    out[1] = std::uint8_t(exponent);
    for (int i = 0; i < 8; ++i) out[2 + i] = std::uint8_t(mantissa >> (56 - 8 * i));
    return out;
}

double ExtendedToDouble(const Extended80& value) {
    const bool negative = (value[0] & 0x80) != 0;
    const int exponent = (value[0] & 0x7F) << 8 | value[1];
    std::uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa = mantissa << 8 | value[2 + i];
    // Infinities and NaNs, zeros and denormals, negative values.
    if (exponent == 0x7FFF || exponent == 0 || mantissa == 0 || negative) return 0.0;
    // Too large for a double: ldexp gives infinity, which is clamped.
    const double result = std::ldexp(double(mantissa), exponent - 16383 - 63);
    return std::isfinite(result) ? result : DBL_MAX;
}

std::int32_t OpenAudioFileInfo(AudioFileInfo& info, std::FILE* file) {
    info = AudioFileInfo{};
    if (file == nullptr) return info.kind;
    Source src;
    src.file = file;
    if (fseeko(file, 0, SEEK_END) != 0) return info.kind;
    const off_t size = ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0) return info.kind;
    src.size = size;

    if (ReadAiffHeader(info, src)) {
        info.kind = AudioKindAiff;
        return info.kind;
    }
    info = AudioFileInfo{};
    if (ReadWavHeader(info, src)) {
        info.kind = AudioKindWav;
        return info.kind;
    }
    info = AudioFileInfo{};
    return info.kind;
}

void FreeAudioFileInfo(AudioFileInfo& info) {
    // Nothing is allocated; the file belongs to the caller.
    info = AudioFileInfo{};
}

bool IsUsableAudio(const AudioFileInfo& info) {
    if (!HasReadableFormat(info) || info.dataStart == 0) return false;
    const double rate = ExtendedToDouble(info.sampleRate);
    return rate >= 1.0 && rate <= 4294967295.0;
}

std::uint64_t FramesInFile(const AudioFileInfo& info, std::int64_t fileSize) {
    if (!HasReadableFormat(info) || info.dataStart == 0 || fileSize <= info.dataStart) return 0;
    const std::uint64_t frameBytes = std::uint64_t(info.channels) * info.BytesPerSample();
    return std::min<std::uint64_t>(info.frames,
                                   std::uint64_t(fileSize - info.dataStart) / frameBytes);
}

Status SeekFrame(const AudioFileInfo& info, std::FILE* file, std::uint32_t frame) {
    if (file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoAudioFileOpen);
    if (!HasReadableFormat(info)) return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile);
    const std::int64_t pos =
        info.dataStart + std::int64_t(frame) * info.channels * std::int64_t(info.BytesPerSample());
    if (fseeko(file, off_t(pos), SEEK_SET) != 0) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotSeek);
    }
    return Status::Ok();
}

std::size_t ReadFrames(const AudioFileInfo& info, std::FILE* file, std::size_t frameCount,
                       std::int16_t* samples) {
    return ReadFrameChannels(info, file, frameCount, info.channels, samples);
}

std::size_t ReadFrameChannels(const AudioFileInfo& info, std::FILE* file, std::size_t frameCount,
                              int keep, std::int16_t* samples) {
    if (samples == nullptr || info.channels <= 0 || keep <= 0 || keep > info.channels) return 0;
    const std::size_t channels = std::size_t(info.channels);
    const std::size_t kept = std::size_t(keep);
    if (frameCount > std::numeric_limits<std::size_t>::max() / channels) return 0;
    const std::size_t total = frameCount * kept;
    // Samples are stored frame by frame and the file is read in order, so
    // those read from the file are always the first `done`.
    std::size_t done = 0;

    // dataStart 0 means the file has no sample data: nothing to read.
    if (file != nullptr && HasReadableFormat(info) && info.dataStart > 0) {
        const std::size_t width = std::size_t(info.BytesPerSample());
        const bool wav = info.kind == AudioKindWav;
        const std::size_t frameBytes = width * channels;
        std::uint8_t buffer[16384];
        if (frameBytes <= sizeof buffer) {
            const std::size_t framesPerRead = sizeof buffer / frameBytes;
            for (std::size_t frame = 0; frame < frameCount;) {
                const std::size_t want = std::min(framesPerRead, frameCount - frame);
                const std::size_t got = std::fread(buffer, 1, want * frameBytes, file);
                const std::size_t whole = got / width;
                for (std::size_t i = 0; i < whole; ++i) {
                    const std::size_t c = i % channels;
                    if (c < kept) {
                        samples[(frame + i / channels) * kept + c] =
                            SampleAt(buffer + i * width, width, wav);
                    }
                }
                done += whole / channels * kept + std::min(whole % channels, kept);
                if (got < want * frameBytes) break;
                frame += want;
            }
        } else {
            // Frames wider than the buffer: read the kept channels of each
            // and seek over the rest.
            const std::int64_t skip = std::int64_t((channels - kept) * width);
            for (std::size_t frame = 0; frame < frameCount; ++frame) {
                std::size_t c = 0;
                while (c < kept) {
                    const std::size_t want = std::min(kept - c, sizeof buffer / width);
                    const std::size_t got = std::fread(buffer, 1, want * width, file);
                    const std::size_t whole = got / width;
                    for (std::size_t i = 0; i < whole; ++i) {
                        samples[frame * kept + c + i] = SampleAt(buffer + i * width, width, wav);
                    }
                    done += whole;
                    c += whole;
                    if (whole < want) break;
                }
                if (c < kept || (skip > 0 && fseeko(file, off_t(skip), SEEK_CUR) != 0)) break;
            }
        }
    }
    std::fill(samples + done, samples + total, std::int16_t(0));
    return done;
}

Status WriteWavHeader(AudioFileInfo& info, std::FILE* file, WavFormat format) {
    if (file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    if (format.channels == 0 || format.bitsPerSample < 8) {
        return Status::Fail(ErrorCode::Failed, kMsgWavWithoutSamples);
    }
    info.file = file;
    info.bytesWritten = 0;

    std::uint8_t start[16];
    std::memcpy(start, "RIFF\0\0\0\0WAVEfmt ", 16);
    if (Status s = Put(file, start, sizeof start); !s) return s;
    if (Status s = Tell(file, info.sizeFieldPos); !s) return s;
    const std::uint8_t zero[4] = {};
    if (Status s = Put(file, zero, 4); !s) return s;

    format.extraSize = 18;
    std::uint8_t block[18];
    SetLE16(block, format.formatTag);
    SetLE16(block + 2, format.channels);
    SetLE32(block + 4, format.samplesPerSec);
    SetLE32(block + 8, format.avgBytesPerSec);
    SetLE16(block + 12, format.blockAlign);
    SetLE16(block + 14, format.bitsPerSample);
    SetLE16(block + 16, format.extraSize);
    if (Status s = Put(file, block, sizeof block); !s) return s;

    if (Status s = Tell(file, info.endPos); !s) return s;
    std::uint8_t formatSize[4];
    SetLE32(formatSize, std::uint32_t(info.endPos - info.sizeFieldPos - 4));
    if (Status s = PutAt(file, info.sizeFieldPos, formatSize); !s) return s;
    if (Status s = Seek(file, info.endPos); !s) return s;

    if (Status s = Put(file, "data", 4); !s) return s;
    if (Status s = Tell(file, info.sizeFieldPos); !s) return s;
    return Put(file, zero, 4);
}

Status WriteWavSamples(AudioFileInfo& info, const void* bytes, std::size_t byteCount) {
    if (info.file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    if (byteCount == 0) return Status::Ok();
    if (bytes == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoSampleData);
    if (Status s = CheckRoom(info, byteCount, kMaxWavSampleBytes); !s) return s;
    if (Status s = Put(info.file, bytes, byteCount); !s) return s;
    info.bytesWritten += std::int64_t(byteCount);
    return Status::Ok();
}

Status CloseWav(AudioFileInfo& info) {
    std::FILE* file = info.file;
    if (file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    if (Status s = PadSampleData(info); !s) return s;
    if (Status s = Tell(file, info.endPos); !s) return s;
    if (info.endPos - 8 > kMaxFormSize || info.bytesWritten > kMaxWavSampleBytes) {
        return TooLarge(kMaxWavSampleBytes);
    }
    std::uint8_t field[4];
    SetLE32(field, std::uint32_t(info.bytesWritten));
    if (Status s = PutAt(file, info.sizeFieldPos, field); !s) return s;
    SetLE32(field, std::uint32_t(info.endPos - 8));
    if (Status s = PutAt(file, 4, field); !s) return s;
    return Flush(file);
}

Status WriteAiffHeader(AudioFileInfo& info, std::FILE* file) {
    if (file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    if (info.channels < 1 || info.channels > 65535 ||
        (info.bitsPerSample != 8 && info.bitsPerSample != 16)) {
        return Status::Fail(ErrorCode::Failed, kMsgAiffLayout);
    }
    info.file = file;
    info.bytesWritten = 0;

    std::uint8_t start[22];
    std::memcpy(start, "FORM\0\0\0\0AIFFCOMM", 16);
    SetBE32(start + 16, 18);
    SetBE16(start + 20, std::uint32_t(info.channels));
    if (Status s = Put(file, start, sizeof start); !s) return s;

    if (Status s = Tell(file, info.framesFieldPos); !s) return s;
    std::uint8_t format[6];
    SetBE32(format, info.frames);
    SetBE16(format + 4, std::uint32_t(info.bitsPerSample));
    if (Status s = Put(file, format, sizeof format); !s) return s;
    if (Status s = Put(file, info.sampleRate.data(), info.sampleRate.size()); !s) return s;

    if (Status s = Put(file, "SSND", 4); !s) return s;
    if (Status s = Tell(file, info.sizeFieldPos); !s) return s;
    const std::uint8_t zeros[12] = {};  // size, offset, block size
    return Put(file, zeros, sizeof zeros);
}

Status WriteAiffSamples(AudioFileInfo& info, const std::int16_t* samples, std::size_t count) {
    if (info.file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    if (count == 0) return Status::Ok();
    if (samples == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoSampleData);
    if (info.bitsPerSample == 8) {
        // 8-bit data: `count` bytes, already signed bytes in file order.
        if (Status s = CheckRoom(info, count, kMaxAiffSampleBytes); !s) return s;
        if (Status s = Put(info.file, samples, count); !s) return s;
        info.bytesWritten += std::int64_t(count);
        return Status::Ok();
    }
    if (count > std::numeric_limits<std::size_t>::max() / 2) {
        return Status::Fail(ErrorCode::Failed, kMsgTooManySamples);
    }
    if (Status s = CheckRoom(info, count * 2, kMaxAiffSampleBytes); !s) return s;
    std::uint8_t buffer[8192];
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, sizeof buffer / 2);
        for (std::size_t i = 0; i < n; ++i) {
            SetBE16(buffer + 2 * i, std::uint16_t(samples[done + i]));
        }
        if (Status s = Put(info.file, buffer, 2 * n); !s) return s;
        info.bytesWritten += std::int64_t(2 * n);
        done += n;
    }
    return Status::Ok();
}

Status CloseAiff(AudioFileInfo& info) {
    std::FILE* file = info.file;
    if (file == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoOutputFile);
    const std::int64_t frameBytes = std::int64_t((info.bitsPerSample + 7) / 8) * info.channels;
    if (frameBytes <= 0) {
        return Status::Fail(ErrorCode::Failed, kMsgAiffNoFrameSize);
    }
    if (Status s = PadSampleData(info); !s) return s;
    if (Status s = Tell(file, info.endPos); !s) return s;
    if (info.endPos - 8 > kMaxFormSize || info.bytesWritten > kMaxAiffSampleBytes) {
        return TooLarge(kMaxAiffSampleBytes);
    }
    std::uint8_t field[4];
    SetBE32(field, std::uint32_t(info.bytesWritten + 8));
    if (Status s = PutAt(file, info.sizeFieldPos, field); !s) return s;
    info.frames = std::uint32_t(info.bytesWritten / frameBytes);
    SetBE32(field, info.frames);
    if (Status s = PutAt(file, info.framesFieldPos, field); !s) return s;
    SetBE32(field, std::uint32_t(info.endPos - 8));
    if (Status s = PutAt(file, 4, field); !s) return s;
    return Flush(file);
}

}  // namespace trx5
