// trx5card run as a separate program on a demo card.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "card/card_info.h"
#include "card/take_file.h"
#include "convert/audio_check.h"
#include "convert/export.h"

extern char** environ;

namespace {

using trx5test::Bytes;
using trx5test::Samples;
using trx5test::TempDir;

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    const Bytes b = trx5test::ReadFile(path);
    return std::string(b.begin(), b.end());
}

// Runs trx5card with the arguments; standard output and error go to files
// of their own, standard input is empty.
RunResult RunCli(const std::vector<std::string>& args) {
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    std::vector<std::string> all = {TRX5CARD_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    RunResult run;
    const int spawned = posix_spawn(&pid, TRX5CARD_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << TRX5CARD_PATH;
        return run;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.code = WEXITSTATUS(status);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Describe(const std::vector<std::string>& args) {
    std::string text = "trx5card";
    for (const std::string& a : args) text += " '" + a + "'";
    return text;
}

// A demo card made by the program, with one take added: 63 HiFi blocks as
// track 1, V-Take 3 of song 01.
class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        const RunResult demo = RunCli({"demo", card.path()});
        ASSERT_EQ(demo.code, 0) << demo.err;
        EXPECT_EQ(demo.out, "");
        ASSERT_TRUE(trx5::CheckMachineFile(card.path()));
        trx5test::WriteRandomTake(card / "00-02.aud", 63, 9);
    }
    TempDir card;
    TempDir work;
};

TEST_F(Cli, Songs) {
    const RunResult run = RunCli({"songs", card.path()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()),
              (std::set<std::string>{"01 HiFi", "02 LONG"}));
    // In the order of the folder search, whatever the file system gives.
    std::vector<std::string> listed;
    for (const trx5::SongEntry& song : trx5::ListSongs(card.path())) {
        listed.push_back(song.ListText());
    }
    EXPECT_EQ(lines, listed);
    // The card folder may be given without the trailing "/".
    std::string bare = card.path();
    bare.pop_back();
    EXPECT_EQ(RunCli({"songs", bare}).out, run.out);
}

TEST_F(Cli, Takes) {
    const RunResult run = RunCli({"takes", card.path(), "1"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "1-3  0:00:01:002  00-02.aud"), lines.end())
        << run.out;

    // One line per take of the song, in track and V-Take order, each with
    // the length of its whole blocks.
    std::vector<std::string> expected;
    for (int t = 0; t < 4; ++t) {
        for (int v = 0; v < 8; ++v) {
            const std::string name = trx5::TakeFileName(0, t, v);
            if (!trx5test::FileExists(card / name)) continue;
            const std::uint64_t blocks = (std::filesystem::file_size(card / name) - 512) / 512;
            const std::uint64_t ms = blocks * 509 * 1000 / 32000;
            char line[64];
            std::snprintf(line, sizeof line, "%d-%d  %u:%02u:%02u:%03u  %s", t + 1, v + 1,
                          unsigned(ms / 3600000), unsigned(ms / 60000 % 60),
                          unsigned(ms / 1000 % 60), unsigned(ms % 1000), name.c_str());
            expected.push_back(line);
        }
    }
    EXPECT_GE(expected.size(), 3u);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(RunCli({"takes", card.path(), "01"}).out, run.out);

    const RunResult longSong = RunCli({"takes", card.path(), "2"});
    ASSERT_EQ(longSong.code, 0) << longSong.err;
    const std::regex shape(R"(\d-\d  \d:\d\d:\d\d:\d\d\d  01-\d\d\.aud)");
    for (const std::string& line : Lines(longSong.out)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
    EXPECT_FALSE(Lines(longSong.out).empty());
}

TEST_F(Cli, ExportMono) {
    const std::string out = work / "take.wav";
    const RunResult run = RunCli({"export", card.path(), "1", "1-3", "-o", out, "--level", "1=0"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, out + " created.\n");
    EXPECT_EQ(run.err, "");
    const auto d = trx5test::ReadAudio(out);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, trx5::AudioKindWav);
    EXPECT_EQ(d->channels, 1);
    EXPECT_EQ(d->rate, 32000);
    EXPECT_EQ(d->frames, 63u * 509);
    EXPECT_EQ(d->samples, trx5test::DecodeTakeFile(card / "00-02.aud", false));
}

TEST_F(Cli, ExportStereoWithKnobs) {
    const std::string out = work / "mix.AIF";
    const RunResult run =
        RunCli({"export", card.path(), "1", "1-1", "2-1", "4-3", "--level", "1=90", "--pan=2=10",
                "--level=4=127", "--pan", "4=100", "-o", out});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, out + " created.\n");
    EXPECT_EQ(run.err, "");
    const auto d = trx5test::ReadAudio(out);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, trx5::AudioKindAiff);
    EXPECT_EQ(d->channels, 2);
    EXPECT_EQ(d->rate, 32000);

    trx5::ExportRequest r;
    r.takePaths[0] = card / "00-00.aud";
    r.takePaths[1] = card / "00-10.aud";
    r.takePaths[3] = card / "00-32.aud";
    r.levels = {90, 100, 100, 127};
    r.pans = {50, 10, 50, 100};
    r.format = trx5::ExportFormat::Aiff;
    r.outputPath = work / "reference.aif";
    trx5::NoProgress progress;
    ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
    EXPECT_EQ(trx5test::ReadFile(out), trx5test::ReadFile(r.outputPath));
}

TEST_F(Cli, ExportLongSongWithChosenFormat) {
    const std::string out = work / "long.wav";
    const RunResult run =
        RunCli({"export", card.path(), "2", "1-1", "2-4", "-o", out, "--format=aiff"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto d = trx5test::ReadAudio(out);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, trx5::AudioKindAiff);
    EXPECT_EQ(d->channels, 2);
    EXPECT_EQ(d->rate, 16000);
    EXPECT_EQ(d->frames % 510, 0u);
    EXPECT_GT(d->frames, 0u);
}

TEST_F(Cli, ImportThenTakes) {
    const Samples mono = Samples(1018, 1000);
    trx5test::WriteFile(work / "in.wav", trx5test::WavBytes(1, 44100, 16, mono));
    RunResult run = RunCli({"import", card.path(), "1", work / "in.wav", "--to", "2-5"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Take(s) have been generated.\n");
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(RunCli({"takes", card.path(), "1"}).out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "2-5  0:00:00:031  00-14.aud"), lines.end());
    EXPECT_EQ(trx5test::DecodeTakeFile(card / "00-14.aud", false), mono);

    Samples stereo;
    for (int i = 0; i < 2000; ++i) {
        stereo.push_back(std::int16_t(i));
        stereo.push_back(std::int16_t(-i));
    }
    trx5test::WriteFile(work / "st.wav", trx5test::WavBytes(2, 16000, 16, stereo));
    run = RunCli({"import", card.path(), "2", work / "st.wav", "--to=3-1", "--right", "4-8"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Take(s) have been generated.\n");
    const Bytes left = trx5test::ReadFile(card / "01-20.aud");
    const Bytes right = trx5test::ReadFile(card / "01-37.aud");
    EXPECT_EQ(left.size(), 512u + 4 * 512);  // 2000 frames = 3 LONG blocks and a tail
    EXPECT_EQ(right.size(), left.size());
    EXPECT_EQ(left[0], 1);
    EXPECT_NE(left, right);
}

TEST_F(Cli, Info) {
    struct Case {
        int channels;
        std::uint32_t rate;
        int bits;
        std::size_t frames;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {2,
         44100,
         16,
         88200,
         {"Sampling Rate : 44100.00Hz", "Sampling Frames : 88200 (stereo)  0:00:02:000",
          "Bits / Word : 16"}},
        {1,
         8000,
         8,
         12004,
         {"Sampling Rate : 8000.00Hz", "Sampling Frames : 12004 (mono)  0:00:01:500",
          "Bits / Word : 8"}},
    };
    for (const Case& c : cases) {
        const std::string path = work / "info.wav";
        trx5test::WriteFile(path, trx5test::WavBytes(c.channels, c.rate, c.bits,
                                                     Samples(c.frames * c.channels, 0)));
        const RunResult run = RunCli({"info", path});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(Lines(run.out), c.lines);
        EXPECT_EQ(run.err, "");
    }
}

TEST(CliUsage, BadUsageIsExitTwo) {
    TempDir card;
    ASSERT_EQ(RunCli({"demo", card.path()}).code, 0);
    TempDir work;
    trx5test::WriteFile(work / "in.wav", trx5test::WavBytes(1, 32000, 16, Samples(600, 0)));
    const std::string c = card.path();
    const std::string in = work / "in.wav";
    const std::string out = work / "out.wav";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"frobnicate", c},
        {"songs"},
        {"songs", c, "extra"},
        {"takes", c},
        {"takes", c, "0"},
        {"takes", c, "101"},
        {"takes", c, "x1"},
        {"export", c, "1", "5-1", "-o", out},
        {"export", c, "1", "1-9", "-o", out},
        {"export", c, "1", "1-0", "-o", out},
        {"export", c, "1", "11", "-o", out},
        {"export", c, "1", "1-1", "1-2", "-o", out},
        {"export", c, "1", "1-1", "--level", "1=128", "-o", out},
        {"export", c, "1", "1-1", "--pan", "1=101", "-o", out},
        {"export", c, "1", "1-1", "--pan", "5=50", "-o", out},
        {"export", c, "1", "1-1", "--level", "1", "-o", out},
        {"export", c, "1", "1-1", "-o", out, "--format", "mp3"},
        {"export", c, "1", "1-1", "-o", out, "--bogus"},
        {"export", c, "1", "1-1"},
        {"export", c, "1", "1-1", "-o"},
        {"export", c, "1", "-o", out},
        {"export", c, "-o", out},
        {"export", c, "0", "1-1", "-o", out},
        {"export", work / "not-a-card", "1", "9-9", "-o", out},
        {"import", c, "1", in},
        {"import", c, "1", "--to", "1-1"},
        {"import", c, "1", in, "--to", "0-1"},
        {"import", c, "1", in, "--to", "1-1", "--right", "1-1"},
        {"import", c, "1", in, "extra", "--to", "1-1"},
        {"import", c, "1", in, "--to"},
        {"info"},
        {"info", in, in},
        {"demo"},
    };
    for (const auto& args : cases) {
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.code, 2) << Describe(args);
        EXPECT_EQ(run.out, "") << Describe(args);
        EXPECT_EQ(run.err.rfind("trx5card: ", 0), 0u) << Describe(args) << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << Describe(args);
        EXPECT_EQ(run.err.back(), '\n') << Describe(args);
        EXPECT_FALSE(trx5test::FileExists(out)) << Describe(args);
    }
    // Nothing was imported either.
    EXPECT_FALSE(trx5test::FileExists(card / "00-00.aud.tmp"));
    EXPECT_EQ(RunCli({"--help"}).code, 0);
}

TEST(CliFailure, FailedOperationIsExitOne) {
    TempDir card;
    ASSERT_EQ(RunCli({"demo", card.path()}).code, 0);
    TempDir empty;
    TempDir invalid;
    trx5test::WriteFile(invalid / "SongNo.tx5", "QORV TX-5 MACHINE INFORMATION VER0002");
    TempDir work;
    trx5test::WriteFile(work / "notes.txt", "not audio");
    const std::string c = card.path();
    const std::string out = work / "out.wav";
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"songs", empty.path()}, "No TRX-5 card information"},
        {{"songs", invalid.path()}, "Invalid TRX-5 card information"},
        {{"songs", work / "missing"}, "No TRX-5 card information"},
        {{"takes", empty.path(), "1"}, "No TRX-5 card information"},
        {{"takes", c, "5"}, "no song 05"},
        {{"export", c, "3", "1-1", "-o", out}, "no song 03"},
        {{"export", c, "1", "2-2", "-o", out}, "no take file for 2-2"},
        {{"export", c, "1", "1-1", "2-2", "-o", out}, "no take file for 2-2"},
        {{"export", c, "1", "1-1", "-o", work / "missing/out.wav"},
         "File to write could not be opened."},
        {{"export", invalid.path(), "1", "1-1", "-o", out}, "Invalid TRX-5 card information"},
        {{"import", c, "1", work / "missing.wav", "--to", "1-1"}, "The file could not be opened."},
        {{"import", c, "1", work / "notes.txt", "--to", "1-1"}, "The file is not a WAV/AIFF."},
        {{"import", empty.path(), "1", work / "notes.txt", "--to", "1-1"},
         "No TRX-5 card information"},
        {{"info", work / "missing.wav"}, "The file could not be opened."},
        {{"info", work / "notes.txt"}, "The file is not a WAV/AIFF."},
        {{"info", work.path()}, "The file could not be opened."},
    };
    const Bytes take = trx5test::ReadFile(card / "00-00.aud");
    for (const Case& k : cases) {
        const RunResult run = RunCli(k.args);
        EXPECT_EQ(run.code, 1) << Describe(k.args);
        EXPECT_EQ(run.out, "") << Describe(k.args);
        EXPECT_NE(run.err.find(k.message), std::string::npos)
            << Describe(k.args) << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << Describe(k.args);
        EXPECT_FALSE(trx5test::FileExists(out)) << Describe(k.args);
    }
    EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"), take);
}

}  // namespace
