// AudioSource: WAV/AIFF files of the own reader as they always were, every
// other format through libsndfile (its frames, rate, sample format line and
// samples), the files refused, and sources shaped for a take.
#include "audiofile/audio_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audiofile/audio_file_text.h"
#include "audiofile/converted_source.h"
#include "convert/audio_check.h"

namespace {

using trx5::AudioSource;
using trx5test::Bytes;
using trx5test::Samples;
using trx5test::TempDir;

std::unique_ptr<AudioSource> OpenOrFail(const std::string& path) {
    auto opened = AudioSource::Open(path);
    EXPECT_TRUE(opened.ok()) << path << ": " << opened.Describe();
    return opened ? std::move(opened.value()) : nullptr;
}

std::vector<std::string> Lines(const std::string& path) {
    const auto text = trx5::DescribeAudioFile(path);
    if (!text) return {text.Describe()};
    return {text->rate, text->frames, text->bits};
}

// The own reader's files: the frames they really hold, their samples, and
// the width as the sample format.
TEST(AudioSource, OwnReaderFiles) {
    TempDir dir;
    const Samples stereo = trx5test::SumOfSines(1000, 2, 22050);
    Bytes claims = trx5test::WavBytes(2, 22050, 16, stereo);
    claims[40] = claims[41] = claims[42] = claims[43] = 0xFF;  // claims about 4 GiB
    trx5test::WriteFile(dir / "claims.wav", claims);
    trx5test::WriteFile(dir / "m.aif",
                        trx5test::AiffBytes(1, 700, trx5::RateToExtended(8000),
                                            Samples(stereo.begin(), stereo.begin() + 700)));
    struct Case {
        std::string path;
        int channels;
        double rate;
        std::uint64_t frames;
    };
    const Case cases[] = {{dir / "claims.wav", 2, 22050, 1000}, {dir / "m.aif", 1, 8000, 700}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto source = OpenOrFail(c.path);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->info().channels, c.channels);
        EXPECT_EQ(source->info().rate, c.rate);
        EXPECT_EQ(source->info().frames, c.frames);
        EXPECT_EQ(source->info().sampleFormat, "16");
        const Samples expected(stereo.begin(),
                               stereo.begin() + std::ptrdiff_t(c.frames) * c.channels);
        EXPECT_EQ(trx5test::ReadAllFrames(*source), expected);
    }
}

// A float WAV built byte by byte goes through libsndfile; its samples are
// the 16-bit ones it was made from, also when only the first channel is
// kept.
TEST(AudioSource, FloatWavGivesItsSixteenBitSamples) {
    TempDir dir;
    Samples frames = trx5test::SumOfSines(5000, 2, 48000);
    frames[0] = -32768;
    frames[1] = 32767;
    trx5test::WriteFile(dir / "f.wav", trx5test::FloatWavBytes(2, 48000, frames));
    const auto source = OpenOrFail(dir / "f.wav");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->info().sampleFormat, "32 float (WAV)");
    EXPECT_EQ(trx5test::ReadAllFrames(*source, 1), trx5test::Channel(frames, 2, 0));
    EXPECT_EQ(Lines(dir / "f.wav"),
              (std::vector<std::string>{"Sampling Rate : 48000.00Hz",
                                        "Sampling Frames : 5000 (stereo)  0:00:00:104",
                                        "Bits / Word : 32 float (WAV)"}));
}

TEST(AudioSource, RefusedFiles) {
    TempDir dir;
    trx5test::WriteFile(dir / "text.flac", "not audio at all\n");
    trx5test::WriteFile(dir / "empty.wav", Bytes{});
    trx5test::WriteFile(dir / "none.wav", trx5test::WavBytes(1, 32000, 16, Samples()));
    trx5test::WriteFile(dir / "none-float.wav", trx5test::FloatWavBytes(2, 44100, Samples()));
    // An AIFF the own reader recognises with a rate of 0 Hz: refused, not
    // handed to libsndfile, which would make 1 Hz of it.
    trx5test::WriteFile(dir / "rate0.aif",
                        trx5test::AiffBytes(1, 100, trx5::Extended80{}, Samples(100, 5)));
    ASSERT_EQ(mkfifo((dir / "fifo.wav").c_str(), 0644), 0);
    struct Case {
        std::string path;
        const char* message;
        const char* reason;
    };
    const Case cases[] = {
        {dir / "text.flac", "The file is not a WAV/AIFF.", ""},
        {dir / "empty.wav", "The file is not a WAV/AIFF.", ""},
        {dir / "none.wav", "The file is not a WAV/AIFF.", ""},
        {dir / "none-float.wav", "The file is not a WAV/AIFF.", "the file holds no frames"},
        {dir / "rate0.aif", "The file is not a WAV/AIFF.", ""},
        {dir / "missing.wav", "The file could not be opened.", "No such file or directory"},
        {dir.path(), "The file could not be opened.", "Is a directory"},
        {dir / "fifo.wav", "The file could not be opened.", "Not a regular file"},
    };
    alarm(20);  // a FIFO must never be waited on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto opened = AudioSource::Open(c.path);
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.message(), c.message);
        EXPECT_EQ(opened.reason(), c.reason);
    }
    alarm(0);
    // Files neither reader can use have the bare captions.
    for (const char* name : {"text.flac", "empty.wav", "none-float.wav"}) {
        EXPECT_EQ(
            Lines(dir / name),
            (std::vector<std::string>{"Sampling Rate : ", "Sampling Frames : ", "Bits / Word : "}))
            << name;
    }
}

// Lossless files sox makes from a 16-bit WAV give back its samples exactly
// (24-bit FLAC samples keep their upper 16 bits, float ones are scaled by
// 32768), with the format shown in the third line.
TEST(AudioSource, LosslessFormatsGiveTheSamplesTheyWereMadeFrom) {
    TempDir dir;
    const Samples frames = trx5test::SumOfSines(88200, 2, 44100);
    trx5test::WriteFile(dir / "base.wav", trx5test::WavBytes(2, 44100, 16, frames));
    struct Case {
        const char* name;
        const char* options;
        const char* bits;
    };
    const Case cases[] = {
        {"s16.flac", "-b 16", "Bits / Word : 16 (FLAC)"},
        {"s24.flac", "-b 24", "Bits / Word : 24 (FLAC)"},
        {"f32.wav", "-e floating-point -b 32", "Bits / Word : 32 float (WAV)"},
        {"f64.wav", "-e floating-point -b 64", "Bits / Word : 64 float (WAV)"},
        {"s.w64", "-b 16", "Bits / Word : 16 (W64)"},
        {"s.caf", "-b 16", "Bits / Word : 16 (CAF)"},
        {"s.aifc", "-b 16", "Bits / Word : 16 (AIFF)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        ASSERT_TRUE(trx5test::Sox("-D " + trx5test::Quote(dir / "base.wav") + c.options + " " +
                                  trx5test::Quote(path)));
        const auto source = OpenOrFail(path);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->info().channels, 2);
        EXPECT_EQ(source->info().rate, 44100.0);
        EXPECT_EQ(source->info().frames, 88200u);
        EXPECT_EQ(trx5test::ReadAllFrames(*source), frames);
        EXPECT_EQ(Lines(path), (std::vector<std::string>{
                                   "Sampling Rate : 44100.00Hz",
                                   "Sampling Frames : 88200 (stereo)  0:00:02:000", c.bits}));
    }
}

// Compressed files: their frames are those that really decode (libsndfile
// only estimates an MP3's), and the lines say what they are.
TEST(AudioSource, CompressedFormatsCountTheFramesThatDecode) {
    TempDir dir;
    trx5test::WriteFile(dir / "base.wav",
                        trx5test::WavBytes(1, 44100, 16, trx5test::SumOfSines(66150, 1, 44100)));
    const std::pair<const char*, const char*> cases[] = {{"s.ogg", "Bits / Word : Vorbis (Ogg)"},
                                                         {"s.mp3", "Bits / Word : MP3"}};
    for (const auto& [name, bits] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir / name;
        ASSERT_TRUE(trx5test::Sox(trx5test::Quote(dir / "base.wav") + trx5test::Quote(path)));
        const auto source = OpenOrFail(path);
        ASSERT_TRUE(source);
        const std::uint64_t frames = source->info().frames;
        EXPECT_NEAR(double(frames), 66150.0, 2400.0);
        EXPECT_EQ(trx5test::ReadAllFrames(*source).size(), frames);
        char line[64];
        std::snprintf(line, sizeof line, "Sampling Frames : %llu (mono)  0:00:01:%03llu",
                      static_cast<unsigned long long>(frames),
                      static_cast<unsigned long long>(frames % 44100 * 1000 / 44100));
        EXPECT_EQ(Lines(path),
                  (std::vector<std::string>{"Sampling Rate : 44100.00Hz", line, bits}));
    }
}

// Files of kinds libsndfile knows that it cannot use are refused with the
// reason: damaged, in libsndfile's own words where they name the fault.
TEST(AudioSource, RefusedFilesSayWhy) {
    TempDir dir;
    trx5test::WriteFile(dir / "base.wav",
                        trx5test::WavBytes(2, 44100, 16, trx5test::SumOfSines(44100, 2, 44100)));
    for (const char* name : {"s.flac", "s.ogg", "s.caf", "s.au"}) {
        ASSERT_TRUE(trx5test::Sox(trx5test::Quote(dir / "base.wav") + trx5test::Quote(dir / name)));
    }
    const Bytes flac = trx5test::ReadFile(dir / "s.flac");
    const Bytes ogg = trx5test::ReadFile(dir / "s.ogg");
    const Bytes caf = trx5test::ReadFile(dir / "s.caf");
    const Bytes au = trx5test::ReadFile(dir / "s.au");
    Bytes noChannels = au;
    noChannels[20] = noChannels[21] = noChannels[22] = noChannels[23] = 0;
    Bytes encoding = au;
    encoding[15] = 99;  // no encoding AU knows
    // A FLAC file whose every byte after its metadata blocks (each a flag
    // and type byte and a 24-bit length) is damaged.
    std::size_t frames = 4;
    for (bool last = false; !last;
         frames += 4 + (flac[frames + 1] << 16 | flac[frames + 2] << 8 | flac[frames + 3])) {
        last = (flac[frames] & 0x80) != 0;
    }
    Bytes noFrame = flac;
    std::fill(noFrame.begin() + std::ptrdiff_t(frames), noFrame.end(), std::uint8_t(0x55));
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"header.flac", Bytes(flac.begin(), flac.begin() + 60), "the FLAC stream is damaged"},
        {"frames.flac", noFrame, "the FLAC stream is damaged (flac decoder lost sync)"},
        {"cut.ogg", Bytes(ogg.begin(), ogg.begin() + 200), "the Ogg stream is damaged"},
        {"cut.caf", Bytes(caf.begin(), caf.begin() + 60), "the CAF file is damaged"},
        {"channels.au", noChannels, "the AU file is damaged (channel count is zero)"},
        {"encoding.au", encoding, "this kind of AU file cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        trx5test::WriteFile(dir / c.name, c.bytes);
        const auto opened = AudioSource::Open(dir / c.name);
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.message(), "The file is not a WAV/AIFF.");
        EXPECT_EQ(opened.reason(), c.reason);
        const auto text = trx5::DescribeAudioFile(dir / c.name);
        ASSERT_TRUE(text.ok());
        EXPECT_FALSE(text->usable);
        EXPECT_EQ(text->reason, c.reason);
    }
}

// The channel layout in the frames line: mono, stereo, or the count; a
// thousand channels in an AU file read through libsndfile too.
TEST(AudioSource, ChannelCountsAreShown) {
    TempDir dir;
    trx5test::WriteFile(dir / "mono.wav", trx5test::WavBytes(1, 8000, 16, Samples(800, 7)));
    trx5test::WriteFile(dir / "three.wav", trx5test::WavBytes(3, 8000, 16, Samples(2400, 7)));
    ASSERT_TRUE(trx5test::Sox("-n -r 8000 -c 1 -b 16 " + trx5test::Quote(dir / "mono.au") +
                              "synth 1 sine 440"));
    Bytes au = trx5test::ReadFile(dir / "mono.au");
    au[20] = 0;  // the channel count, big-endian: 1000
    au[21] = 0;
    au[22] = 1000 >> 8;
    au[23] = 1000 & 0xFF;
    trx5test::WriteFile(dir / "thousand.au", au);
    const std::pair<const char*, const char*> cases[] = {
        {"mono.wav", "Sampling Frames : 800 (mono)  0:00:00:100"},
        {"three.wav", "Sampling Frames : 800 (3 channels)  0:00:00:100"},
        {"thousand.au", "Sampling Frames : 8 (1000 channels)  0:00:00:001"},
    };
    for (const auto& [name, frames] : cases) EXPECT_EQ(Lines(dir / name)[1], frames) << name;
}

// Files whose headers claim other lengths than they hold: the frames a
// source tells, and the info line shows, are those it reads.
TEST(AudioSource, DamagedHeadersTellTheFramesThatAreRead) {
    TempDir dir;
    for (const trx5test::DamagedFile& file : trx5test::MakeDamagedFiles(dir)) {
        SCOPED_TRACE(file.what);
        const auto source = OpenOrFail(file.path);
        ASSERT_TRUE(source);
        const std::uint64_t frames = source->info().frames;
        EXPECT_TRUE(source->info().framesExact);
        // Never more than sox made the file of, with a decoder's padding.
        EXPECT_LE(frames, 3u * 44100 + 4096);
        EXPECT_EQ(trx5test::ReadAllFrames(*source).size(), 2 * frames);
        EXPECT_EQ(Lines(file.path)[1].rfind(
                      "Sampling Frames : " + std::to_string(frames) + " (stereo)  0:00:0", 0),
                  0u)
            << Lines(file.path)[1];
    }
}

// Opened for playing, a file is not counted: it tells its header's claim and
// reads to the end of its stream, also converted. Counted afterwards (also
// through the conversion), it is exact; a count can be stopped.
TEST(AudioSource, OpenedForPlayingAndCountedLater) {
    TempDir dir;
    const Samples frames = trx5test::SumOfSines(3 * 44100, 2, 44100);
    trx5test::WriteFile(dir / "base.wav", trx5test::WavBytes(2, 44100, 16, frames));
    const std::string path = dir / "claims.flac";
    ASSERT_TRUE(trx5test::Sox(trx5test::Quote(dir / "base.wav") + trx5test::Quote(path)));
    Bytes flac = trx5test::ReadFile(path);
    trx5test::SetFlacTotalSamples(flac, (std::uint64_t(1) << 36) - 1);
    trx5test::WriteFile(path, flac);

    auto played = AudioSource::Open(path, trx5::FrameCount::kEstimate);
    ASSERT_TRUE(played.ok()) << played.Describe();
    EXPECT_EQ(played.value()->info().frames, (std::uint64_t(1) << 36) - 1);
    EXPECT_FALSE(played.value()->info().framesExact);
    EXPECT_EQ(trx5test::ReadAllFrames(*played.value()), frames);

    const trx5::SourceConversion to16k{2, false, 16000.0};
    auto converted = trx5::ConvertSource(
        std::move(AudioSource::Open(path, trx5::FrameCount::kEstimate).value()), to16k);
    ASSERT_TRUE(converted.ok());
    EXPECT_FALSE(converted.value()->info().framesExact);
    const std::size_t convertedFrames = trx5test::ReadAllFrames(*converted.value()).size() / 2;
    EXPECT_NEAR(double(convertedFrames), 3 * 16000.0, 1.0);

    converted = trx5::ConvertSource(
        std::move(AudioSource::Open(path, trx5::FrameCount::kEstimate).value()), to16k);
    ASSERT_TRUE(converted.ok());
    int asked = 0;
    const auto stopped = converted.value()->CountFrames([&asked] { return ++asked < 3; });
    ASSERT_TRUE(stopped.ok());
    EXPECT_FALSE(*stopped);
    EXPECT_EQ(asked, 3);

    converted = trx5::ConvertSource(
        std::move(AudioSource::Open(path, trx5::FrameCount::kEstimate).value()), to16k);
    ASSERT_TRUE(converted.ok());
    const auto counted = converted.value()->CountFrames();
    ASSERT_TRUE(counted.ok() && *counted);
    EXPECT_TRUE(converted.value()->info().framesExact);
    EXPECT_EQ(converted.value()->info().frames, 3u * 16000);
    EXPECT_EQ(trx5test::ReadAllFrames(*converted.value()).size(), 2u * 3 * 16000);
}

// A conversion gives the rounded count of frames, however the source's
// length falls against libsoxr's pieces.
TEST(ConvertedSource, GivesTheRoundedCountOfFrames) {
    struct Case {
        std::size_t frames;
        double to;
        std::uint64_t converted;
    };
    const Case cases[] = {
        {1, 32000, 1},       {7, 16000, 3},         {1000, 32000, 726},         {4096, 32000, 2972},
        {4097, 16000, 1486}, {44100, 32000, 32000}, {44100 + 13, 16000, 16005},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " to " + std::to_string(int(c.to)));
        ASSERT_EQ(trx5::ConvertedFrames(c.frames, 44100, c.to), c.converted);
        TempDir dir;
        trx5test::WriteFile(
            dir / "in.wav",
            trx5test::WavBytes(2, 44100, 16, trx5test::SumOfSines(c.frames, 2, 44100)));
        auto converted = trx5::ConvertSource(OpenOrFail(dir / "in.wav"), {2, false, c.to});
        ASSERT_TRUE(converted.ok()) << converted.Describe();
        EXPECT_EQ(converted.value()->info().frames, c.converted);
        EXPECT_EQ(converted.value()->info().rate, c.to);
        EXPECT_EQ(trx5test::ReadAllFrames(*converted.value()).size(), c.converted * 2);
    }
    EXPECT_EQ(trx5::ConvertedFrames(1000, 22050.5, 32000), 1451u);
    EXPECT_EQ(trx5::ConvertedFrames(3, 2, 1), 2u);  // 1.5 rounds up
}

// A sine converted to another rate is that sine at the new rate: 80 dB
// below it at most, once libsoxr's filter has settled.
TEST(ConvertedSource, ConvertsASineFaithfully) {
    constexpr double kPi = 3.14159265358979323846;
    TempDir dir;
    Samples in(44100);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = std::int16_t(std::lround(20000 * std::sin(2 * kPi * 1000 * double(i) / 44100)));
    }
    trx5test::WriteFile(dir / "sine.wav", trx5test::WavBytes(1, 44100, 16, in));
    for (double to : {32000.0, 16000.0}) {
        auto converted = trx5::ConvertSource(OpenOrFail(dir / "sine.wav"), {1, false, to});
        ASSERT_TRUE(converted.ok());
        const Samples out = trx5test::ReadAllFrames(*converted.value());
        ASSERT_EQ(out.size(), std::size_t(to));
        double signal = 0;
        double difference = 0;
        for (std::size_t i = 1000; i + 1000 < out.size(); ++i) {
            const double want = 20000 * std::sin(2 * kPi * 1000 * double(i) / to);
            signal += want * want;
            difference += (out[i] - want) * (out[i] - want);
        }
        EXPECT_GT(10 * std::log10(signal / difference), 80.0) << to;
    }
}

// One channel from two: each frame's (left + right) / 2, rounded toward
// minus infinity; a mono source, or a request for two channels, is not
// mixed.
TEST(ConvertedSource, MixesStereoIntoOne) {
    TempDir dir;
    const Samples stereo = {-3,     0,      3,     0,      -1, -2, 32767, 32767,
                            -32768, -32768, 32767, -32768, 5,  6,  -5,    -6};
    trx5test::WriteFile(dir / "st.wav", trx5test::WavBytes(2, 32000, 16, stereo));
    trx5test::WriteFile(dir / "mono.wav", trx5test::WavBytes(1, 32000, 16, stereo));
    auto mixed = trx5::ConvertSource(OpenOrFail(dir / "st.wav"), {1, true, 32000.0});
    ASSERT_TRUE(mixed.ok());
    EXPECT_EQ(trx5test::ReadAllFrames(*mixed.value()),
              (Samples{-2, 1, -2, 32767, -32768, -1, 5, -6}));
    auto both = trx5::ConvertSource(OpenOrFail(dir / "st.wav"), {2, true, std::nullopt});
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(trx5test::ReadAllFrames(*both.value()), stereo);
    auto mono = trx5::ConvertSource(OpenOrFail(dir / "mono.wav"), {1, true, std::nullopt});
    ASSERT_TRUE(mono.ok());
    EXPECT_EQ(trx5test::ReadAllFrames(*mono.value()), stereo);
}

}  // namespace
