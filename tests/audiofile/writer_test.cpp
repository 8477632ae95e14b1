#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "support/test_support.h"

namespace {

using trx5::AudioFileInfo;
using trx5test::Bytes;
using trx5test::PutBE16;
using trx5test::PutBE32;
using trx5test::PutLE16;
using trx5test::PutLE32;
using trx5test::PutText;

trx5::WavFormat MakeWavFormat(unsigned channels, unsigned rate) {
    trx5::WavFormat f;
    f.formatTag = 1;
    f.channels = std::uint16_t(channels);
    f.samplesPerSec = rate;
    f.avgBytesPerSec = rate * channels * 2;
    f.blockAlign = std::uint16_t(channels * 2);
    f.bitsPerSample = 16;
    return f;
}

AudioFileInfo AiffRecord(int channels, unsigned rate, int bits = 16) {
    AudioFileInfo info;
    trx5::OpenAudioFileInfo(info, nullptr);
    info.channels = channels;
    info.frames = 0;
    info.bitsPerSample = bits;
    info.sampleRate = trx5::RateToExtended(rate);
    return info;
}

// Writes a whole file with our writer: 16-bit samples (or, for 8-bit AIFF,
// the low byte of each value as one signed byte).
void WriteWithWriter(const std::string& path, bool aiff, int channels, unsigned rate, int bits,
                     const std::vector<std::int16_t>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (aiff) {
        AudioFileInfo info = AiffRecord(channels, rate, bits);
        ASSERT_TRUE(trx5::WriteAiffHeader(info, file).ok());
        if (bits == 8) {
            Bytes bytes;
            for (std::int16_t s : samples) bytes.push_back(std::uint8_t(s));
            ASSERT_TRUE(trx5::WriteAiffSamples(
                            info, reinterpret_cast<const std::int16_t*>(bytes.data()), bytes.size())
                            .ok());
        } else {
            // Two appends, to check that the byte count accumulates.
            const std::size_t half = samples.size() / 2;
            ASSERT_TRUE(trx5::WriteAiffSamples(info, samples.data(), half).ok());
            ASSERT_TRUE(
                trx5::WriteAiffSamples(info, samples.data() + half, samples.size() - half).ok());
        }
        ASSERT_TRUE(trx5::CloseAiff(info).ok());
    } else {
        AudioFileInfo info;
        trx5::OpenAudioFileInfo(info, nullptr);
        ASSERT_TRUE(trx5::WriteWavHeader(info, file, MakeWavFormat(channels, rate)).ok());
        ASSERT_TRUE(trx5::WriteWavSamples(info, samples.data(), samples.size() * 2).ok());
        ASSERT_TRUE(trx5::CloseWav(info).ok());
    }
    ASSERT_EQ(std::fclose(file), 0);
}

Bytes ExpectedWavHeader(unsigned channels, unsigned rate, std::uint32_t dataBytes) {
    Bytes b;
    PutText(b, "RIFF");
    PutLE32(b, 38 + dataBytes);
    PutText(b, "WAVEfmt ");
    PutLE32(b, 18);
    PutLE16(b, 1);
    PutLE16(b, channels);
    PutLE32(b, rate);
    PutLE32(b, rate * channels * 2);
    PutLE16(b, channels * 2);
    PutLE16(b, 16);
    PutLE16(b, 18);
    PutText(b, "data");
    PutLE32(b, dataBytes);
    return b;
}

Bytes ExpectedAiffHeader(unsigned channels, unsigned rate, std::uint32_t dataBytes) {
    Bytes b;
    PutText(b, "FORM");
    PutBE32(b, 46 + dataBytes);
    PutText(b, "AIFFCOMM");
    PutBE32(b, 18);
    PutBE16(b, channels);
    PutBE32(b, dataBytes / (2 * channels));
    PutBE16(b, 16);
    const trx5::Extended80 r = trx5::RateToExtended(rate);
    b.insert(b.end(), r.begin(), r.end());
    PutText(b, "SSND");
    PutBE32(b, dataBytes + 8);
    PutBE32(b, 0);
    PutBE32(b, 0);
    return b;
}

TEST(AudioWriter, RateToExtendedBytes) {
    using E = trx5::Extended80;
    EXPECT_EQ(trx5::RateToExtended(32000), (E{0x40, 0x0D, 0xFA, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(trx5::RateToExtended(16000), (E{0x40, 0x0C, 0xFA, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(trx5::RateToExtended(44100), (E{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(trx5::RateToExtended(1), (E{0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(trx5::RateToExtended(0xFFFFFFFF),
              (E{0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EXPECT_EQ(AudioFileInfo{}.sampleRate, trx5::RateToExtended(44100));
}

TEST(AudioWriter, EmptyFilesHaveExactHeaders) {
    struct Case {
        bool aiff;
        unsigned channels;
        unsigned rate;
    };
    for (const Case& c : {Case{false, 2, 32000}, Case{false, 1, 16000}, Case{true, 2, 32000},
                          Case{true, 1, 16000}}) {
        SCOPED_TRACE(std::string(c.aiff ? "aiff " : "wav ") + std::to_string(c.channels));
        trx5test::TempDir dir;
        const std::string path = dir / "empty";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        AudioFileInfo info;
        if (c.aiff) {
            info = AiffRecord(int(c.channels), c.rate);
            ASSERT_TRUE(trx5::WriteAiffHeader(info, file).ok());
            EXPECT_EQ(info.framesFieldPos, 22);
            EXPECT_EQ(info.sizeFieldPos, 42);
            ASSERT_TRUE(trx5::CloseAiff(info).ok());
            EXPECT_EQ(info.frames, 0u);
        } else {
            ASSERT_TRUE(trx5::WriteWavHeader(info, file, MakeWavFormat(c.channels, c.rate)).ok());
            EXPECT_EQ(info.sizeFieldPos, 42);
            ASSERT_TRUE(trx5::CloseWav(info).ok());
        }
        EXPECT_EQ(info.bytesWritten, 0);
        ASSERT_EQ(std::fclose(file), 0);

        const Bytes bytes = trx5test::ReadFile(path);
        ASSERT_EQ(bytes.size(), std::size_t(c.aiff ? trx5::kAiffHeaderSize : trx5::kWavHeaderSize));
        // Sizes 38 / 46 and 8, bytes per second rate x channels x 2.
        EXPECT_EQ(bytes, c.aiff ? ExpectedAiffHeader(c.channels, c.rate, 0)
                                : ExpectedWavHeader(c.channels, c.rate, 0));
    }
}

TEST(AudioWriter, SampleByteOrderAndSizesAfterClose) {
    const std::vector<std::int16_t> samples = {0x1234, -2, 0x7F00, -32768};
    trx5test::TempDir dir;

    WriteWithWriter(dir / "a.aif", true, 2, 32000, 16, samples);
    Bytes aiff = ExpectedAiffHeader(2, 32000, 8);
    for (std::uint8_t v : {0x12, 0x34, 0xFF, 0xFE, 0x7F, 0x00, 0x80, 0x00}) aiff.push_back(v);
    EXPECT_EQ(trx5test::ReadFile(dir / "a.aif"), aiff);

    WriteWithWriter(dir / "a.wav", false, 2, 32000, 16, samples);
    Bytes wav = ExpectedWavHeader(2, 32000, 8);
    for (std::uint8_t v : {0x34, 0x12, 0xFE, 0xFF, 0x00, 0x7F, 0x00, 0x80}) wav.push_back(v);
    EXPECT_EQ(trx5test::ReadFile(dir / "a.wav"), wav);
}

TEST(AudioWriter, OddEightBitAiffGetsPadByte) {
    trx5test::TempDir dir;
    WriteWithWriter(dir / "odd.aif", true, 1, 8000, 8, {1, -1, 127});
    const Bytes b = trx5test::ReadFile(dir / "odd.aif");
    ASSERT_EQ(b.size(), 54u + 3u + 1u);
    const Bytes formSize(b.begin() + 4, b.begin() + 8);
    EXPECT_EQ(formSize, (Bytes{0, 0, 0, 50}));
    const Bytes frames(b.begin() + 22, b.begin() + 26);
    EXPECT_EQ(frames, (Bytes{0, 0, 0, 3}));
    const Bytes ssndSize(b.begin() + 42, b.begin() + 46);
    EXPECT_EQ(ssndSize, (Bytes{0, 0, 0, 11}));
    EXPECT_EQ(Bytes(b.begin() + 54, b.end()), (Bytes{0x01, 0xFF, 0x7F, 0x00}));
}

struct RoundTrip {
    const char* name;
    bool aiff;
    int channels;
    unsigned rate;
    int bits;
    std::size_t frames;
};

const RoundTrip kRoundTrips[] = {
    {"wav mono 16000", false, 1, 16000, 16, 1001},
    {"wav stereo 32000", false, 2, 32000, 16, 3000},
    {"aiff stereo 32000", true, 2, 32000, 16, 3000},
    {"aiff mono 44100", true, 1, 44100, 16, 777},
    {"aiff 8-bit odd length", true, 1, 16000, 8, 501},
};

std::vector<std::int16_t> Pattern(const RoundTrip& c) {
    std::vector<std::int16_t> s(c.frames * std::size_t(c.channels));
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = std::int16_t(std::uint16_t(i * 7919u ^ (i << 9)));
    }
    if (s.size() >= 2) {
        s[0] = -32768;
        s[1] = 32767;
    }
    return s;
}

// What a reader delivers as 16-bit samples for what we wrote.
std::vector<std::int16_t> Expected(const RoundTrip& c, const std::vector<std::int16_t>& written) {
    if (c.bits != 8) return written;
    std::vector<std::int16_t> out;
    for (std::int16_t s : written) out.push_back(std::int16_t(std::int8_t(s) * 256));
    return out;
}

TEST(AudioWriter, OwnReaderReadsWrittenFiles) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.name);
        trx5test::TempDir dir;
        const std::string path = dir / "out";
        const std::vector<std::int16_t> samples = Pattern(c);
        WriteWithWriter(path, c.aiff, c.channels, c.rate, c.bits, samples);

        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        AudioFileInfo info;
        EXPECT_EQ(trx5::OpenAudioFileInfo(info, file),
                  c.aiff ? trx5::AudioKindAiff : trx5::AudioKindWav);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.frames, c.frames);
        EXPECT_EQ(info.sampleRate, trx5::RateToExtended(c.rate));
        std::vector<std::int16_t> read(samples.size());
        ASSERT_TRUE(trx5::SeekFrame(info, file, 0).ok());
        EXPECT_EQ(trx5::ReadFrames(info, file, c.frames, read.data()), samples.size());
        EXPECT_EQ(read, Expected(c, samples));
        std::fclose(file);
    }
}

TEST(AudioWriter, LibsndfileReadsWrittenFiles) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.name);
        trx5test::TempDir dir;
        const std::string path = dir / "out";
        const std::vector<std::int16_t> samples = Pattern(c);
        WriteWithWriter(path, c.aiff, c.channels, c.rate, c.bits, samples);

        SF_INFO sfi{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &sfi);
        ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(sfi.format & SF_FORMAT_TYPEMASK, c.aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV);
        EXPECT_EQ(sfi.samplerate, int(c.rate));
        EXPECT_EQ(sfi.channels, c.channels);
        EXPECT_EQ(sfi.frames, sf_count_t(c.frames));
        std::vector<short> read(samples.size() + std::size_t(c.channels), 0);
        EXPECT_EQ(sf_readf_short(sf, read.data(), sf_count_t(c.frames) + 1), sf_count_t(c.frames));
        read.resize(samples.size());
        EXPECT_EQ(std::vector<std::int16_t>(read.begin(), read.end()), Expected(c, samples));
        sf_close(sf);
    }
}

std::string RunForOutput(const std::string& command) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(AudioWriter, SoxReadsWrittenFiles) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.name);
        trx5test::TempDir dir;
        const std::string path = dir / (c.aiff ? "out.aiff" : "out.wav");
        const std::vector<std::int16_t> samples = Pattern(c);
        WriteWithWriter(path, c.aiff, c.channels, c.rate, c.bits, samples);

        const std::string sox = std::string("'") + TRX5_SOX + "' ";
        EXPECT_EQ(RunForOutput(sox + "--i -r '" + path + "'"), std::to_string(c.rate));
        EXPECT_EQ(RunForOutput(sox + "--i -c '" + path + "'"), std::to_string(c.channels));
        const std::string raw = dir / "out.raw";
        ASSERT_EQ(
            std::system((sox + "'" + path + "' -t raw -e signed -b 16 -L '" + raw + "'").c_str()),
            0);
        Bytes want;
        for (std::int16_t s : Expected(c, samples)) PutLE16(want, std::uint16_t(s));
        EXPECT_EQ(trx5test::ReadFile(raw), want);
    }
}

// A full device: buffered writes succeed at first, so the failure must
// surface at the latest when the sizes are patched.
TEST(AudioWriter, FullDeviceIsReported) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    const std::vector<std::int16_t> samples(4096, 0x1234);
    for (bool aiff : {false, true}) {
        SCOPED_TRACE(aiff ? "aiff" : "wav");
        std::FILE* full = std::fopen("/dev/full", "wb");
        ASSERT_NE(full, nullptr);
        AudioFileInfo info = AiffRecord(2, 32000);
        trx5::Status header = aiff ? trx5::WriteAiffHeader(info, full)
                                   : trx5::WriteWavHeader(info, full, MakeWavFormat(2, 32000));
        if (header.ok()) {
            (void)(aiff ? trx5::WriteAiffSamples(info, samples.data(), samples.size())
                        : trx5::WriteWavSamples(info, samples.data(), samples.size() * 2));
        }
        const trx5::Status close = aiff ? trx5::CloseAiff(info) : trx5::CloseWav(info);
        EXPECT_FALSE(close.ok());
        EXPECT_FALSE(close.message().empty());
        std::fclose(full);
    }
}

// A stream opened for reading refuses the very first write.
TEST(AudioWriter, ReadOnlyStreamIsRefused) {
    trx5test::TempDir dir;
    const std::string readOnlyPath = dir / "ro";
    trx5test::WriteFile(readOnlyPath, Bytes(64, 0));
    for (bool aiff : {false, true}) {
        SCOPED_TRACE(aiff ? "aiff" : "wav");
        std::FILE* readOnly = std::fopen(readOnlyPath.c_str(), "rb");
        ASSERT_NE(readOnly, nullptr);
        AudioFileInfo info = AiffRecord(1, 16000);
        const trx5::Status header =
            aiff ? trx5::WriteAiffHeader(info, readOnly)
                 : trx5::WriteWavHeader(info, readOnly, MakeWavFormat(1, 16000));
        EXPECT_FALSE(header.ok());
        EXPECT_FALSE(header.message().empty());
        std::fclose(readOnly);
    }
}

TEST(AudioWriter, UnusableStateIsRefused) {
    trx5test::TempDir dir;
    std::FILE* file = std::fopen((dir / "x").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::int16_t sample = 1;

    AudioFileInfo noHeader;
    EXPECT_FALSE(trx5::WriteWavSamples(noHeader, &sample, 2).ok());
    EXPECT_FALSE(trx5::WriteAiffSamples(noHeader, &sample, 1).ok());
    EXPECT_FALSE(trx5::CloseWav(noHeader).ok());
    EXPECT_FALSE(trx5::CloseAiff(noHeader).ok());

    AudioFileInfo info;
    EXPECT_FALSE(trx5::WriteWavHeader(info, nullptr, MakeWavFormat(1, 8000)).ok());
    EXPECT_FALSE(trx5::WriteWavHeader(info, file, MakeWavFormat(0, 8000)).ok());
    info = AiffRecord(0, 8000);
    EXPECT_FALSE(trx5::WriteAiffHeader(info, file).ok());
    info = AiffRecord(1, 8000, 24);
    EXPECT_FALSE(trx5::WriteAiffHeader(info, file).ok());
    std::fclose(file);
}

}  // namespace
