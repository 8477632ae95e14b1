// trx5card play heard through a private PulseAudio server: the sink gets the
// mix (or the file) exactly, once, between silences; without a server the
// command says the sound output could not be opened.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sound_support.h"
#include "sound_test.h"

namespace {

using namespace std::chrono_literals;
using trx5sound::PrivateSound;
using trx5sound::Samples;
using trx5sound::TrackPlay;

// Far longer than the server and the FIFO hold: once the sink has given no
// sound for this long, everything the player sent has been read.
constexpr auto kQuiet = 1500ms;

constexpr char kNoOutput[] = "The sound output could not be opened.";

// Sound heard before a stop is asked for (half a second at 32000 Hz), and
// the most that may follow it: the stop itself and what the server and the
// FIFO already hold, a small part of the seconds still to play.
constexpr std::size_t kHeardBeforeStop = 16000;
constexpr std::size_t kStopFrames = 8000;

// Waits until the sink has given `frames` frames of sound since `from`.
bool WaitForSound(const trx5sound::FifoCapture& capture, std::size_t from, std::size_t frames) {
    for (int tries = 0; tries < 6000; ++tries) {
        if (capture.HeardSince(from) >= frames) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

struct TempFolder {
    std::string path = trx5sound::MakeTempFolder("trx5soundtest-");
    ~TempFolder() { trx5sound::RemoveFolder(path); }
};

std::vector<std::string> Play(std::vector<std::string> args) {
    args.insert(args.begin(), {TRX5CARD_PATH, "play"});
    return args;
}

// Runs trx5card through the server and reads the sink on until it has
// given no sound for a while; `captured` is what the sink played from
// the start of the run. `env`, when given, is the program's environment
// (pointing at the server).
void PlayAndCapture(PrivateSound& sound, const std::vector<std::string>& args, Samples& captured,
                    std::vector<std::string> env = {}) {
    trx5sound::FifoCapture& capture = sound.Capture();
    const std::size_t from = capture.Frames();
    if (env.empty()) env = trx5sound::EnvironmentWith(sound.RuntimeDir());
    const trx5sound::RunResult run = trx5sound::RunProgram(args, env, 120s);
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_TRUE(capture.WaitQuiet(kQuiet, 60s)) << "the sink did not fall silent";
    captured = capture.Copy(from, capture.Frames());
}

// Takes of song 1 that the mix below uses, the longest `blocks` long; all
// samples are positive and none is zero, so silence is never mistaken for
// sound.
std::vector<TrackPlay> MakeTakes(const std::string& card, bool longMode, int blocks = 150) {
    std::vector<TrackPlay> tracks(4);
    tracks[0].path =
        trx5sound::WriteSineTake(card, 0, 0, longMode, blocks * 4 / 5, 9000, 6000, 73.3);
    tracks[1].path = trx5sound::WriteSineTake(card, 1, 3, longMode, blocks, 3000, 2000, 211);
    tracks[3].path =
        trx5sound::WriteSineTake(card, 3, 2, longMode, blocks * 8 / 15, 7000, 5000, 37);
    for (const TrackPlay& t : tracks) {
        if (t.path.empty()) continue;
        EXPECT_FALSE(trx5sound::HasZeroSample(trx5sound::DecodeTake(t.path, longMode)));
    }
    return tracks;
}

void CheckSongMix(int rate, bool longMode) {
    TempFolder card;
    trx5sound::WriteCard(card.path, longMode);
    std::vector<TrackPlay> tracks = MakeTakes(card.path, longMode);
    tracks[0].level = 90;
    tracks[0].pan = 20;
    tracks[1].level = 127;
    tracks[1].pan = 70;
    tracks[3].pan = 100;
    const Samples expected = trx5sound::ExpectedMix(tracks, longMode);

    PrivateSound sound;
    if (const std::string why = sound.Start(rate); !why.empty()) TRX5_NO_SOUND(why);
    Samples captured;
    ASSERT_NO_FATAL_FAILURE(
        PlayAndCapture(sound,
                       Play({card.path, "1", "1-1", "2-4", "4-3", "--level", "1=90", "--level",
                             "2=127", "--pan", "1=20", "--pan", "2=70", "--pan", "4=100"}),
                       captured));
    const std::string why = trx5sound::CheckSingleRun(captured, expected);
    EXPECT_TRUE(why.empty()) << why;
}

TEST(CliSound, PlaysTheMixOfAHiFiSongExactlyOnce) { CheckSongMix(32000, false); }

TEST(CliSound, PlaysTheMixOfALongSongExactlyOnce) { CheckSongMix(16000, true); }

TEST(CliSound, PlaysAWavFileToItsLastFrame) {
    // The last frame ends a read of the preview's 512-frame buffers, so
    // the file's end is followed by no more than one buffer of silence; a
    // file of a few milliseconds plays too, though it fills no device.
    for (const int frames : {125 * 512 - 1, 100}) {
        SCOPED_TRACE(frames);
        TempFolder folder;
        Samples file(2 * std::size_t(frames));
        for (int f = 0; f < frames; ++f) {
            file[2 * f] = std::int16_t(8000 + (f * 37) % 5000);
            file[2 * f + 1] = std::int16_t(-7000 - (f * 53) % 4000);
        }
        const std::string wav = folder.path + "tone.wav";
        trx5sound::WriteWav(wav, 2, 32000, file);

        PrivateSound sound;
        if (const std::string why = sound.Start(32000); !why.empty()) TRX5_NO_SOUND(why);
        Samples captured;
        ASSERT_NO_FATAL_FAILURE(PlayAndCapture(sound, Play({wav}), captured));
        const std::string why = trx5sound::CheckSingleRun(captured, file);
        EXPECT_TRUE(why.empty()) << why;
    }
}

// How a run ended, for a failure message.
std::string Describe(const trx5sound::RunResult& run) {
    std::string what = run.killed        ? "ran past its limit"
                       : run.signal != 0 ? "ended by signal " + std::to_string(run.signal)
                                         : "exit " + std::to_string(run.code);
    return what + ": " + run.err.substr(0, 2000);
}

// The sound output is shut down in order when play ends and nothing of Qt's
// sound system is left to the exit handlers, where its PulseAudio threads
// could still be handling the server's last messages (see
// EndProcessAfterSound). Run after run of a short song, with three busy
// processes and the dispatch of those messages slowed, every run ends with
// exit 0.
TEST(CliSound, EndsCleanlyRunAfterRunUnderLoad) {
    TempFolder card;
    trx5sound::WriteCard(card.path, false);
    for (int t = 0; t < 4; ++t) {
        trx5sound::WriteSineTake(card.path, t, 0, false, 6, 4000 + 1000 * t, 3000, 40 + 13 * t);
    }
    PrivateSound sound;
    if (const std::string why = sound.Start(32000); !why.empty()) TRX5_NO_SOUND(why);
    const std::vector<std::string> env =
        trx5sound::WithPreload(trx5sound::EnvironmentWith(sound.RuntimeDir()), TRX5_SLOW_DISPATCH);
    const std::vector<std::string> args = Play({card.path, "1", "1-1", "2-1", "3-1", "4-1"});

    constexpr int kRuns = 200;
    int failed = 0;
    std::string first;
    {
        const trx5sound::BusyLoad load(3);
        for (int i = 0; i < kRuns; ++i) {
            const trx5sound::RunResult run = trx5sound::RunProgram(args, env, 60s);
            if (run.code == 0) continue;
            if (failed++ == 0) first = "run " + std::to_string(i) + ": " + Describe(run);
        }
    }
    EXPECT_EQ(failed, 0) << "of " << kRuns << " runs; the first: " << first;
}

// Each play of a short song, with three busy processes beside it, is the
// whole mix without a gap from its very start: the sound begins only once
// the player's first buffers are all at hand, so a start-up held up by the
// load does not break it. Each run is held up once on purpose while it
// makes its first buffers, as the load does now and then.
TEST(CliSound, EveryPlayUnderLoadIsWholeFromItsStart) {
    TempFolder card;
    trx5sound::WriteCard(card.path, false);
    const Samples expected = trx5sound::ExpectedMix(MakeTakes(card.path, false, 40), false);
    PrivateSound sound;
    if (const std::string why = sound.Start(32000); !why.empty()) TRX5_NO_SOUND(why);
    const std::vector<std::string> env =
        trx5sound::WithPreload(trx5sound::EnvironmentWith(sound.RuntimeDir()), TRX5_SLOW_START);
    const std::vector<std::string> args = Play({card.path, "1", "1-1", "2-4", "4-3"});

    constexpr int kRuns = 8;
    int failed = 0;
    std::string first;
    const trx5sound::BusyLoad load(3);
    for (int i = 0; i < kRuns; ++i) {
        Samples captured;
        ASSERT_NO_FATAL_FAILURE(PlayAndCapture(sound, args, captured, env));
        const std::string why = trx5sound::CheckSingleRun(captured, expected);
        if (why.empty()) continue;
        if (failed++ == 0) first = "run " + std::to_string(i) + ": " + why;
    }
    EXPECT_EQ(failed, 0) << "of " << kRuns << " runs; the first: " << first;
}

// Ctrl-C while a song plays: the sound stops at once, what was heard is the
// start of the mix, unbroken, and play exits with 130.
TEST(CliSound, CtrlCStopsTheSoundAtOnce) {
    TempFolder card;
    trx5sound::WriteCard(card.path, false);
    const std::vector<TrackPlay> tracks = MakeTakes(card.path, false, 300);
    const Samples expected = trx5sound::ExpectedMix(tracks, false);

    PrivateSound sound;
    if (const std::string why = sound.Start(32000); !why.empty()) TRX5_NO_SOUND(why);
    trx5sound::FifoCapture& capture = sound.Capture();
    const std::size_t from = capture.Frames();
    trx5sound::RunningProgram play(Play({card.path, "1", "1-1", "2-4", "4-3"}),
                                   trx5sound::EnvironmentWith(sound.RuntimeDir()));
    ASSERT_TRUE(WaitForSound(capture, from, kHeardBeforeStop)) << "no sound came";
    const std::size_t stopAt = capture.Frames() - from;
    play.Signal(SIGINT);
    const trx5sound::RunResult run = play.Wait(60s);
    EXPECT_EQ(run.code, 130) << Describe(run);
    ASSERT_TRUE(capture.WaitQuiet(kQuiet, 60s)) << "the sink did not fall silent";

    const trx5sound::StoppedRun heard =
        trx5sound::CheckStoppedRun(capture.Copy(from, capture.Frames()), expected);
    EXPECT_TRUE(heard.why.empty()) << heard.why;
    EXPECT_LE(heard.end, stopAt + kStopFrames)
        << "sound went on for " << heard.end - stopAt << " frames after Ctrl-C";
}

TEST(CliSound, SaysSoWhenThereIsNoSoundOutput) {
    TempFolder folder;
    const std::string card = folder.path + "card/";
    const std::string runtime = folder.path + "run";
    ASSERT_TRUE(std::filesystem::create_directory(card) &&
                std::filesystem::create_directory(runtime));
    trx5sound::WriteCard(card, false);
    trx5sound::WriteSineTake(card, 0, 0, false, 20, 9000, 6000, 50);
    const std::string wav = folder.path + "tone.wav";
    trx5sound::WriteWav(wav, 2, 32000, Samples(2000, 1000));
    const std::vector<std::string> env =
        trx5sound::EnvironmentWith(runtime, "unix:" + runtime + "/no-server");

    for (const auto& args : {Play({card, "1", "1-1"}), Play({wav})}) {
        const trx5sound::RunResult run = trx5sound::RunProgram(args, env, 120s);
        EXPECT_EQ(run.code, 1) << args.back();
        // Our message alone, none of Qt's own.
        EXPECT_EQ(run.err, std::string("trx5card: ") + kNoOutput + "\n") << args.back();
    }
}

}  // namespace
