// The take audition against an output that plays nothing: the ring of 16
// buffers, the mix of every refill with the knobs of that moment, the gauge
// values and both ways of stopping.
#include "playback/audition.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <set>
#include <string>
#include <vector>

#include "convert/audio_check.h"
#include "playback/fake_sound_output.h"
#include "playback/playback_test_support.h"

namespace {

using trx5::Audition;
using trx5test::Knobs;
using trx5test::SongMix;

// An audition with its output and what it reported.
struct Rig {
    Rig() {
        trx5test::EnsureCoreApplication();
        QObject::connect(&audition, &Audition::ProgressChanged, [this](int percent) {
            progress.push_back(percent);
            stoppedAtLastProgress = stopped;
        });
        QObject::connect(&audition, &Audition::Stopping, [this] { events.push_back("stopping"); });
        QObject::connect(&audition, &Audition::Stopped, [this] {
            events.push_back("stopped");
            ++stopped;
        });
    }

    // Lets the output finish one buffer at a time until the audition stops.
    void PlayToEnd() {
        for (int i = 0; i < 10000 && audition.Playing(); ++i) out.Play(1);
        QCoreApplication::processEvents();
    }

    FakeSoundOutput out;
    Knobs knobs{};
    Audition audition{out, [this](int track) { return knobs[track]; }};
    std::vector<int> progress;
    std::vector<std::string> events;
    int stopped = 0;
    int stoppedAtLastProgress = -1;
};

class AuditionTest : public ::testing::Test {
  protected:
    // A take file of `blocks` whole blocks of random codes and `extra` bytes
    // more.
    std::string Take(const std::string& name, int blocks, unsigned seed, int extra = 0) {
        const std::string path = dir_ / name;
        trx5test::WriteRandomTake(path, blocks, seed, extra);
        return path;
    }

    trx5test::TempDir dir_;
};

TEST_F(AuditionTest, StartQueuesSixteenBlocksAtTheSongRate) {
    for (const bool longMode : {false, true}) {
        SCOPED_TRACE(longMode ? "LONG" : "HiFi");
        Rig rig;
        rig.knobs[2] = {90, 10};
        const Audition::TakePaths paths = {Take("a.aud", 20, 1), "", Take("b.aud", 20, 2), ""};
        ASSERT_TRUE(rig.audition.Start(paths, longMode));

        EXPECT_TRUE(rig.audition.Playing());
        EXPECT_EQ(rig.out.format.channels, 2);
        EXPECT_EQ(rig.out.format.sampleRate, longMode ? 16000 : 32000);
        EXPECT_EQ(rig.audition.Blocks(), 20);
        ASSERT_EQ(rig.out.queued.size(), 16u);
        // The sound begins once the whole ring is queued.
        EXPECT_EQ(rig.out.starts, 1);
        EXPECT_EQ(rig.out.queuedAtStart, 16u);
        ASSERT_EQ(rig.progress.size(), 16u);
        const SongMix song(paths, longMode);
        std::set<trx5::SoundBuffer*> buffers;
        for (int n = 0; n < 16; ++n) {
            EXPECT_EQ(rig.out.queued[n].samples.size(), longMode ? 1020u : 1018u);
            EXPECT_EQ(rig.out.queued[n].samples, song.Block(n, rig.knobs)) << "block " << n;
            buffers.insert(rig.out.queued[n].buffer);
            EXPECT_EQ(rig.progress[n], (n + 1) * 100 / 20);
        }
        EXPECT_EQ(buffers.size(), 16u);
    }
}

// Each case plays to its end: the same 16 buffers circulate, every buffer
// holds the expected mix, the gauge follows, and the stop comes once the
// last block has been followed by 16 more buffers.
TEST_F(AuditionTest, PlaysEverySongToItsEnd) {
    struct Case {
        const char* name;
        Audition::TakePaths paths;
        bool longMode;
        int blocks;
    };
    const Case cases[] = {
        {"takes of different lengths, a missing file, an empty slot",
         {Take("30.aud", 30, 3), dir_ / "missing.aud", Take("12.aud", 12, 4), ""},
         false,
         30},
        {"a take ending in part of a block", {"", Take("part.aud", 2, 5, 100), "", ""}, false, 2},
        {"a LONG song", {"", "", "", Take("long.aud", 5, 6)}, true, 5},
        {"a take of a header only", {Take("empty.aud", 0, 7), "", "", ""}, false, 0},
        {"no take at all", {"", "", "", ""}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.knobs = {{{100, 50}, {127, 0}, {64, 100}, {5, 30}}};
        ASSERT_TRUE(rig.audition.Start(c.paths, c.longMode));
        rig.PlayToEnd();

        EXPECT_EQ(rig.audition.Blocks(), c.blocks);
        ASSERT_EQ(rig.out.queued.size(), std::size_t(c.blocks + 16));
        ASSERT_EQ(rig.progress.size(), rig.out.queued.size());
        const SongMix song(c.paths, c.longMode);
        for (std::size_t i = 0; i < rig.out.queued.size(); ++i) {
            EXPECT_EQ(rig.out.queued[i].samples, song.Block(int(i), rig.knobs)) << "buffer " << i;
            if (i >= 16) {
                EXPECT_EQ(rig.out.queued[i].buffer, rig.out.queued[i - 16].buffer);
            }
            const int percent = c.blocks == 0 ? 0 : int(i + 1) * 100 / c.blocks;
            EXPECT_EQ(rig.progress[i], percent) << "buffer " << i;
        }
        // The stop notice goes through the event loop: the last buffer was
        // queued while still playing.
        EXPECT_EQ(rig.stoppedAtLastProgress, 0);
        EXPECT_EQ(rig.events, (std::vector<std::string>{"stopping", "stopped"}));
        EXPECT_FALSE(rig.audition.Playing());
        EXPECT_FALSE(rig.out.IsOpen());
        EXPECT_EQ(rig.out.Pending(), 0u);
        EXPECT_EQ(rig.out.queuedTwice, 0);

        rig.out.Play(20);
        EXPECT_EQ(rig.out.queued.size(), std::size_t(c.blocks + 16));
    }
}

TEST_F(AuditionTest, AKnobTurnedBetweenRefillsChangesOnlyTheNextBuffer) {
    Rig rig;
    const Audition::TakePaths paths = {Take("1.aud", 40, 8), Take("2.aud", 40, 9), "", ""};
    const SongMix song(paths, false);
    ASSERT_TRUE(rig.audition.Start(paths, false));
    rig.out.Play(2);
    const Knobs before = rig.knobs;
    rig.knobs[0] = {30, 0};
    rig.knobs[1].pan = 100;

    // The buffers already queued keep what they hold.
    ASSERT_EQ(rig.out.queued.size(), 18u);
    for (std::size_t i = 2; i < 18; ++i) {
        EXPECT_EQ(rig.out.queued[i].buffer->samples, rig.out.queued[i].samples);
    }
    rig.out.Play(1);
    ASSERT_EQ(rig.out.queued.size(), 19u);
    EXPECT_EQ(rig.out.queued[17].samples, song.Block(17, before));
    EXPECT_EQ(rig.out.queued[18].samples, song.Block(18, rig.knobs));
    EXPECT_NE(song.Block(18, rig.knobs), song.Block(18, before));
}

TEST_F(AuditionTest, RequestStopStopsAtOnceAndGetsEveryBufferBack) {
    Rig rig;
    ASSERT_TRUE(rig.audition.Start({Take("1.aud", 40, 10), "", "", ""}, false));
    rig.out.Play(3);
    rig.audition.RequestStop();
    EXPECT_TRUE(rig.audition.Playing());  // the stop runs from the event loop
    QCoreApplication::processEvents();

    EXPECT_EQ(rig.events, (std::vector<std::string>{"stopping", "stopped"}));
    EXPECT_FALSE(rig.audition.Playing());
    EXPECT_GE(rig.out.resets, 1);
    EXPECT_EQ(rig.out.closes, 1);
    EXPECT_FALSE(rig.out.IsOpen());
    // All 16 buffers of the ring are back by the time Stopped is raised.
    ASSERT_EQ(rig.out.returned.size(), 3u + 16u);
    const std::set<trx5::SoundBuffer*> ring(rig.out.returned.end() - 16, rig.out.returned.end());
    EXPECT_EQ(ring.size(), 16u);
    EXPECT_EQ(rig.out.queued.size(), 19u);
    rig.out.Play(5);
    EXPECT_EQ(rig.out.queued.size(), 19u);
}

TEST_F(AuditionTest, AnOutputThatCannotBeOpenedPlaysNothing) {
    Rig rig;
    rig.out.failOpen = true;
    EXPECT_FALSE(rig.audition.Start({Take("1.aud", 40, 11), "", "", ""}, false));
    QCoreApplication::processEvents();
    EXPECT_FALSE(rig.audition.Playing());
    EXPECT_TRUE(rig.out.queued.empty());
    EXPECT_TRUE(rig.progress.empty());
    EXPECT_TRUE(rig.events.empty());
}

TEST_F(AuditionTest, AnOutputThatCannotStartPlaysNothing) {
    Rig rig;
    rig.out.failStart = true;
    EXPECT_FALSE(rig.audition.Start({Take("1.aud", 40, 14), "", "", ""}, false));
    QCoreApplication::processEvents();
    EXPECT_FALSE(rig.audition.Playing());
    EXPECT_FALSE(rig.out.IsOpen());
    // The ring comes back and is not refilled.
    EXPECT_EQ(rig.out.returned.size(), 16u);
    EXPECT_EQ(rig.out.queued.size(), 16u);
    EXPECT_TRUE(rig.events.empty());
}

// A new playback right after a stop: the old one's notices must not refill
// the new ring.
TEST_F(AuditionTest, StartingAgainRightAfterAStopPlaysTheNewSongInOrder) {
    Rig rig;
    const Audition::TakePaths first = {Take("1.aud", 40, 12), "", "", ""};
    const Audition::TakePaths second = {"", Take("2.aud", 6, 13), "", ""};
    ASSERT_TRUE(rig.audition.Start(first, false));
    rig.out.Play(3);
    rig.audition.RequestStop();
    QCoreApplication::processEvents();
    ASSERT_FALSE(rig.audition.Playing());

    const std::size_t from = rig.out.queued.size();
    ASSERT_TRUE(rig.audition.Start(second, false));
    rig.PlayToEnd();
    const SongMix song(second, false);
    ASSERT_EQ(rig.out.queued.size() - from, 6u + 16u);
    for (std::size_t i = from; i < rig.out.queued.size(); ++i) {
        EXPECT_EQ(rig.out.queued[i].samples, song.Block(int(i - from), rig.knobs)) << i - from;
        if (i >= from + 16) {
            EXPECT_EQ(rig.out.queued[i].buffer, rig.out.queued[i - 16].buffer);
        }
    }
    EXPECT_EQ(rig.out.queuedTwice, 0);
}

}  // namespace
