// The import preview against an output that plays nothing: the file's own
// format, buffers of 512 frames holding exactly what the reader gives, the
// stop at the end of the file and on release, and files that cannot play.
#include "playback/preview.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audiofile/converted_source.h"
#include "convert/audio_check.h"
#include "playback/fake_sound_output.h"
#include "playback/playback_test_support.h"

namespace {

using trx5::Preview;
using trx5test::Bytes;
using trx5test::Samples;

constexpr int kFrames = Preview::kFramesPerBuffer;

// An 80-bit extended value for any positive rate, fractions included.
trx5::Extended80 Extended(double value) {
    int exponent = 0;
    const double mantissa = std::frexp(value, &exponent);  // value = mantissa * 2^exponent
    const auto bits = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
    const unsigned field = unsigned(exponent - 1 + 16383);
    trx5::Extended80 e{};
    e[0] = std::uint8_t(field >> 8);
    e[1] = std::uint8_t(field);
    for (int i = 0; i < 8; ++i) e[2 + i] = std::uint8_t(bits >> (56 - 8 * i));
    return e;
}

Samples Pattern(std::size_t count) {
    Samples s(count);
    for (std::size_t i = 0; i < count; ++i) s[i] = std::int16_t((i * 2654435761u) >> 13);
    return s;
}

// A preview with its output and what it reported.
struct Rig {
    Rig() {
        trx5test::EnsureCoreApplication();
        QObject::connect(&preview, &Preview::Stopped, [this] {
            ++stopped;
            returnedAtStop = out.returned.size();
            queuedAtStop = out.queued.size();
        });
    }

    void PlayToEnd() {
        for (int i = 0; i < 10000 && preview.Playing(); ++i) out.Play(1);
        QCoreApplication::processEvents();
    }

    // Everything queued from entry `from` on, one buffer after the other.
    Samples QueuedSamples(std::size_t from = 0) const {
        Samples all;
        for (std::size_t i = from; i < out.queued.size(); ++i) {
            all.insert(all.end(), out.queued[i].samples.begin(), out.queued[i].samples.end());
        }
        return all;
    }

    FakeSoundOutput out;
    Preview preview{out};
    int stopped = 0;
    std::size_t returnedAtStop = 0;
    std::size_t queuedAtStop = 0;
};

class PreviewTest : public ::testing::Test {
  protected:
    std::string File(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_ / name;
        trx5test::WriteFile(path, bytes);
        return path;
    }

    // A WAV of `frames` frames of a pattern.
    std::string Wav(const std::string& name, int channels, std::uint32_t rate, int frames,
                    int bits = 16) {
        return File(name, trx5test::WavBytes(channels, rate, bits,
                                             Pattern(std::size_t(frames) * channels)));
    }

    trx5test::TempDir dir_;
};

// Each file plays in its own channel count at its rate cut to whole hertz;
// buffers are queued until one read finds nothing, and the preview stops
// only when that buffer has come back, so every frame has been played.
TEST_F(PreviewTest, PlaysEveryFrameOfTheFileInItsOwnFormat) {
    struct Case {
        const char* name;
        std::string path;
        int channels;
        int rate;
        int frames;
    };
    const Case cases[] = {
        {"stereo WAV, a part buffer at the end", Wav("s.wav", 2, 44100, 3 * kFrames + 100), 2,
         44100, 3 * kFrames + 100},
        {"3 channels, longer than 16 buffers", Wav("3.wav", 3, 16000, 20 * kFrames + 7), 3, 16000,
         20 * kFrames + 7},
        {"whole buffers only", Wav("m.wav", 1, 8000, 2 * kFrames), 1, 8000, 2 * kFrames},
        {"8-bit WAV", Wav("8.wav", 1, 11025, 300, 8), 1, 11025, 300},
        {"AIFF at 22050.5 Hz",
         File("f.aif", trx5test::AiffBytes(1, 1000, Extended(22050.5), Pattern(1000))), 1, 22050,
         1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_TRUE(rig.preview.Start(c.path));
        EXPECT_TRUE(rig.preview.Playing());
        EXPECT_EQ(rig.out.format.channels, c.channels);
        EXPECT_EQ(rig.out.format.sampleRate, c.rate);
        // The buffers that hold frames, and the one that found the end.
        const int total = (c.frames + kFrames - 1) / kFrames + 1;
        EXPECT_EQ(rig.out.queued.size(), std::size_t(std::min(total, 16)));
        // The sound begins once they are all queued.
        EXPECT_EQ(rig.out.starts, 1);
        EXPECT_EQ(rig.out.queuedAtStart, rig.out.queued.size());
        for (const auto& q : rig.out.queued) {
            EXPECT_EQ(q.samples.size(), std::size_t(kFrames) * c.channels);
        }

        rig.PlayToEnd();
        EXPECT_EQ(rig.stopped, 1);
        EXPECT_EQ(rig.out.queued.size(), std::size_t(total));
        EXPECT_EQ(rig.returnedAtStop, rig.queuedAtStop);
        EXPECT_FALSE(rig.out.IsOpen());
        EXPECT_FALSE(rig.preview.Playing());
        EXPECT_EQ(rig.out.queuedTwice, 0);

        const std::optional<trx5test::AudioData> file = trx5test::ReadAudio(c.path);
        ASSERT_TRUE(file);
        Samples expected = file->samples;
        ASSERT_EQ(expected.size(), std::size_t(c.frames) * c.channels);
        expected.resize(std::size_t(total) * kFrames * c.channels, 0);
        EXPECT_EQ(rig.QueuedSamples(), expected);
    }
}

TEST_F(PreviewTest, ReleasingTheButtonStopsAtOnce) {
    Rig rig;
    ASSERT_TRUE(rig.preview.Start(Wav("long.wav", 2, 32000, 40 * kFrames)));
    rig.out.Play(3);
    ASSERT_EQ(rig.out.queued.size(), 19u);
    rig.preview.StopPreview();

    EXPECT_EQ(rig.stopped, 1);
    EXPECT_FALSE(rig.preview.Playing());
    EXPECT_GE(rig.out.resets, 1);
    EXPECT_EQ(rig.out.closes, 1);
    EXPECT_FALSE(rig.out.IsOpen());
    EXPECT_EQ(rig.out.Pending(), 0u);
    rig.out.Play(5);
    EXPECT_EQ(rig.out.queued.size(), 19u);
    const std::set<trx5::SoundBuffer*> back(rig.out.returned.begin() + 3, rig.out.returned.end());
    EXPECT_EQ(back.size(), 16u);
}

TEST_F(PreviewTest, AFileThatCannotPlayPlaysNothing) {
    Bytes noSound;  // an AIFF with its COMM chunk and no sample data
    trx5test::PutText(noSound, "FORM");
    trx5test::PutBE32(noSound, 4 + 26);
    trx5test::PutText(noSound, "AIFFCOMM");
    trx5test::PutBE32(noSound, 18);
    trx5test::PutBE16(noSound, 1);
    trx5test::PutBE32(noSound, 100);
    trx5test::PutBE16(noSound, 16);
    const trx5::Extended80 rate = trx5::RateToExtended(8000);
    noSound.insert(noSound.end(), rate.begin(), rate.end());

    const std::string paths[] = {
        File("text.wav", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}),
        Wav("rate0.wav", 1, 0, 1000),
        File("nosound.aif", noSound),
        File("empty.wav", Bytes{}),
        dir_ / "missing.wav",
        dir_.path(),
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Rig rig;
        EXPECT_TRUE(rig.preview.Start(path));
        QCoreApplication::processEvents();
        EXPECT_FALSE(rig.preview.Playing());
        EXPECT_EQ(rig.out.opens, 0);
        EXPECT_TRUE(rig.out.queued.empty());
        EXPECT_EQ(rig.stopped, 0);
    }
}

TEST_F(PreviewTest, AnOutputThatCannotBeOpenedPlaysNothing) {
    Rig rig;
    rig.out.failOpen = true;
    EXPECT_FALSE(rig.preview.Start(Wav("a.wav", 2, 44100, 5000)));
    EXPECT_FALSE(rig.preview.Playing());
    EXPECT_TRUE(rig.out.queued.empty());
}

TEST_F(PreviewTest, AnOutputThatCannotStartPlaysNothing) {
    Rig rig;
    rig.out.failStart = true;
    EXPECT_FALSE(rig.preview.Start(Wav("a.wav", 2, 44100, 40 * kFrames)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(rig.preview.Playing());
    EXPECT_FALSE(rig.out.IsOpen());
    // The buffers come back and are not refilled.
    EXPECT_EQ(rig.out.returned.size(), 16u);
    EXPECT_EQ(rig.out.queued.size(), 16u);
    EXPECT_EQ(rig.stopped, 0);
}

// A press right after a release, before the old buffers' notices have been
// delivered: they must not refill the new playback's buffers.
TEST_F(PreviewTest, StartingAgainBeforeTheOldNoticesKeepsTheNewQueueInOrder) {
    Rig rig;
    ASSERT_TRUE(rig.preview.Start(Wav("a.wav", 2, 44100, 40 * kFrames)));
    rig.out.Play(2);
    rig.preview.StopPreview();
    const std::size_t from = rig.out.queued.size();
    const std::string second =
        File("b.wav", trx5test::WavBytes(1, 8000, 16, Pattern(30 * kFrames)));
    ASSERT_TRUE(rig.preview.Start(second));
    rig.PlayToEnd();

    EXPECT_EQ(rig.stopped, 2);
    EXPECT_EQ(rig.out.queuedTwice, 0);
    ASSERT_EQ(rig.out.queued.size() - from, 31u);
    Samples expected = Pattern(30 * kFrames);
    expected.resize(31 * kFrames, 0);
    EXPECT_EQ(rig.QueuedSamples(from), expected);
}

// The stop asked for by a playback that reached the end of its file must not
// end the next playback when the button is released and pressed again before
// that stop notice is delivered.
TEST_F(PreviewTest, TheEndOfOnePlaybackDoesNotStopTheNext) {
    Rig rig;
    ASSERT_TRUE(rig.preview.Start(Wav("short.wav", 1, 8000, 100)));
    ASSERT_EQ(rig.out.queued.size(), 2u);
    // Both buffers come back; the one that found the end asks for the stop.
    rig.out.Finish(2);
    QCoreApplication::sendPostedEvents(&rig.out, QEvent::MetaCall);
    rig.preview.StopPreview();                                               // release
    ASSERT_TRUE(rig.preview.Start(Wav("long.wav", 1, 8000, 40 * kFrames)));  // press
    QCoreApplication::processEvents();

    EXPECT_TRUE(rig.preview.Playing());
    EXPECT_EQ(rig.stopped, 1);
    EXPECT_TRUE(rig.out.IsOpen());
}

// With a target the preview plays what an import into the song would code:
// at the song's rate, converted or with the samples kept, stereo or mixed,
// or the first channel of any other file. Without one, a file that only
// libsndfile reads plays in its own format.
TEST_F(PreviewTest, PlaysWhatTheImportWillWrite) {
    const Samples stereo = trx5test::SumOfSines(3000, 2, 44100);
    const std::string wav = File("st.wav", trx5test::WavBytes(2, 44100, 16, stereo));
    const Samples three = Pattern(3 * 1200);
    const std::string wav3 = File("3.wav", trx5test::WavBytes(3, 32000, 16, three));
    const std::string floats = File("f.wav", trx5test::FloatWavBytes(2, 48000, stereo));
    // The frames an import takes from a file.
    auto imported = [](const std::string& path, trx5::SourceConversion conversion) {
        auto source =
            trx5::ConvertSource(std::move(trx5::AudioSource::Open(path).value()), conversion);
        return source ? trx5test::ReadAllFrames(*source.value()) : Samples();
    };
    struct Case {
        const char* name;
        std::string path;
        std::optional<trx5::PreviewTarget> target;
        int channels;
        int rate;
        Samples samples;
    };
    const Case cases[] = {
        {"two takes, converted", wav, trx5::PreviewTarget{32000, false, false, false}, 2, 32000,
         imported(wav, {2, false, 32000.0})},
        {"one take: the left channel", wav, trx5::PreviewTarget{32000, false, false, true}, 1,
         32000, imported(wav, {1, false, 32000.0})},
        {"one take, mixed", wav, trx5::PreviewTarget{16000, false, true, true}, 1, 16000,
         imported(wav, {1, true, 16000.0})},
        {"two takes: no mix", wav, trx5::PreviewTarget{32000, false, true, false}, 2, 32000,
         imported(wav, {2, false, 32000.0})},
        {"rate kept", wav, trx5::PreviewTarget{16000, true, false, false}, 2, 16000, stereo},
        {"three channels", wav3, trx5::PreviewTarget{32000, false, true, true}, 1, 32000,
         trx5test::Channel(three, 3, 0)},
        {"float WAV, own format", floats, std::nullopt, 2, 48000, stereo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_TRUE(rig.preview.Start(c.path, c.target));
        ASSERT_TRUE(rig.preview.Playing());
        EXPECT_EQ(rig.out.format.channels, c.channels);
        EXPECT_EQ(rig.out.format.sampleRate, c.rate);
        rig.PlayToEnd();
        EXPECT_EQ(rig.stopped, 1);
        const std::size_t frames = c.samples.size() / std::size_t(c.channels);
        ASSERT_GT(frames, 0u);
        const std::size_t buffers = (frames + kFrames - 1) / kFrames + 1;
        Samples expected = c.samples;
        expected.resize(buffers * kFrames * std::size_t(c.channels), 0);
        EXPECT_EQ(rig.QueuedSamples(), expected);
    }
    EXPECT_EQ(imported(wav, {2, false, 32000.0}).size(),
              2 * trx5::ConvertedFrames(3000, 44100, 32000));
}

}  // namespace
