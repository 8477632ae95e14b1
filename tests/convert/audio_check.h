// Helpers for the conversion and command-line tests: take files of random
// codes, small WAV files built byte by byte, reading audio files back, and
// sox run on files.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "audiofile/audio_source.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "support/reference_codec.h"
#include "support/test_support.h"

namespace trx5test {

using Samples = std::vector<std::int16_t>;

// A take file: the header, then `blocks` blocks of random bytes (every byte
// is a valid code), then `extraBytes` more random bytes.
inline void WriteRandomTake(const std::string& path, int blocks, unsigned seed,
                            int extraBytes = 0) {
    std::mt19937 rng(seed);
    const trx5::TakeHeader header = trx5::MakeTakeHeader(false);
    Bytes b(header.begin(), header.end());
    for (int i = 0; i < blocks * 512 + extraBytes; ++i) b.push_back(std::uint8_t(rng()));
    WriteFile(path, b);
}

// A take file whose samples all equal `value`.
inline void WriteConstantTake(const std::string& path, int blocks, bool longMode,
                              std::int16_t value) {
    const trx5::TakeHeader header = trx5::MakeTakeHeader(longMode);
    Bytes b(header.begin(), header.end());
    const Samples samples(trx5::SamplesPerBlock(longMode), value);
    const trx5ref::Block block = trx5ref::EncodeBlock(samples.data(), longMode);
    for (int n = 0; n < blocks; ++n) b.insert(b.end(), block.begin(), block.end());
    WriteFile(path, b);
}

// The take file the import must write for these mono samples: the header,
// then the blocks, the last one padded with zero samples.
inline Bytes ExpectedTake(const Samples& mono, bool longMode) {
    return trx5ref::EncodeTake(mono, longMode);
}

// The decoded samples of every block of a take file after its header; a
// trailing part of a block is decoded as if zero-filled.
inline Samples DecodeTakeFile(const std::string& path, bool longMode) {
    return trx5ref::DecodeTakeBytes(ReadFile(path), longMode);
}

struct AudioData {
    int kind = 0;
    int channels = 0;
    std::uint32_t frames = 0;
    double rate = 0;
    int bits = 0;
    Samples samples;  // interleaved
};

// The file as the program's reader sees it; none when it cannot be opened.
inline std::optional<AudioData> ReadAudio(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    trx5::AudioFileInfo info;
    AudioData d;
    d.kind = trx5::OpenAudioFileInfo(info, f);
    d.channels = info.channels;
    d.frames = info.frames;
    d.rate = trx5::ExtendedToDouble(info.sampleRate);
    d.bits = info.bitsPerSample;
    if (d.kind != trx5::AudioKindNone && d.channels > 0) {
        d.samples.resize(std::size_t(d.frames) * d.channels);
        if (trx5::SeekFrame(info, f, 0).ok()) trx5::ReadFrames(info, f, d.frames, d.samples.data());
    }
    trx5::FreeAudioFileInfo(info);
    std::fclose(f);
    return d;
}

// A PCM WAV file: 16-bit samples, or for bits 8 the low byte of each value
// as an unsigned byte.
inline Bytes WavBytes(int channels, std::uint32_t rate, int bits, const Samples& samples) {
    const std::uint32_t bytesPerSample = bits / 8;
    const std::uint32_t dataBytes = std::uint32_t(samples.size()) * bytesPerSample;
    Bytes b;
    PutText(b, "RIFF");
    PutLE32(b, 36 + dataBytes + (dataBytes & 1));
    PutText(b, "WAVEfmt ");
    PutLE32(b, 16);
    PutLE16(b, 1);
    PutLE16(b, channels);
    PutLE32(b, rate);
    PutLE32(b, rate * channels * bytesPerSample);
    PutLE16(b, channels * bytesPerSample);
    PutLE16(b, bits);
    PutText(b, "data");
    PutLE32(b, dataBytes);
    for (std::int16_t s : samples) {
        if (bits == 8) {
            b.push_back(std::uint8_t(s));
        } else {
            PutLE16(b, std::uint16_t(s));
        }
    }
    if (dataBytes & 1) b.push_back(0);
    return b;
}

// A 16-bit AIFF file whose COMM chunk claims `frames` frames at `rate`
// (the samples given need not fill them) and whose SSND chunk holds the
// samples, big-endian.
inline Bytes AiffBytes(int channels, std::uint32_t frames, const trx5::Extended80& rate,
                       const Samples& samples) {
    const std::uint32_t dataBytes = std::uint32_t(samples.size()) * 2;
    Bytes b;
    PutText(b, "FORM");
    PutBE32(b, 4 + 26 + 16 + dataBytes);
    PutText(b, "AIFFCOMM");
    PutBE32(b, 18);
    PutBE16(b, channels);
    PutBE32(b, frames);
    PutBE16(b, 16);
    b.insert(b.end(), rate.begin(), rate.end());
    PutText(b, "SSND");
    PutBE32(b, 8 + dataBytes);
    PutBE32(b, 0);
    PutBE32(b, 0);
    for (std::int16_t s : samples) PutBE16(b, std::uint16_t(s));
    return b;
}

// A 32-bit float WAV (format tag 3) of 16-bit samples, each stored as
// sample / 32768: a file the own reader does not recognise.
inline Bytes FloatWavBytes(int channels, std::uint32_t rate, const Samples& samples) {
    const std::uint32_t dataBytes = std::uint32_t(samples.size()) * 4;
    Bytes b;
    PutText(b, "RIFF");
    PutLE32(b, 36 + dataBytes);
    PutText(b, "WAVEfmt ");
    PutLE32(b, 16);
    PutLE16(b, 3);
    PutLE16(b, channels);
    PutLE32(b, rate);
    PutLE32(b, rate * channels * 4);
    PutLE16(b, channels * 4);
    PutLE16(b, 32);
    PutText(b, "data");
    PutLE32(b, dataBytes);
    for (std::int16_t s : samples) PutLE32(b, std::bit_cast<std::uint32_t>(float(s) / 32768.0f));
    return b;
}

// Interleaved frames of a sum of three sines per channel, each channel its
// own, peaking near -3 dBFS.
inline Samples SumOfSines(std::size_t frames, int channels, double rate) {
    constexpr double kPi = 3.14159265358979323846;
    const double tones[2][3] = {{220.0, 1000.0, 3150.0}, {330.0, 1500.0, 5100.0}};
    Samples s(frames * std::size_t(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            for (double f : tones[c % 2]) v += 7500.0 * std::sin(2 * kPi * f * double(i) / rate);
            s[i * std::size_t(channels) + std::size_t(c)] = std::int16_t(std::lround(v));
        }
    }
    return s;
}

// One channel of interleaved frames.
inline Samples Channel(const Samples& frames, int channels, int c) {
    Samples out;
    for (std::size_t i = std::size_t(c); i < frames.size(); i += std::size_t(channels)) {
        out.push_back(frames[i]);
    }
    return out;
}

// Every frame a source gives, read in pieces of an odd size.
inline Samples ReadAllFrames(trx5::AudioSource& source, int keep = 0) {
    if (keep == 0) keep = source.info().channels;
    Samples all;
    Samples piece(std::size_t(777) * std::size_t(keep));
    for (std::size_t got; (got = source.ReadChannels(piece.data(), 777, keep)) > 0;) {
        all.insert(all.end(), piece.begin(), piece.begin() + std::ptrdiff_t(got) * keep);
    }
    return all;
}

// A path in single quotes, for a shell command.
inline std::string Quote(const std::string& path) {
    std::string quoted = "'";
    quoted += path;
    quoted += "' ";
    return quoted;
}

// The checksum of an Ogg page (CRC-32 with polynomial 0x04c11db7, not
// reflected), taken with the page's own checksum field zero.
inline std::uint32_t OggPageCrc(const std::uint8_t* page, std::size_t size) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= std::uint32_t(page[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// Sets the granule position (the frames up to its end) of an Ogg file's
// last page, with the checksum that makes the page valid again.
inline void SetLastOggGranule(Bytes& ogg, std::uint64_t granule) {
    std::size_t at = ogg.size() - 4;
    while (at > 0 &&
           !(ogg[at] == 'O' && ogg[at + 1] == 'g' && ogg[at + 2] == 'g' && ogg[at + 3] == 'S')) {
        --at;
    }
    const std::size_t segments = ogg[at + 26];
    std::size_t size = 27 + segments;
    for (std::size_t i = 0; i < segments; ++i) size += ogg[at + 27 + i];
    for (int i = 0; i < 8; ++i) ogg[at + 6 + std::size_t(i)] = std::uint8_t(granule >> (8 * i));
    for (int i = 0; i < 4; ++i) ogg[at + 22 + std::size_t(i)] = 0;
    const std::uint32_t crc = OggPageCrc(&ogg[at], size);
    for (int i = 0; i < 4; ++i) ogg[at + 22 + std::size_t(i)] = std::uint8_t(crc >> (8 * i));
}

// Sets the 36-bit total-samples field of a FLAC file's stream info (the
// block right after "fLaC"; the field is the low half of byte 21 and
// bytes 22 to 25).
inline void SetFlacTotalSamples(Bytes& flac, std::uint64_t samples) {
    flac[21] = std::uint8_t((flac[21] & 0xF0) | ((samples >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i) flac[22 + std::size_t(i)] = std::uint8_t(samples >> (24 - 8 * i));
}

// Sets the 20-bit sampling rate of a FLAC file's stream info.
inline void SetFlacRate(Bytes& flac, std::uint32_t rate) {
    flac[18] = std::uint8_t(rate >> 12);
    flac[19] = std::uint8_t(rate >> 4);
    flac[20] = std::uint8_t((flac[20] & 0x0F) | (rate & 0x0F) << 4);
}

// Overwrites stretches in the second quarter of a file with a fixed pattern:
// a compressed stream damaged in the middle.
inline void Scramble(Bytes& bytes) {
    std::uint32_t value = 12345;
    for (std::size_t at = bytes.size() / 4; at + 20 < bytes.size() / 2; at += 997) {
        for (std::size_t i = 0; i < 20; ++i) {
            value = value * 1664525u + 1013904223u;
            bytes[at + i] = std::uint8_t(value >> 24);
        }
    }
}

}  // namespace trx5test

#include <gtest/gtest.h>

namespace trx5test {

// Runs sox with these arguments (paths quoted by the caller); true when it
// succeeded.
inline bool Sox(const std::string& arguments) {
    const std::string command = std::string("'") + TRX5_SOX + "' -q " + arguments;
    return std::system(command.c_str()) == 0;
}

// An MP3 file of `minutes` minutes of 44100 Hz stereo: one minute made by
// sox, repeated (MPEG frames follow one another; a decoder plays them all).
inline std::string MakeLongMp3(const TempDir& dir, int minutes) {
    const std::string minute = dir / "minute.mp3";
    const std::string path = dir / "long.mp3";
    EXPECT_TRUE(Sox("-n -r 44100 -c 2 " + Quote(minute) + "synth 60 sine 440 sine 660 vol 0.5"));
    const Bytes one = ReadFile(minute);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    if (out == nullptr) return path;
    for (int i = 0; i < minutes; ++i)
        EXPECT_EQ(std::fwrite(one.data(), 1, one.size(), out), one.size());
    EXPECT_EQ(std::fclose(out), 0);
    return path;
}

// Files whose headers claim other lengths than they hold, each made by sox
// from three seconds of 44100 Hz stereo and patched: the lengths a reader
// could tell from the header alone are wrong by hours or seconds.
struct DamagedFile {
    std::string path;
    const char* what;
};
inline std::vector<DamagedFile> MakeDamagedFiles(const TempDir& dir) {
    const Samples frames = SumOfSines(3 * 44100, 2, 44100);
    const std::string base = dir / "damaged-base.wav";
    WriteFile(base, WavBytes(2, 44100, 16, frames));
    auto made = [&](const std::string& name) {
        const std::string path = dir / name;
        EXPECT_TRUE(Sox(Quote(base) + Quote(path)));
        return path;
    };
    std::vector<DamagedFile> files;
    // The last page of an Ogg stream claims 2^62 frames.
    Bytes ogg = ReadFile(made("granule.ogg"));
    SetLastOggGranule(ogg, std::uint64_t(1) << 62);
    WriteFile(dir / "granule.ogg", ogg);
    files.push_back({dir / "granule.ogg", "Ogg, last granule 2^62"});
    // A FLAC file's stream info claims 2^36 - 1 frames.
    Bytes flac = ReadFile(made("total.flac"));
    SetFlacTotalSamples(flac, (std::uint64_t(1) << 36) - 1);
    WriteFile(dir / "total.flac", flac);
    files.push_back({dir / "total.flac", "FLAC, total samples 2^36 - 1"});
    // A FLAC file cut to a fifth.
    flac = ReadFile(made("cut.flac"));
    flac.resize(flac.size() / 5);
    WriteFile(dir / "cut.flac", flac);
    files.push_back({dir / "cut.flac", "FLAC cut to a fifth"});
    // A WAV whose data chunk claims 0xFFFFFFF0 bytes.
    Bytes wav = WavBytes(2, 44100, 16, Samples(frames.begin(), frames.begin() + 2 * 8000));
    for (int i = 0; i < 4; ++i) wav[40 + std::size_t(i)] = std::uint8_t(0xFFFFFFF0u >> (8 * i));
    WriteFile(dir / "size.wav", wav);
    files.push_back({dir / "size.wav", "WAV, data size 0xFFFFFFF0"});
    // An MP3 stream damaged in the middle.
    Bytes mp3 = ReadFile(made("damaged.mp3"));
    Scramble(mp3);
    WriteFile(dir / "damaged.mp3", mp3);
    files.push_back({dir / "damaged.mp3", "MP3 damaged in the middle"});
    return files;
}

inline std::uint32_t LE32At(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
inline std::uint32_t BE32At(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

}  // namespace trx5test
