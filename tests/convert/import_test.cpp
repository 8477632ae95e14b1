#include "convert/import.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "convert/audio_check.h"
#include "convert/export.h"
#include "convert/recording_progress.h"

namespace {

using trx5::ImportRequest;
using trx5::TakeSlot;
using trx5test::Bytes;
using trx5test::Channel;
using trx5test::ExpectedTake;
using trx5test::RecordingProgress;
using trx5test::Samples;
using trx5test::TempDir;

// Interleaved frames whose channels differ from each other.
Samples Frames(std::size_t frames, int channels, unsigned seed) {
    Samples s(frames * channels);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            x = x * 1664525u + 1013904223u;
            const int smooth = int(12000 * std::sin(double(i) * 0.02 * (c + 1) + seed));
            s[i * channels + c] = std::int16_t(smooth + int(x >> 24) - 128);
        }
    }
    return s;
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

ImportRequest Request(const std::string& source, const std::string& card, bool longMode,
                      TakeSlot first, std::optional<TakeSlot> second = std::nullopt) {
    ImportRequest r;
    r.sourcePath = source;
    r.cardDir = card;
    r.longMode = longMode;
    r.first = first;
    r.second = second;
    return r;
}

TEST(Import, WholeBlocksAndTail) {
    struct Case {
        bool longMode;
        std::size_t frames;
        std::uint64_t wholeBlocks;
        std::size_t fileBlocks;
    };
    const Case cases[] = {
        {false, 1018, 2, 2}, {false, 1019, 2, 3}, {false, 5, 0, 1},
        {true, 1020, 2, 2},  {true, 1021, 2, 3},  {false, 40 * 509 + 3, 40, 41},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + (c.longMode ? " long" : " hifi"));
        TempDir src, card;
        const Samples mono = Frames(c.frames, 1, 1);
        trx5test::WriteFile(src / "in.wav",
                            trx5test::WavBytes(1, trx5::SampleRate(c.longMode), 16, mono));
        RecordingProgress progress;
        const auto result =
            trx5::ImportTakes(Request(src / "in.wav", card.path(), c.longMode, {0, 3}), progress);
        ASSERT_TRUE(result.ok()) << result.message();
        EXPECT_EQ(result->blocks, c.wholeBlocks);
        EXPECT_FALSE(result->cancelled);
        ASSERT_EQ(result->takePaths, std::vector<std::string>{card / "00-03.aud"});
        const Bytes take = trx5test::ReadFile(card / "00-03.aud");
        ASSERT_EQ(take.size(), 512 + 512 * c.fileBlocks);
        EXPECT_EQ(take[0], c.longMode ? 1 : 0);
        EXPECT_EQ(take, ExpectedTake(mono, c.longMode));
        if (c.fileBlocks > c.wholeBlocks) {
            // The tail block: its first frame stored exactly, then zeros.
            const Samples decoded = trx5test::DecodeTakeFile(card / "00-03.aud", c.longMode);
            EXPECT_EQ(decoded[c.wholeBlocks * trx5::SamplesPerBlock(c.longMode)],
                      mono[c.wholeBlocks * trx5::SamplesPerBlock(c.longMode)]);
        }
        ASSERT_EQ(progress.calls.size(), c.wholeBlocks);
        for (std::uint64_t n = 0; n < c.wholeBlocks; ++n) {
            EXPECT_EQ(progress.calls[n], std::make_pair(n, c.wholeBlocks));
        }
        EXPECT_EQ(Listing(card.path()), std::set<std::string>{"00-03.aud"});
    }
}

TEST(Import, ChannelsToTargets) {
    struct Case {
        const char* what;
        int channels;
        std::optional<TakeSlot> second;
        bool secondWritten;
    };
    const Case cases[] = {
        {"stereo, two destinations", 2, TakeSlot{2, 7}, true},
        {"stereo, one destination", 2, std::nullopt, false},
        {"mono, two destinations", 1, TakeSlot{2, 7}, false},
        {"three channels, two destinations", 3, TakeSlot{2, 7}, false},
        {"stereo, the second names the first", 2, TakeSlot{1, 4}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir src, card;
        const Samples frames = Frames(3000, c.channels, 2);
        trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(c.channels, 32000, 16, frames));
        trx5::NoProgress progress;
        const auto result = trx5::ImportTakes(
            Request(src / "in.wav", card.path(), false, {1, 4}, c.second), progress);
        ASSERT_TRUE(result.ok()) << result.message();
        EXPECT_EQ(trx5test::ReadFile(card / "00-14.aud"),
                  ExpectedTake(Channel(frames, c.channels, 0), false));
        if (c.secondWritten) {
            EXPECT_EQ(result->takePaths,
                      (std::vector<std::string>{card / "00-14.aud", card / "00-27.aud"}));
            const Bytes right = trx5test::ReadFile(card / "00-27.aud");
            EXPECT_EQ(right, ExpectedTake(Channel(frames, 2, 1), false));
            EXPECT_EQ(right.size(), trx5test::ReadFile(card / "00-14.aud").size());
        } else {
            EXPECT_EQ(result->takePaths, std::vector<std::string>{card / "00-14.aud"});
            EXPECT_EQ(Listing(card.path()), std::set<std::string>{"00-14.aud"});
        }
    }
}

TEST(Import, StereoAiffIntoALongSong) {
    TempDir src, card;
    const Samples frames = Frames(2345, 2, 3);
    {
        std::FILE* f = std::fopen((src / "in.aif").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        trx5::AudioFileInfo info;
        trx5::OpenAudioFileInfo(info, nullptr);
        info.channels = 2;
        info.frames = 0;
        info.bitsPerSample = 16;
        info.sampleRate = trx5::RateToExtended(16000);
        ASSERT_TRUE(trx5::WriteAiffHeader(info, f).ok());
        ASSERT_TRUE(trx5::WriteAiffSamples(info, frames.data(), frames.size()).ok());
        ASSERT_TRUE(trx5::CloseAiff(info).ok());
        ASSERT_EQ(std::fclose(f), 0);
    }
    trx5::NoProgress progress;
    ImportRequest r = Request(src / "in.aif", card.path(), true, {0, 0}, TakeSlot{3, 1});
    r.fileNumber = 12;
    const auto result = trx5::ImportTakes(r, progress);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result->blocks, 2345u / 510);
    EXPECT_EQ(trx5test::ReadFile(card / "12-00.aud"), ExpectedTake(Channel(frames, 2, 0), true));
    EXPECT_EQ(trx5test::ReadFile(card / "12-31.aud"), ExpectedTake(Channel(frames, 2, 1), true));
}

TEST(Import, EightBitSamplesAreWidened) {
    TempDir src, card;
    Samples bytes;  // unsigned 8-bit values, one block of each
    for (int v : {128, 255, 0}) bytes.insert(bytes.end(), 509, std::int16_t(v));
    trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(1, 32000, 8, bytes));
    trx5::NoProgress progress;
    ASSERT_TRUE(
        trx5::ImportTakes(Request(src / "in.wav", card.path(), false, {0, 0}), progress).ok());
    const Samples decoded = trx5test::DecodeTakeFile(card / "00-00.aud", false);
    ASSERT_EQ(decoded.size(), 3u * 509);
    EXPECT_EQ(decoded[0], 0);
    EXPECT_EQ(decoded[508], 0);
    EXPECT_EQ(decoded[509], 32512);
    EXPECT_EQ(decoded[1017], 32512);
    EXPECT_EQ(decoded[1018], -32768);
}

TEST(Import, ReplacesAnExistingTake) {
    TempDir src, card;
    trx5test::WriteRandomTake(card / "00-03.aud", 9, 1);
    trx5test::WriteRandomTake(card / "00-02.aud", 2, 2);
    const Bytes neighbour = trx5test::ReadFile(card / "00-02.aud");
    const Samples mono = Frames(600, 1, 4);
    trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(1, 32000, 16, mono));
    trx5::NoProgress progress;
    ASSERT_TRUE(
        trx5::ImportTakes(Request(src / "in.wav", card.path(), false, {0, 3}), progress).ok());
    EXPECT_EQ(trx5test::ReadFile(card / "00-03.aud"), ExpectedTake(mono, false));
    EXPECT_EQ(trx5test::ReadFile(card / "00-02.aud"), neighbour);
    EXPECT_EQ(Listing(card.path()), (std::set<std::string>{"00-02.aud", "00-03.aud"}));
}

// While the import runs the old take stays whole; the new one replaces it
// only when it is complete.
TEST(Import, TakeIsReplacedWhenComplete) {
    class Watch final : public trx5::Progress {
      public:
        Watch(std::string path, Bytes old) : path_(std::move(path)), old_(std::move(old)) {}
        bool Step(std::uint64_t, std::uint64_t) override {
            ++steps;
            if (trx5test::ReadFile(path_) != old_) ++changed;
            return true;
        }
        int steps = 0;
        int changed = 0;

      private:
        std::string path_;
        Bytes old_;
    };
    TempDir src, card;
    trx5test::WriteRandomTake(card / "00-03.aud", 9, 1);
    const Samples mono = Frames(100 * 509, 1, 4);
    trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(1, 32000, 16, mono));
    Watch watch(card / "00-03.aud", trx5test::ReadFile(card / "00-03.aud"));
    ASSERT_TRUE(trx5::ImportTakes(Request(src / "in.wav", card.path(), false, {0, 3}), watch).ok());
    EXPECT_EQ(watch.steps, 100);
    EXPECT_EQ(watch.changed, 0);
    EXPECT_EQ(trx5test::ReadFile(card / "00-03.aud"), ExpectedTake(mono, false));
}

TEST(Import, ExistingTakeInUpperCaseIsReplacedInPlace) {
    TempDir src, card;
    trx5test::WriteRandomTake(card / "00-03.AUD", 9, 1);
    const Samples mono = Frames(1500, 1, 5);
    trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(1, 32000, 16, mono));
    trx5::NoProgress progress;
    const auto result =
        trx5::ImportTakes(Request(src / "in.wav", card.path(), false, {0, 3}), progress);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result->takePaths, std::vector<std::string>{card / "00-03.AUD"});
    EXPECT_EQ(Listing(card.path()), std::set<std::string>{"00-03.AUD"});
    EXPECT_EQ(trx5test::ReadFile(card / "00-03.AUD"), ExpectedTake(mono, false));
}

TEST(Import, SongFileNumber99AndFolderWithoutSlash) {
    TempDir src, card;
    const Samples frames = Frames(700, 2, 6);
    trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(2, 32000, 16, frames));
    ImportRequest r = Request(src / "in.wav", card.path(), false, {3, 7}, TakeSlot{0, 0});
    r.cardDir.pop_back();  // no trailing "/"
    r.fileNumber = 99;
    trx5::NoProgress progress;
    const auto result = trx5::ImportTakes(r, progress);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result->takePaths,
              (std::vector<std::string>{card / "99-37.aud", card / "99-00.aud"}));
    EXPECT_EQ(Listing(card.path()), (std::set<std::string>{"99-00.aud", "99-37.aud"}));
}

TEST(Import, AbortKeepsWrittenBlocksAndTheTail) {
    struct Case {
        std::size_t frames;
        std::uint64_t stopAt;
    };
    const Case cases[] = {{40 * 509 + 100, 5}, {40 * 509 + 100, 0}, {40 * 509, 33}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, stop at " + std::to_string(c.stopAt));
        TempDir src, card;
        trx5test::WriteRandomTake(card / "00-00.aud", 50, 1);
        const Samples frames = Frames(c.frames, 2, 7);
        trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(2, 32000, 16, frames));
        RecordingProgress progress(c.stopAt);
        ImportRequest request = Request(src / "in.wav", card.path(), false, {0, 0}, TakeSlot{1, 0});
        request.keepPartOnAbort = true;
        const auto result = trx5::ImportTakes(request, progress);
        ASSERT_TRUE(result.ok()) << result.message();
        EXPECT_TRUE(result->cancelled);
        ASSERT_EQ(progress.calls.size(), c.stopAt + 1);
        EXPECT_EQ(progress.calls.back(), std::make_pair(c.stopAt, std::uint64_t(40)));

        // The blocks before the abort, then the frames left over after the
        // whole blocks of the file, read on from where the import stopped.
        const std::size_t written = c.stopAt * 509;
        const std::size_t tail = c.frames % 509;
        for (int ch = 0; ch < 2; ++ch) {
            const Samples all = Channel(frames, 2, ch);
            Samples kept(all.begin(), all.begin() + written);
            kept.insert(kept.end(), all.begin() + written, all.begin() + written + tail);
            const std::string path = card / (ch == 0 ? "00-00.aud" : "00-10.aud");
            EXPECT_EQ(trx5test::ReadFile(path), ExpectedTake(kept, false)) << path;
        }
        EXPECT_EQ(Listing(card.path()), (std::set<std::string>{"00-00.aud", "00-10.aud"}));
    }
}

// A rate below 1000 Hz is not converted (a few samples a second would make a
// huge take, slowly): refused at once with the rate as the reason, before
// anything is written; kept as they are, the samples are imported.
TEST(Import, RatesBelow1000HzAreNotConverted) {
    struct Case {
        std::uint32_t rate;
        bool keepRate;
        const char* reason;  // null: imported
        std::uint64_t blocks;
    };
    const Case cases[] = {
        {1, false, "the file's rate of 1 Hz is below 1000 Hz", 0},
        {999, false, "the file's rate of 999 Hz is below 1000 Hz", 0},
        {1, true, nullptr, 3},
        {1000, false, nullptr, 3 * 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + (c.keepRate ? " kept" : ""));
        TempDir src, card;
        trx5test::WriteFile(src / "in.wav",
                            trx5test::WavBytes(1, c.rate, 16, Frames(3 * 509, 1, 3)));
        ImportRequest request = Request(src / "in.wav", card.path(), false, {0, 0});
        request.keepRate = c.keepRate;
        RecordingProgress progress;
        const auto result = trx5::ImportTakes(request, progress);
        if (c.reason != nullptr) {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.message(), "The sampling rate could not be converted.");
            EXPECT_EQ(result.reason(), c.reason);
            EXPECT_TRUE(progress.calls.empty());
            EXPECT_TRUE(Listing(card.path()).empty());
        } else {
            ASSERT_TRUE(result.ok()) << result.Describe();
            EXPECT_EQ(result->blocks, c.blocks);
        }
    }
}

// Takes that will not fit in the free space of the card's file system are
// refused before anything is written, with what they need and what there
// is: counted at the song's rate, as the import writes them. Takes that fit
// are written.
TEST(Import, TakesThatDoNotFitAreRefused) {
    TempDir src, card;
    if (mount("trx5test", card.path().c_str(), "tmpfs", 0, "size=512k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{card.path()};
    // One page of the 128 is taken: 520192 bytes are free.
    trx5test::WriteRandomTake(card / "00-03.aud", 4, 1);
    const Bytes take = trx5test::ReadFile(card / "00-03.aud");
    struct Case {
        int channels;
        std::uint32_t rate;
        std::size_t frames;
        const char* refusal;  // null: written
    };
    const Case cases[] = {
        // 1100 blocks of 512 bytes and a header.
        {1, 32000, 1100 * 509, "The take needs 564 kB; the card has 520 kB free."},
        {2, 32000, 550 * 509, "The takes need 564 kB; the card has 520 kB free."},
        // Four times as many frames at 32000 Hz: 1200 blocks.
        {1, 8000, 300 * 509, "The take needs 615 kB; the card has 520 kB free."},
        // 799 blocks at 32000 Hz, as many as fit.
        {1, 44100, 1100 * 509, nullptr},
        {1, 32000, 1000 * 509, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(c.channels, c.rate, 16,
                                                               Frames(c.frames, c.channels, 5)));
        trx5::NoProgress progress;
        const auto result = trx5::ImportTakes(
            Request(src / "in.wav", card.path(), false, {0, 0}, TakeSlot{1, 0}), progress);
        if (c.refusal != nullptr) {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.Describe(), c.refusal);
            EXPECT_EQ(Listing(card.path()), std::set<std::string>{"00-03.aud"});
        } else {
            ASSERT_TRUE(result.ok()) << result.Describe();
            ASSERT_EQ(unlink((card / "00-00.aud").c_str()), 0);
        }
        EXPECT_EQ(trx5test::ReadFile(card / "00-03.aud"), take);
    }
}

// Every failure leaves the takes that were there byte for byte and no
// temporary file behind.
class ImportFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        trx5test::WriteRandomTake(card / "00-03.aud", 4, 1);
        trx5test::WriteRandomTake(card / "00-12.aud", 6, 2);
        before = Listing(card.path());
        take03 = trx5test::ReadFile(card / "00-03.aud");
        take12 = trx5test::ReadFile(card / "00-12.aud");
        trx5test::WriteFile(src / "in.wav", trx5test::WavBytes(2, 32000, 16, Frames(5000, 2, 8)));
    }
    void ExpectUnchanged() {
        EXPECT_EQ(Listing(card.path()), before);
        EXPECT_EQ(trx5test::ReadFile(card / "00-03.aud"), take03);
        EXPECT_EQ(trx5test::ReadFile(card / "00-12.aud"), take12);
    }
    ImportRequest Stereo(const std::string& source) {
        return Request(source, card.path(), false, {0, 3}, TakeSlot{1, 2});
    }
    TempDir src, card;
    std::set<std::string> before;
    Bytes take03, take12;
    trx5::NoProgress progress;
};

TEST_F(ImportFailure, SourceCannotBeOpened) {
    ASSERT_EQ(mkfifo((src / "fifo.wav").c_str(), 0644), 0);
    const std::pair<std::string, const char*> cases[] = {
        {src / "missing.wav", "No such file or directory"},
        {src.path(), "Is a directory"},
        {src / "fifo.wav", "Not a regular file"},  // must not wait for a writer
    };
    alarm(20);
    for (const auto& [path, reason] : cases) {
        const auto result = trx5::ImportTakes(Stereo(path), progress);
        ASSERT_FALSE(result.ok()) << path;
        EXPECT_EQ(result.message(), "The file could not be opened.") << path;
        EXPECT_EQ(result.reason(), reason) << path;
    }
    alarm(0);
    ExpectUnchanged();
}

TEST_F(ImportFailure, SourceIsNotAudio) {
    trx5test::WriteFile(src / "notes.wav", "RIFF but not really a wave file");
    // An AIFF whose COMM claims frames but that has no SSND chunk.
    Bytes noData;
    trx5test::PutText(noData, "FORM");
    trx5test::PutBE32(noData, 30);
    trx5test::PutText(noData, "AIFFCOMM");
    trx5test::PutBE32(noData, 18);
    trx5test::PutBE16(noData, 1);
    trx5test::PutBE32(noData, 1000);
    trx5test::PutBE16(noData, 16);
    const trx5::Extended80 rate = trx5::RateToExtended(32000);
    noData.insert(noData.end(), rate.begin(), rate.end());
    trx5test::WriteFile(src / "nodata.aif", noData);
    for (const std::string& path : {src / "notes.wav", src / "nodata.aif"}) {
        const auto result = trx5::ImportTakes(Stereo(path), progress);
        ASSERT_FALSE(result.ok()) << path;
        EXPECT_EQ(result.message(), "The file is not a WAV/AIFF.") << path;
    }
    ExpectUnchanged();
}

// Run in a child process that, when the tests run as root (whom permission
// bits do not stop), gives up its rights first.
TEST_F(ImportFailure, CardFolderIsReadOnly) {
    ASSERT_EQ(chmod(src.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod((src / "in.wav").c_str(), 0644), 0);
    ASSERT_EQ(chmod(card.path().c_str(), 0555), 0);
    const ImportRequest r = Stereo(src / "in.wav");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        const int probe = open((card / "probe").c_str(), O_WRONLY | O_CREAT, 0644);
        if (probe >= 0) {
            close(probe);
            unlink((card / "probe").c_str());
            _exit(77);
        }
        trx5::NoProgress quiet;
        const auto result = trx5::ImportTakes(r, quiet);
        _exit(!result.ok() && result.message() == "File to write could not be opened." &&
                      result.reason() == "Permission denied"
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(card.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as expected";
    ExpectUnchanged();
}

TEST_F(ImportFailure, CardFolderIsAFile) {
    ImportRequest r = Stereo(src / "in.wav");
    r.cardDir = card / "00-03.aud";
    const auto result = trx5::ImportTakes(r, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "File to write could not be opened.");
    ExpectUnchanged();
}

// Only the second target is blocked (a folder has its name): the first take
// must not be replaced either.
TEST_F(ImportFailure, SecondTargetIsAFolder) {
    ASSERT_EQ(mkdir((card / "00-25.aud").c_str(), 0755), 0);
    before = Listing(card.path());
    const auto result = trx5::ImportTakes(
        Request(src / "in.wav", card.path(), false, {0, 3}, TakeSlot{2, 5}), progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "File to write could not be opened.");
    ExpectUnchanged();
}

// The disk fills while the takes are written (here: the file size limit).
TEST_F(ImportFailure, WriteFailsPartWay) {
    const ImportRequest r = Stereo(src / "in.wav");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        setrlimit(RLIMIT_FSIZE, &limit);
        trx5::NoProgress quiet;
        const auto result = trx5::ImportTakes(r, quiet);
        _exit(!result.ok() && result.message() == "The file could not be written." &&
                      result.reason() == "File too large"
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported";
    ExpectUnchanged();
}

// Files the preview cannot use, and files without a single frame, are
// refused before any take is touched.
TEST_F(ImportFailure, UnusableFilesAreRefused) {
    const Samples some = Frames(600, 1, 3);
    auto wavWithRate = [&](std::uint32_t rate) { return trx5test::WavBytes(1, rate, 16, some); };
    auto aiffWithRate = [&](trx5::Extended80 rate) {
        return trx5test::AiffBytes(1, 600, rate, some);
    };
    Bytes formOnly;
    trx5test::PutText(formOnly, "FORM");
    trx5test::PutBE32(formOnly, 4);
    trx5test::PutText(formOnly, "AIFF");
    // Two format chunks count as two chunks, but there is no sample data.
    Bytes twoFormats;
    trx5test::PutText(twoFormats, "RIFF");
    trx5test::PutLE32(twoFormats, 4 + 2 * 24);
    trx5test::PutText(twoFormats, "WAVE");
    for (int i = 0; i < 2; ++i) {
        trx5test::PutText(twoFormats, "fmt ");
        trx5test::PutLE32(twoFormats, 16);
        for (std::uint32_t v : {1u, 1u}) trx5test::PutLE16(twoFormats, v);
        trx5test::PutLE32(twoFormats, 32000);
        trx5test::PutLE32(twoFormats, 64000);
        for (std::uint32_t v : {2u, 16u}) trx5test::PutLE16(twoFormats, v);
    }
    // A kilobyte that claims 65535 channels of 4294967295 frames.
    Bytes huge =
        trx5test::AiffBytes(65535, 0xFFFFFFFFu, trx5::RateToExtended(44100), Samples(480, 7));
    const trx5::Extended80 nan = {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    const trx5::Extended80 infinity = {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const std::pair<const char*, Bytes> cases[] = {
        {"form only", formOnly},
        {"two formats", twoFormats},
        {"wav rate 0", wavWithRate(0)},
        {"aiff rate 0", aiffWithRate(trx5::Extended80{})},
        {"aiff rate nan", aiffWithRate(nan)},
        {"aiff rate infinite", aiffWithRate(infinity)},
        {"aiff rate 0.5", aiffWithRate({0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0})},
        {"wav without frames", trx5test::WavBytes(2, 44100, 16, Samples())},
        {"aiff claiming frames it does not hold",
         trx5test::AiffBytes(2, 1000, trx5::RateToExtended(44100), Samples())},
        {"huge claim in a kilobyte", huge},
    };
    for (const auto& [what, bytes] : cases) {
        trx5test::WriteFile(src / "odd.aif", bytes);
        const auto result = trx5::ImportTakes(Stereo(src / "odd.aif"), progress);
        ASSERT_FALSE(result.ok()) << what;
        EXPECT_EQ(result.message(), "The file is not a WAV/AIFF.") << what;
        ExpectUnchanged();
    }
}

// A header may claim far more than the file holds: only the frames really
// there are coded.
TEST(Import, CodesOnlyTheFramesTheFileHolds) {
    TempDir src;
    const Samples stereo = Frames(1019, 2, 4);
    Bytes wav = trx5test::WavBytes(2, 32000, 16, stereo);
    wav[40] = wav[41] = wav[42] = 0xFF;  // data chunk claims about 4 GiB
    wav[43] = 0xFF;
    trx5test::WriteFile(src / "claims.wav", wav);
    // 300 channels: a frame is 600 bytes, and only the first two are wanted.
    const Samples wide = Frames(1019, 300, 5);
    trx5test::WriteFile(src / "wide.aif",
                        trx5test::AiffBytes(300, 0xFFFFFFFFu, trx5::RateToExtended(32000), wide));
    const std::pair<std::string, std::pair<Samples, int>> cases[] = {
        {src / "claims.wav", {stereo, 2}},
        {src / "wide.aif", {wide, 300}},
    };
    for (const auto& [path, content] : cases) {
        SCOPED_TRACE(path);
        TempDir card;
        RecordingProgress progress;
        const auto result =
            trx5::ImportTakes(Request(path, card.path(), false, {0, 0}, TakeSlot{1, 0}), progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(result->blocks, 2u);
        EXPECT_EQ(progress.calls.size(), 2u);
        const auto& [frames, channels] = content;
        // Two whole blocks and a tail block per take, nothing more.
        EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"),
                  ExpectedTake(Channel(frames, channels, 0), false));
        if (channels == 2) {
            EXPECT_EQ(trx5test::ReadFile(card / "00-10.aud"),
                      ExpectedTake(Channel(frames, channels, 1), false));
        } else {
            EXPECT_FALSE(trx5test::FileExists(card / "00-10.aud"));
        }
    }
}

// Ctrl-C on the command line: the import is cancelled, the old takes stay
// and nothing is left behind.
TEST_F(ImportFailure, CancelLeavesTakesUnchanged) {
    trx5test::WriteFile(src / "long.wav", trx5test::WavBytes(2, 32000, 16, Frames(20 * 509, 2, 6)));
    ImportRequest r = Stereo(src / "long.wav");
    r.keepPartOnAbort = false;
    RecordingProgress stopping(5);
    const auto result = trx5::ImportTakes(r, stopping);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_TRUE(result->cancelled);
    EXPECT_TRUE(result->takePaths.empty());
    ExpectUnchanged();
}

// A link where a temporary file might be expected is never written through,
// and temporary files of a killed import are cleared, unless a running
// import still holds them.
TEST_F(ImportFailure, TemporaryFilesAreOursAlone) {
    trx5test::WriteFile(src / "victim", "keep me");
    const std::vector<std::string> links = {"00-03.aud.tmp", ".trx5tmp-00-03.aud-AAAAAA",
                                            ".trx5tmp-00-12.aud.tmp"};
    for (const std::string& name : links) {
        ASSERT_EQ(symlink((src / "victim").c_str(), (card / name).c_str()), 0);
    }
    const std::string stale = card / ".trx5tmp-00-03.aud-BBBBBB";
    const std::string held = card / ".trx5tmp-00-12.aud-CCCCCC";
    trx5test::WriteFile(stale, "left by a killed import");
    trx5test::WriteFile(held, "still being written");
    const int holder = open(held.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    // Not a file we would write: left alone, and never waited on.
    const std::string fifo = ".trx5tmp-00-03.aud-DDDDDD";
    ASSERT_EQ(mkfifo((card / fifo).c_str(), 0644), 0);

    alarm(20);
    const auto result = trx5::ImportTakes(Stereo(src / "in.wav"), progress);
    alarm(0);
    ASSERT_TRUE(result.ok()) << result.Describe();
    close(holder);

    EXPECT_EQ(trx5test::ReadFile(src / "victim"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_FALSE(trx5test::FileExists(stale));
    EXPECT_TRUE(trx5test::FileExists(held));
    std::set<std::string> expected = {"00-03.aud", "00-12.aud", ".trx5tmp-00-12.aud-CCCCCC", fifo};
    expected.insert(links.begin(), links.end());
    EXPECT_EQ(Listing(card.path()), expected);
    for (const char* take : {"00-03.aud", "00-12.aud"}) {
        struct stat st {};
        ASSERT_EQ(lstat((card / take).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << take;
    }
    EXPECT_EQ(trx5test::ReadFile(card / "00-03.aud").size(), 512u + 10 * 512);
}

}  // namespace
