// Import of audio files of every format: rate conversion measured against
// sox's own, the samples kept as they are, the stereo mix, the blocks of a
// converted take, and files that end before their header's count.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/converted_source.h"
#include "codec/take_codec.h"
#include "convert/audio_check.h"
#include "convert/import.h"
#include "convert/recording_progress.h"

namespace {

using trx5::ImportRequest;
using trx5::TakeSlot;
using trx5test::Bytes;
using trx5test::Samples;
using trx5test::TempDir;

struct Flags {
    bool keepRate = false;
    bool mixToMono = false;
};

ImportRequest Request(const std::string& source, const std::string& card, bool longMode,
                      bool stereo, Flags flags = {}) {
    ImportRequest r;
    r.sourcePath = source;
    r.cardDir = card;
    r.longMode = longMode;
    r.first = {0, 0};
    if (stereo) r.second = TakeSlot{1, 0};
    r.keepRate = flags.keepRate;
    r.mixToMono = flags.mixToMono;
    return r;
}

// The bytes of the takes an import writes, in target order.
std::vector<Bytes> ImportedTakes(const ImportRequest& request) {
    trx5::NoProgress progress;
    const auto result = trx5::ImportTakes(request, progress);
    EXPECT_TRUE(result.ok()) << request.sourcePath << ": " << result.Describe();
    std::vector<Bytes> takes;
    if (result) {
        for (const std::string& path : result->takePaths) takes.push_back(trx5test::ReadFile(path));
    }
    return takes;
}

// The frames a file gives, all channels.
Samples SourceFrames(const std::string& path) {
    auto source = trx5::AudioSource::Open(path);
    EXPECT_TRUE(source.ok()) << path;
    return source ? trx5test::ReadAllFrames(*source.value()) : Samples();
}

// Frames at the song's rate into one take each, mixed when asked: the
// stereo mix of a file at the song's rate, and the mix ignored when the
// right channel has a take of its own.
TEST(ImportFormats, MixesStereoIntoOneTake) {
    TempDir src;
    const Samples frames = trx5test::SumOfSines(3000, 2, 32000);
    trx5test::WriteFile(src / "st.wav", trx5test::WavBytes(2, 32000, 16, frames));
    Samples mix;
    for (std::size_t i = 0; i < frames.size(); i += 2) {
        mix.push_back(std::int16_t((frames[i] + frames[i + 1]) >> 1));
    }
    TempDir one;
    EXPECT_EQ(ImportedTakes(Request(src / "st.wav", one.path(), false, false, {false, true})),
              std::vector<Bytes>{trx5test::ExpectedTake(mix, false)});
    TempDir two;
    EXPECT_EQ(ImportedTakes(Request(src / "st.wav", two.path(), false, true, {false, true})),
              (std::vector<Bytes>{trx5test::ExpectedTake(trx5test::Channel(frames, 2, 0), false),
                                  trx5test::ExpectedTake(trx5test::Channel(frames, 2, 1), false)}));
}

// A mix asked of a file that is not stereo is refused, not ignored; with a
// take for the right channel there is no mix to make, and the mono file
// goes to the first take as always.
TEST(ImportFormats, AMixNeedsAStereoFile) {
    TempDir src;
    trx5test::WriteFile(src / "mono.wav", trx5test::WavBytes(1, 32000, 16, Samples(3000, 9)));
    trx5test::WriteFile(src / "three.wav", trx5test::WavBytes(3, 32000, 16, Samples(9000, 9)));
    const std::pair<const char*, const char*> cases[] = {{"mono.wav", "the file is mono"},
                                                         {"three.wav", "the file has 3 channels"}};
    for (const auto& [name, reason] : cases) {
        TempDir card;
        trx5::NoProgress progress;
        const auto result = trx5::ImportTakes(
            Request(src / name, card.path(), false, false, {false, true}), progress);
        ASSERT_FALSE(result.ok()) << name;
        EXPECT_EQ(result.message(), "Only a stereo file can be mixed into one take.");
        EXPECT_EQ(result.reason(), reason);
        EXPECT_TRUE(std::filesystem::is_empty(card.path()));
    }
    TempDir card;
    EXPECT_EQ(ImportedTakes(Request(src / "mono.wav", card.path(), false, true, {false, true})),
              std::vector<Bytes>{trx5test::ExpectedTake(Samples(3000, 9), false)});
}

// With a conversion the progress counts the whole blocks of the converted
// frames; the take holds them and a tail block. An abort keeps the blocks
// written and, as without conversion, the converted frames that follow.
TEST(ImportFormats, ConvertedTakeBlocks) {
    struct Case {
        bool longMode;
        std::size_t frames;
        std::uint64_t stopAt;  // no stop when beyond the blocks
    };
    const Case cases[] = {
        {false, 1, 99}, {false, 44100 + 17, 99}, {true, 44100 * 2 + 5, 99}, {false, 44100 * 2, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + (c.longMode ? " long" : " hifi"));
        TempDir src, card;
        trx5test::WriteFile(
            src / "in.wav",
            trx5test::WavBytes(1, 44100, 16, trx5test::SumOfSines(c.frames, 1, 44100)));
        const std::size_t spb = trx5::SamplesPerBlock(c.longMode);
        const std::uint64_t converted =
            trx5::ConvertedFrames(c.frames, 44100, trx5::SampleRate(c.longMode));
        const std::uint64_t blocks = converted / spb;
        trx5test::RecordingProgress progress(c.stopAt);
        // What was coded before the stop is kept, to be compared.
        ImportRequest request = Request(src / "in.wav", card.path(), c.longMode, false);
        request.keepPartOnAbort = true;
        const auto result = trx5::ImportTakes(request, progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(result->blocks, blocks);
        const bool stops = c.stopAt < blocks;
        EXPECT_EQ(result->cancelled, stops);
        ASSERT_EQ(progress.calls.size(), stops ? c.stopAt + 1 : blocks);
        for (std::uint64_t n = 0; n < progress.calls.size(); ++n) {
            EXPECT_EQ(progress.calls[n], std::make_pair(n, blocks));
        }

        auto source =
            trx5::ConvertSource(std::move(trx5::AudioSource::Open(src / "in.wav").value()),
                                {1, false, trx5::SampleRate(c.longMode)});
        ASSERT_TRUE(source.ok());
        Samples mono = trx5test::ReadAllFrames(*source.value());
        ASSERT_EQ(mono.size(), converted);
        if (stops) {
            // The blocks before the stop, then the frames after them that a
            // tail block holds.
            const std::size_t written = c.stopAt * spb;
            mono.resize(written + converted % spb);
        }
        EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"), trx5test::ExpectedTake(mono, c.longMode));
    }
}

TEST(ImportFormats, UnusableFilesAreRefused) {
    TempDir src, card;
    trx5test::WriteRandomTake(card / "00-00.aud", 3, 1);
    const Bytes take = trx5test::ReadFile(card / "00-00.aud");
    trx5test::WriteFile(src / "text.ogg", "not audio at all\n");
    trx5test::WriteFile(src / "empty.flac", Bytes{});
    trx5test::WriteFile(src / "none.wav", trx5test::FloatWavBytes(2, 44100, Samples()));
    for (const char* name : {"text.ogg", "empty.flac", "none.wav"}) {
        trx5::NoProgress progress;
        const auto result =
            trx5::ImportTakes(Request(src / name, card.path(), false, true), progress);
        ASSERT_FALSE(result.ok()) << name;
        EXPECT_EQ(result.message(), "The file is not a WAV/AIFF.") << name;
    }
    EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"), take);
}

// The lag (within +-maxLag) by which `got` is best shifted to line up with
// `want`; decoders of lossy formats may start a few frames apart.
int BestLag(const Samples& want, const Samples& got, int maxLag) {
    const std::size_t window = 8192;
    const std::size_t middle = want.size() / 2;
    int bestLag = 0;
    double best = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (std::size_t i = middle; i < middle + window; ++i) {
            const std::ptrdiff_t j = std::ptrdiff_t(i) + lag;
            if (j >= 0 && std::size_t(j) < got.size()) sum += double(want[i]) * got[std::size_t(j)];
        }
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    return bestLag;
}

// The samples as a take holds them: coded and decoded block by block.
Samples Coded(const Samples& mono, bool longMode) {
    Samples decoded = trx5ref::DecodeTakeBytes(trx5test::ExpectedTake(mono, longMode), longMode);
    decoded.resize(mono.size());
    return decoded;
}

// Signal-to-difference ratio in dB of a take's samples against sox's
// conversion lined up with them and coded as a take codes it: the take
// codec's 8-bit coding is far coarser than any difference between two
// resamplers, so both sides go through it.
double TakeSdr(const Samples& sox, const Samples& take, bool longMode) {
    const int lag = BestLag(sox, take, 1200);
    Samples lined(std::min(take.size(), sox.size()), 0);
    for (std::size_t i = 0; i < lined.size(); ++i) {
        const std::ptrdiff_t j = std::ptrdiff_t(i) - lag;
        if (j >= 0 && std::size_t(j) < sox.size()) lined[i] = sox[std::size_t(j)];
    }
    const Samples reference = Coded(lined, longMode);
    double signal = 0;
    double difference = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const double d = double(take[i]) - reference[i];
        signal += double(reference[i]) * reference[i];
        difference += d * d;
    }
    return 10 * std::log10(signal / std::max(difference, 1e-9));
}

struct Format {
    const char* name;     // the file, made by sox from a 16-bit WAV
    const char* options;  // sox's output options for it
};
const Format kFormats[] = {
    {"in.flac", "-b 24"},
    {"in.ogg", ""},
    {"in.mp3", ""},
    {"in.wav", "-e floating-point -b 32"},
};

// Three seconds of 44100 Hz stereo in each format, made by sox.
std::string MakeSource(const TempDir& dir, const Format& format) {
    const std::string base = dir / "base.wav";
    if (!trx5test::FileExists(base)) {
        trx5test::WriteFile(
            base, trx5test::WavBytes(2, 44100, 16, trx5test::SumOfSines(3 * 44100, 2, 44100)));
    }
    const std::string path = dir / format.name;
    EXPECT_TRUE(trx5test::Sox("-D " + trx5test::Quote(base) + format.options + " " +
                              trx5test::Quote(path)));
    return path;
}

// Every format into a HiFi and a LONG song, both channels (or, with the
// mix, one): each take's decoded samples against sox's conversion of the
// same file to the song's rate. The tolerance, a signal-to-difference ratio
// of 40 dB, leaves room for two resamplers and (for MP3 and Vorbis) two
// decoders that differ in detail, and for sox's dither.
TEST(ImportFormats, ConvertedTakesMatchSox) {
    constexpr double kMinSdr = 40.0;
    TempDir src;
    for (const Format& format : kFormats) {
        const std::string path = MakeSource(src, format);
        for (bool longMode : {false, true}) {
            for (bool mix : {false, true}) {
                SCOPED_TRACE(std::string(format.name) + (longMode ? " long" : " hifi") +
                             (mix ? " mixed" : ""));
                const int rate = trx5::SampleRate(longMode);
                const std::string reference = src / "reference.wav";
                ASSERT_TRUE(trx5test::Sox(
                    "-R " + trx5test::Quote(path) + "-r " + std::to_string(rate) + " -b 16 " +
                    trx5test::Quote(reference) + (mix ? "remix 1v0.5,2v0.5" : "")));
                const auto soxFrames = trx5test::ReadAudio(reference);
                ASSERT_TRUE(soxFrames);
                const int channels = mix ? 1 : 2;
                ASSERT_EQ(soxFrames->channels, channels);

                TempDir card;
                trx5::NoProgress progress;
                const auto result = trx5::ImportTakes(
                    Request(path, card.path(), longMode, !mix, {false, mix}), progress);
                ASSERT_TRUE(result.ok()) << result.Describe();
                ASSERT_EQ(result->takePaths.size(), std::size_t(channels));
                const std::uint64_t frames = trx5::AudioSource::Open(path).value()->info().frames;
                EXPECT_EQ(result->blocks, trx5::ConvertedFrames(frames, 44100, rate) /
                                              trx5::SamplesPerBlock(longMode));
                for (int c = 0; c < channels; ++c) {
                    const Samples take = trx5test::DecodeTakeFile(result->takePaths[c], longMode);
                    const double sdr =
                        TakeSdr(trx5test::Channel(soxFrames->samples, channels, c), take, longMode);
                    EXPECT_GE(sdr, kMinSdr) << "channel " << c;
                }
            }
        }
    }
}

// The samples of a file as libsndfile decodes them to 16 bits, in a WAV;
// for the lossy formats the reference of what the import decodes. Their
// decoders work in floating point, and the import has libsndfile clip their
// overshoots.
Bytes LibsndfileWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(sf, nullptr) << sf_strerror(nullptr);
    if (sf == nullptr) return {};
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    Samples all;
    Samples piece(4096 * std::size_t(info.channels));
    for (sf_count_t got; (got = sf_readf_short(sf, piece.data(), 4096)) > 0;) {
        all.insert(all.end(), piece.begin(), piece.begin() + got * info.channels);
    }
    sf_close(sf);
    return trx5test::WavBytes(info.channels, std::uint32_t(info.samplerate), 16, all);
}

// With keepRate the takes of every format are byte for byte those of a
// 16-bit WAV at the file's own rate holding the same samples; so are those
// of a file already at the song's rate, which is never converted.
TEST(ImportFormats, SamplesKeptAreThoseOfTheWavPath) {
    struct Case {
        Format format;
        bool lossy;     // the reference is libsndfile's decoding, not sox's
        bool keepRate;  // false: the file is made at the song's rate
    };
    const Case cases[] = {
        {kFormats[0], false, true},
        {kFormats[1], true, true},
        {kFormats[2], true, true},
        {kFormats[3], false, true},
        {{"at32k.flac", "-r 32000"}, false, false},
    };
    TempDir src;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format.name);
        const std::string path = MakeSource(src, c.format);
        const std::string reference = src / "reference.wav";
        if (c.lossy) {
            trx5test::WriteFile(reference, LibsndfileWav(path));
        } else {
            ASSERT_TRUE(trx5test::Sox("-D " + trx5test::Quote(path) + "-b 16 " +
                                      trx5test::Quote(reference)));
        }
        TempDir card, wavCard;
        const std::vector<Bytes> takes =
            ImportedTakes(Request(path, card.path(), false, true, {c.keepRate, false}));
        ASSERT_EQ(takes.size(), 2u);
        EXPECT_EQ(takes, ImportedTakes(
                             Request(reference, wavCard.path(), false, true, {c.keepRate, false})));
    }
}

// An MP3 stream's frames are counted by decoding it before anything is
// written: the progress is asked meanwhile (as block 0 of 1), and a stop
// then cancels the import, with or without keeping a part, leaving the
// takes as they were.
TEST(ImportFormats, CountingAsksTheProgressAndCanBeStopped) {
    TempDir src;
    const std::string path = MakeSource(src, kFormats[2]);
    const std::size_t blocks =
        trx5::ConvertedFrames(trx5::AudioSource::Open(path).value()->info().frames, 44100, 32000) /
        509;
    {
        TempDir card;
        trx5test::RecordingProgress progress;
        const auto result = trx5::ImportTakes(Request(path, card.path(), false, false), progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_FALSE(result->cancelled);
        // Counting asks once per piece of 8192 frames decoded.
        const std::size_t counting = progress.calls.size() - blocks;
        EXPECT_GE(counting, 3 * 44100 / 8192u);
        for (std::size_t n = 0; n < progress.calls.size(); ++n) {
            const auto expected = n < counting ? std::make_pair(std::uint64_t(0), std::uint64_t(1))
                                               : std::make_pair(n - counting, blocks);
            ASSERT_EQ(progress.calls[n], expected) << n;
        }
    }
    for (const bool keepPart : {false, true}) {
        SCOPED_TRACE(keepPart ? "keep part" : "cancel");
        TempDir card;
        trx5test::WriteRandomTake(card / "00-00.aud", 3, 1);
        const Bytes take = trx5test::ReadFile(card / "00-00.aud");
        ImportRequest request = Request(path, card.path(), false, false);
        request.keepPartOnAbort = keepPart;
        trx5test::RecordingProgress progress(0);
        const auto result = trx5::ImportTakes(request, progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_TRUE(result->cancelled);
        EXPECT_TRUE(result->takePaths.empty());
        EXPECT_EQ(progress.calls.size(), 1u);
        EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"), take);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(card.path())) {
            names.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(names, std::vector<std::string>{"00-00.aud"});
    }
}

// A FLAC file cut short holds fewer frames than its header promises: the
// take ends with the last frame that decodes.
TEST(ImportFormats, AFileThatEndsEarlyEndsTheTake) {
    TempDir src, card;
    const std::string path = MakeSource(src, kFormats[0]);
    ASSERT_EQ(truncate(path.c_str(), off_t(trx5test::ReadFile(path).size() / 2)), 0);
    const Samples frames = SourceFrames(path);
    ASSERT_GT(frames.size(), 0u);
    ASSERT_LT(frames.size(), 3u * 44100 * 2);
    trx5::NoProgress progress;
    const auto result =
        trx5::ImportTakes(Request(path, card.path(), false, true, {true, false}), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->blocks, frames.size() / 2 / 509);
    EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"),
              trx5test::ExpectedTake(trx5test::Channel(frames, 2, 0), false));
    EXPECT_EQ(trx5test::ReadFile(card / "00-10.aud"),
              trx5test::ExpectedTake(trx5test::Channel(frames, 2, 1), false));
}

}  // namespace
