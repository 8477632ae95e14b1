// trx5card run as a separate program on a demo card.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "audiofile/audio_source.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "cli/cli_run.h"
#include "convert/audio_check.h"
#include "convert/export.h"
#include "convert/import.h"

extern char** environ;

namespace {

using trx5test::Bytes;
using trx5test::RunCli;
using trx5test::RunOptions;
using trx5test::RunResult;
using trx5test::Samples;
using trx5test::TempDir;

std::string ReadText(const std::string& path) {
    const Bytes b = trx5test::ReadFile(path);
    return std::string(b.begin(), b.end());
}

std::set<std::string> FolderListing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
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
        // The histories of the takes that imports replace stay with the test.
        setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        const RunResult demo = RunCli({"demo", card.path()});
        ASSERT_EQ(demo.code, 0) << demo.err;
        EXPECT_EQ(demo.out, "");
        ASSERT_TRUE(trx5::CheckMachineFile(card.path()));
        trx5test::WriteRandomTake(card / "00-02.aud", 63, 9);
    }
    void TearDown() override { setenv("XDG_DATA_HOME", home_.c_str(), 1); }
    // The temporary home the test program set, put back after each test.
    const std::string home_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    TempDir data;
    TempDir card;
    TempDir work;
};

TEST_F(Cli, Songs) {
    const RunResult run = RunCli({"songs", card.path()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    // By song number, whatever order the folder lists the files in.
    EXPECT_EQ(lines, (std::vector<std::string>{"01 HiFi", "02 LONG"}));
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
    RunResult run =
        RunCli({"import", card.path(), "1", work / "in.wav", "--to", "2-5", "--keep-rate"});
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
        {3,
         16000,
         16,
         4000,
         {"Sampling Rate : 16000.00Hz", "Sampling Frames : 4000 (3 channels)  0:00:00:250",
          "Bits / Word : 16"}},
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
        // Options are taken whole, never by a prefix.
        {"import", c, "1", in, "--tomato", "1-5"},
        {"import", c, "1", in, "--to", "1-1", "--righteous", "2-1"},
        {"export", c, "1", "1-1", "-o", out, "--formatting", "aiff"},
        {"export", c, "1", "1-1", "-o", out, "--lev", "1=3"},
        {"export", c, "1", "1-1", "--out", out},
        {"songs", c, "--verbose"},
        {"backup"},
        {"backup", c},
        {"backup", c, out, "extra"},
        {"backup", c, out, "--force"},
        {"restore"},
        {"restore", c},
        {"restore", c, out, "extra"},
        {"stems"},
        {"stems", c},
        {"stems", c, out, "extra"},
        {"stems", c, out, "--song"},
        {"stems", c, out, "--song", "0"},
        {"stems", c, out, "--song", "101"},
        {"stems", c, out, "--song", "x1"},
        {"stems", c, out, "--song="},
        {"stems", work / "not-a-card", out, "--song", "0"},
        {"stems", c, out, "--format", "mp3"},
        {"stems", c, out, "--format"},
        {"stems", c, out, "--so", "1"},
        {"stems", c, out, "--overwrite"},
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
    EXPECT_FALSE(trx5test::FileExists(card / "00-40.aud"));
    EXPECT_FALSE(trx5test::FileExists(card / "00-14.aud"));
}

TEST(CliUsage, HelpForEveryCommand) {
    const RunResult main = RunCli({"--help"});
    EXPECT_EQ(main.code, 0);
    for (const char* command : {"songs", "takes", "export", "import", "info", "play", "backup",
                                "restore", "stems", "demo", "rescue"}) {
        EXPECT_NE(main.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        const RunResult run = RunCli({command, "--help"});
        EXPECT_EQ(run.code, 0) << command;
        EXPECT_NE(run.out.find(std::string("Usage: trx5card ") + command), std::string::npos)
            << run.out;
        EXPECT_EQ(run.err, "");
    }
    const RunResult version = RunCli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("trx5card ") + TRX5_VERSION + "\n");
}

// What does not reach standard output makes the run fail.
TEST_F(Cli, StandardOutputThatCannotBeWritten) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"songs", card.path()},
                                                 {"takes", card.path(), "1"},
                                                 {"--help"}}) {
        const RunResult run = RunCli(args, {"/dev/full", {}});
        EXPECT_EQ(run.code, 1) << Describe(args);
        EXPECT_EQ(run.err, "trx5card: standard output: No space left on device\n")
            << Describe(args);
    }
}

TEST_F(Cli, DemoNeverWritesOverAFolder) {
    const Bytes take = trx5test::ReadFile(card / "00-02.aud");
    const std::set<std::string> before = FolderListing(card.path());
    trx5test::WriteFile(work / "file", "x");
    for (const std::string& dir : {card.path(), work / "file"}) {
        const RunResult run = RunCli({"demo", dir});
        EXPECT_EQ(run.code, 1) << dir;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("already exists and is not an empty folder"), std::string::npos)
            << run.err;
    }
    EXPECT_EQ(FolderListing(card.path()), before);
    EXPECT_EQ(trx5test::ReadFile(card / "00-02.aud"), take);
}

// Ctrl-C during an import cancels it: the takes stay as they were.
TEST_F(Cli, InterruptedImportLeavesTheTakes) {
    const Bytes take = trx5test::ReadFile(card / "00-02.aud");
    const std::set<std::string> before = FolderListing(card.path());
    // A long mono file: 128 Mi frames of silence, mostly a hole in the file.
    const std::uint32_t dataBytes = 256u << 20;
    Bytes header = trx5test::WavBytes(1, 32000, 16, Samples());
    header[4] = header[40] = 0;  // sizes patched below
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = std::uint8_t((dataBytes + 36) >> (8 * i));
        header[40 + i] = std::uint8_t(dataBytes >> (8 * i));
    }
    const std::string source = work / "long.wav";
    trx5test::WriteFile(source, header);
    ASSERT_EQ(truncate(source.c_str(), off_t(header.size() + dataBytes)), 0);

    // Interrupt once the import writes its temporary take.
    const std::string folder = card.path();
    auto writing = [&folder] {
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            if (e.path().filename().string().rfind(".trx5tmp-", 0) == 0) return true;
        }
        return false;
    };
    const RunResult run =
        RunCli({"import", card.path(), "1", source, "--to", "1-3"}, {{}, writing});
    EXPECT_EQ(run.code, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Import canceled; takes left unchanged.\n");
    EXPECT_EQ(trx5test::ReadFile(card / "00-02.aud"), take);
    EXPECT_EQ(FolderListing(card.path()), before);
}

TEST(CliFailure, FailedOperationIsExitOne) {
    TempDir card;
    ASSERT_EQ(RunCli({"demo", card.path()}).code, 0);
    TempDir empty;
    TempDir invalid;
    trx5test::WriteFile(invalid / "SongNo.tx5", "QORV TX-5 MACHINE INFORMATION VER0002");
    TempDir work;
    trx5test::WriteFile(work / "notes.txt", "not audio");
    trx5test::WriteFile(work / "form.aif", std::string("FORM\0\0\0\4AIFF", 12));
    trx5test::WriteFile(work / "1hz.wav", trx5test::WavBytes(1, 1, 16, Samples(8000, 100)));
    ASSERT_EQ(mkfifo((work / "fifo.wav").c_str(), 0644), 0);
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
         "File to write could not be opened.: No such file or directory"},
        {{"export", c, "1", "1-1", "-o", "/dev/full"},
         "The file could not be written.: No space left on device"},
        {{"export", invalid.path(), "1", "1-1", "-o", out}, "Invalid TRX-5 card information"},
        {{"import", c, "1", work / "missing.wav", "--to", "1-1"},
         "The file could not be opened.: No such file or directory"},
        {{"import", c, "1", work / "fifo.wav", "--to", "1-1"},
         "The file could not be opened.: Not a regular file"},
        {{"import", c, "1", work / "form.aif", "--to", "1-1"}, "The file is not a WAV/AIFF."},
        {{"import", c, "1", work / "notes.txt", "--to", "1-1"}, "The file is not a WAV/AIFF."},
        {{"import", c, "1", work / "1hz.wav", "--to", "1-1", "--mix"},
         "Only a stereo file can be mixed into one take.: the file is mono"},
        {{"import", c, "1", work / "1hz.wav", "--to", "1-1"},
         "The sampling rate could not be converted.: the file's rate of 1 Hz is below 1000 Hz; "
         "--keep-rate takes the samples as they are"},
        {{"import", empty.path(), "1", work / "notes.txt", "--to", "1-1"},
         "No TRX-5 card information"},
        {{"info", work / "missing.wav"},
         "The file could not be opened.: No such file or directory"},
        {{"info", work / "notes.txt"}, "The file is not a WAV/AIFF."},
        {{"info", work.path()}, "The file could not be opened.: Is a directory"},
        {{"info", work / "fifo.wav"}, "The file could not be opened.: Not a regular file"},
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

// Every file of a folder (hidden ones too) with its bytes.
std::map<std::string, Bytes> AllFiles(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        files[e.path().filename().string()] = trx5test::ReadFile(e.path().string());
    }
    return files;
}

// The card files of a folder: *.tx5 and *.aud.
std::map<std::string, Bytes> CardFiles(const std::string& folder) {
    std::map<std::string, Bytes> files = AllFiles(folder);
    std::erase_if(files, [](const auto& file) {
        static const std::regex kCardName(R"(.*\.(tx5|aud))", std::regex::icase);
        return !std::regex_match(file.first, kCardName);
    });
    return files;
}

bool HoldsTemporaryFile(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        if (e.path().filename().string().rfind(".trx5tmp-", 0) == 0) return true;
    }
    return false;
}

TEST_F(Cli, BackupCopiesEveryCardFile) {
    trx5test::WriteFile(card / "notes.txt", "not a card file");
    const std::string dir = work / "backups/today";
    const RunResult run = RunCli({"backup", card.path(), dir});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Done.\n");
    EXPECT_EQ(run.err, "");
    const std::map<std::string, Bytes> cardFiles = CardFiles(card.path());
    EXPECT_EQ(cardFiles.size(), 11u);  // the demo's 3 .tx5 and 7 .aud, and take 1-3
    EXPECT_EQ(AllFiles(dir), cardFiles);
}

// Back up, damage the card, restore: the card files are the originals
// again and files the backup does not have stay.
TEST_F(Cli, RestoreRepairsADamagedCard) {
    const std::string backup = work / "backup";
    ASSERT_EQ(RunCli({"backup", card.path(), backup}).code, 0);
    std::map<std::string, Bytes> expected = CardFiles(card.path());

    trx5test::WriteFile(card / "00-00.aud", "garbage");
    ASSERT_EQ(std::remove((card / "UtyPrm01.tx5").c_str()), 0);
    ASSERT_EQ(truncate((card / "00-10.aud").c_str(), 1000), 0);
    trx5test::WriteFile(card / "notes.txt", "mine");
    trx5test::WriteRandomTake(card / "00-37.aud", 5, 3);
    expected["notes.txt"] = trx5test::ReadFile(card / "notes.txt");
    expected["00-37.aud"] = trx5test::ReadFile(card / "00-37.aud");

    std::string bareCard = card.path();
    bareCard.pop_back();
    const RunResult run = RunCli({"restore", backup, bareCard});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Done.\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(AllFiles(card.path()), expected);
}

TEST_F(Cli, BackupAndRestoreRefuseAFolderThatIsNoCard) {
    TempDir empty;
    TempDir invalid;
    trx5test::WriteFile(invalid / "SongNo.tx5", "QORV TX-5 MACHINE INFORMATION VER0002");
    trx5test::WriteRandomTake(invalid / "00-00.aud", 2, 1);
    TempDir songless;  // a machine file, and a folder with a song file's name
    ASSERT_EQ(RunCli({"demo", songless.path()}).code, 0);
    for (const char* song : {"UtyPrm00.tx5", "UtyPrm01.tx5"}) {
        ASSERT_EQ(std::remove((songless / song).c_str()), 0);
    }
    ASSERT_EQ(mkdir((songless / "UtyPrm00.tx5").c_str(), 0755), 0);
    const std::string out = work / "out";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"backup", empty.path(), out}, "No TRX-5 card information"},
        {{"backup", work / "missing", out}, "No TRX-5 card information"},
        {{"backup", invalid.path(), out}, "Invalid TRX-5 card information"},
        {{"restore", empty.path(), card.path()}, "No TRX-5 card information"},
        {{"restore", invalid.path(), card.path()}, "Invalid TRX-5 card information"},
        {{"restore", songless.path(), card.path()}, "holds no song files"},
    };
    const std::map<std::string, Bytes> before = AllFiles(card.path());
    for (const Case& c : cases) {
        const RunResult run = RunCli(c.args);
        EXPECT_EQ(run.code, 1) << Describe(c.args);
        EXPECT_EQ(run.out, "") << Describe(c.args);
        EXPECT_EQ(run.err.rfind("trx5card: ", 0), 0u) << Describe(c.args) << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos)
            << Describe(c.args) << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << Describe(c.args);
    }
    EXPECT_FALSE(trx5test::FileExists(out));
    EXPECT_EQ(AllFiles(card.path()), before);
}

TEST_F(Cli, BackupBelowAFileFails) {
    trx5test::WriteFile(work / "file", "x");
    const RunResult run = RunCli({"backup", card.path(), work / "file/sub"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "trx5card: " + work / "file/sub/" + ": Not a directory\n");
    EXPECT_EQ(ReadText(work / "file"), "x");
}

// A disk too small for the copy: a backup onto it and a restore onto a card
// on it are refused before anything is written, naming what the copy needs
// and what is free.
TEST_F(Cli, CopyThatDoesNotFitIsRefused) {
    const std::string small = work / "small";
    ASSERT_EQ(mkdir(small.c_str(), 0755), 0);
    if (mount("trx5test", small.c_str(), "tmpfs", 0, "size=512k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{small};
    // A card of one short song on the small disk.
    const std::string smallCard = small + "/card/";
    ASSERT_EQ(mkdir(smallCard.c_str(), 0755), 0);
    trx5test::MakeMachineFile(smallCard);
    trx5test::MakeSongFile(smallCard, 0, true);
    trx5test::WriteRandomTake(smallCard + "00-00.aud", 20, 4);
    const std::map<std::string, Bytes> before = AllFiles(smallCard);
    const std::string backup = work / "backup";
    ASSERT_EQ(RunCli({"backup", card.path(), backup}).code, 0);

    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"backup", card.path(), small + "/backup"}, small + "/backup/"},
        {{"restore", backup, smallCard}, smallCard},
    };
    const std::regex refusal(
        "trx5card: (.*): Not enough free space \\(([0-9.]+ [kM]B) needed, ([0-9.]+ kB) free\\)\n");
    for (const auto& [args, folder] : cases) {
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.code, 1) << Describe(args);
        EXPECT_EQ(run.out, "") << Describe(args);
        std::smatch refused;
        ASSERT_TRUE(std::regex_match(run.err, refused, refusal)) << run.err;
        EXPECT_EQ(refused[1], folder);
        EXPECT_EQ(refused[2], "1.3 MB");  // the demo card with take 1-3, less the small card
    }
    EXPECT_FALSE(trx5test::FileExists(small + "/backup"));
    EXPECT_EQ(AllFiles(smallCard), before);
}

// The files of song `fileNumber` among card files: its song file and takes.
std::map<std::string, Bytes> SongFiles(const std::map<std::string, Bytes>& files, int fileNumber) {
    char take[8], song[16];
    std::snprintf(take, sizeof take, "%02d-", fileNumber);
    std::snprintf(song, sizeof song, "UtyPrm%02d.tx5", fileNumber);
    std::map<std::string, Bytes> part;
    for (const auto& [name, bytes] : files) {
        if (name.rfind(take, 0) == 0 || name == song) part.emplace(name, bytes);
    }
    return part;
}

// A backup whose song 01 is HiFi and song 02 LONG, to restore onto the card,
// changed to a LONG song 01 and a HiFi song 02 with other takes.
class CliRestore : public Cli {
  protected:
    void SetUp() override {
        Cli::SetUp();
        ASSERT_EQ(RunCli({"backup", card.path(), backup}).code, 0);
        trx5test::MakeSongFile(card.path(), 0, true);
        trx5test::MakeSongFile(card.path(), 1, false);
        trx5test::WriteRandomTake(card / "00-00.aud", 7, 6);
        trx5test::WriteRandomTake(card / "01-00.aud", 9, 7);
        trx5test::WriteRandomTake(card / "01-31.aud", 9, 8);
        old = CardFiles(card.path());
        restored = CardFiles(backup);
    }
    const std::string backup = work / "backup";
    std::map<std::string, Bytes> old, restored;
};

// A restore that fails part way (song 02 gets a take larger than the
// program may write): song 01 is the backup's, song 02 and the machine file
// are the card's as they were, and the message says so.
TEST_F(CliRestore, FailurePartWayLeavesWholeSongs) {
    trx5test::WriteRandomTake(backup + "/01-05.aud", 2 << 11, 5);  // 2 MiB
    RunOptions limited;
    limited.fileSizeLimit = 1 << 20;
    const RunResult run = RunCli({"restore", backup, card.path()}, limited);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "trx5card: 01-05.aud: File too large; song 01 copied; song 02 and the machine file "
              "left as they were\n");
    const std::map<std::string, Bytes> now = CardFiles(card.path());
    EXPECT_EQ(SongFiles(now, 0), SongFiles(restored, 0));
    EXPECT_EQ(SongFiles(now, 1), SongFiles(old, 1));
    EXPECT_EQ(now.size(), SongFiles(now, 0).size() + SongFiles(now, 1).size() + 1);
    EXPECT_FALSE(HoldsTemporaryFile(card.path()));
    EXPECT_EQ(trx5::ListSongs(card.path()).at(0).longMode, false);
}

// kill -9 while a restore writes song 02's large take: song 01 is the
// backup's, song 02 the card's as it was. The temporary file left on the
// card goes with the next restore, which completes the card.
TEST_F(CliRestore, KilledRestoreLeavesWholeSongs) {
    const std::string large = backup + "/01-07.aud";
    trx5test::WriteFile(large, "");
    ASSERT_EQ(truncate(large.c_str(), off_t{300} << 20), 0);
    const auto writingLarge = [this] {
        for (const auto& e : std::filesystem::directory_iterator(card.path())) {
            if (e.path().filename().string().rfind(".trx5tmp-01-07.aud-", 0) == 0) return true;
        }
        return false;
    };
    const RunResult killed = RunCli({"restore", backup, card.path()}, {{}, writingLarge, SIGKILL});
    EXPECT_EQ(killed.code, -1) << "not killed: " << killed.err;
    EXPECT_TRUE(HoldsTemporaryFile(card.path()));
    const std::map<std::string, Bytes> now = CardFiles(card.path());
    EXPECT_EQ(SongFiles(now, 0), SongFiles(restored, 0));
    EXPECT_EQ(SongFiles(now, 1), SongFiles(old, 1));
    EXPECT_EQ(now.at("SongNo.tx5"), old.at("SongNo.tx5"));

    const RunResult again = RunCli({"restore", backup, card.path()});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_FALSE(HoldsTemporaryFile(card.path()));
    EXPECT_EQ(std::filesystem::file_size(card / "01-07.aud"), std::uintmax_t{300} << 20);
    ASSERT_EQ(std::remove((card / "01-07.aud").c_str()), 0);
    std::map<std::string, Bytes> expected = restored;
    expected["01-31.aud"] = old.at("01-31.aud");  // a take the backup does not have
    EXPECT_EQ(CardFiles(card.path()), expected);
}

// A link on the card or in the backup is not followed: what it leads to is
// never copied, the link is named on stderr and the copy goes on.
TEST_F(Cli, BackupAndRestoreLeaveLinksOut) {
    trx5test::WriteFile(work / "secret", "not for the card");
    const std::string backup = work / "backup";
    struct Case {
        std::vector<std::string> args;
        std::string from, to, link;
    };
    const Case cases[] = {
        {{"backup", card.path(), backup}, card.path(), backup + "/", "00-05.aud"},
        {{"restore", backup, card.path()}, backup + "/", card.path(), "00-06.aud"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(symlink((work / "secret").c_str(), (c.from + c.link).c_str()), 0);
        const RunResult run = RunCli(c.args);
        EXPECT_EQ(run.code, 0) << Describe(c.args) << ": " << run.err;
        EXPECT_EQ(run.out, "Done.\n");
        EXPECT_EQ(run.err, c.link + ": a link, not copied\n");
        EXPECT_FALSE(FolderListing(c.to).count(c.link)) << Describe(c.args);
    }
    EXPECT_EQ(ReadText(work / "secret"), "not for the card");
}

// A stray file whose name is near the file system's limit (250 characters)
// is backed up and restored like any other: the temporary file's name is cut
// short to fit.
TEST_F(Cli, LongNamesAreCopied) {
    const std::string name = std::string(246, 'x') + ".aud";
    trx5test::WriteFile(card / name, "stray");
    const std::string backup = work / "backup";
    const RunResult saved = RunCli({"backup", card.path(), backup});
    ASSERT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(ReadText(backup + "/" + name), "stray");
    trx5test::WriteFile(card / name, "changed");
    const RunResult restored = RunCli({"restore", backup, card.path()});
    ASSERT_EQ(restored.code, 0) << restored.err;
    EXPECT_EQ(ReadText(card / name), "stray");
    EXPECT_FALSE(HoldsTemporaryFile(card.path()));
}

// Ctrl-C while a large take is copied: the copy it would replace stays as
// it was and no temporary file is left.
TEST_F(Cli, InterruptedBackupLeavesWholeFiles) {
    const std::string large = card / "00-00.aud";
    trx5test::WriteFile(large, "");
    ASSERT_EQ(truncate(large.c_str(), off_t{300} << 20), 0);
    const std::string backup = work / "backup";
    ASSERT_EQ(mkdir(backup.c_str(), 0755), 0);
    trx5test::WriteFile(backup + "/00-00.aud", "an older copy");

    const RunResult run = RunCli({"backup", card.path(), backup},
                                 {{}, [&backup] { return HoldsTemporaryFile(backup); }});
    EXPECT_EQ(run.code, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Operation canceled\nsongs 01, 02 and the machine file left as they were\n");
    EXPECT_FALSE(HoldsTemporaryFile(backup));
    // The take is the first file in name order: nothing was copied.
    EXPECT_EQ(FolderListing(backup), std::set<std::string>{"00-00.aud"});
    EXPECT_EQ(ReadText(backup + "/00-00.aud"), "an older copy");
}

// A card that is not there (a mistyped or unmounted card folder) is a
// failure, not a new folder on the computer.
TEST_F(Cli, RestoreOntoAMissingCardFails) {
    const std::string gone = work / "CARD";
    const RunResult run = RunCli({"restore", card.path(), gone});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("trx5card: ", 0), 0u) << run.err;
    EXPECT_FALSE(trx5test::FileExists(gone));
}

// The stems the card's takes give, by song, track and V-Take: the file
// name and the take's file name.
std::vector<std::pair<std::string, std::string>> StemNames(const std::string& card,
                                                           const std::set<int>& songs,
                                                           const char* extension) {
    std::vector<std::pair<std::string, std::string>> names;
    for (int song : songs) {
        for (int t = 0; t < 4; ++t) {
            for (int v = 0; v < 8; ++v) {
                const std::string take = trx5::TakeFileName(song, t, v);
                if (!trx5test::FileExists(card + take)) continue;
                char name[64];
                std::snprintf(name, sizeof name, "Song%02d_Track%d_VTake%d%s", song + 1, t + 1,
                              v + 1, extension);
                names.emplace_back(name, take);
            }
        }
    }
    return names;
}

TEST_F(Cli, StemsOfEveryTake) {
    struct Case {
        std::vector<std::string> options;
        std::set<int> songs;
        const char* extension;
        std::string magic;  // the file's first four bytes
    };
    const Case cases[] = {
        {{}, {0, 1}, ".wav", "RIFF"},
        {{"--song", "02", "--format", "aiff"}, {1}, ".aif", "FORM"},
        {{"--format=flac", "--song=1"}, {0}, ".flac", "fLaC"},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string dir = work / ("stems" + std::to_string(run++));
        std::vector<std::string> args = {"stems", card.path(), dir};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult result = RunCli(args);
        ASSERT_EQ(result.code, 0) << Describe(args) << ": " << result.err;
        EXPECT_EQ(result.err, "");
        std::vector<std::string> lines;
        std::set<std::string> names;
        for (const auto& [name, take] : StemNames(card.path(), c.songs, c.extension)) {
            lines.push_back(dir + "/" + name);
            names.insert(name);
            EXPECT_EQ(ReadText(lines.back()).substr(0, 4), c.magic) << name;
            auto source = trx5::AudioSource::Open(lines.back());
            ASSERT_TRUE(source.ok()) << name << ": " << source.Describe();
            const trx5::AudioSourceInfo& info = (*source)->info();
            EXPECT_EQ(info.channels, 1);
            const bool longMode = take.rfind("01-", 0) == 0;  // song 02
            EXPECT_EQ(info.rate, longMode ? 16000 : 32000);
            Samples samples(info.frames);
            samples.resize((*source)->Read(samples.data(), info.frames));
            EXPECT_EQ(samples, trx5test::DecodeTakeFile(card / take, longMode)) << name;
        }
        EXPECT_GE(lines.size(), 2u);
        EXPECT_EQ(Lines(result.out), lines) << Describe(args);
        EXPECT_EQ(FolderListing(dir), names);
    }
}

// Ctrl-C while a long take is written: the stems before it stay whole, and
// neither a shortened stem nor a temporary file is left.
TEST_F(Cli, InterruptedStemsKeepTheFinishedFiles) {
    // Track 2, V-Take 1 of song 01 becomes 300 MB of silent blocks, mostly a
    // hole in the file.
    const std::string large = card / "00-10.aud";
    const trx5::TakeHeader header = trx5::MakeTakeHeader(false);
    trx5test::WriteFile(large, Bytes(header.begin(), header.end()));
    ASSERT_EQ(truncate(large.c_str(), off_t{512} + (off_t{300} << 20)), 0);
    const std::string dir = work / "stems";
    auto writingTheLargeOne = [&dir] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
            if (e.path().filename().string().rfind(".trx5tmp-Song01_Track2_VTake1", 0) == 0) {
                return true;
            }
        }
        return false;
    };
    const RunResult run = RunCli({"stems", card.path(), dir}, {{}, writingTheLargeOne});
    EXPECT_EQ(run.code, 130);
    EXPECT_EQ(run.err, "Operation canceled\n");
    const std::vector<std::string> names = {"Song01_Track1_VTake1.wav", "Song01_Track1_VTake2.wav",
                                            "Song01_Track1_VTake3.wav"};
    std::vector<std::string> lines;
    for (const std::string& name : names) lines.push_back(dir + "/" + name);
    EXPECT_EQ(Lines(run.out), lines);
    EXPECT_EQ(FolderListing(dir), std::set<std::string>(names.begin(), names.end()));
    const auto last = trx5test::ReadAudio(lines.back());
    ASSERT_TRUE(last);
    EXPECT_EQ(last->samples, trx5test::DecodeTakeFile(card / "00-02.aud", false));
}

TEST_F(Cli, StemsFailures) {
    TempDir empty;
    trx5test::WriteFile(work / "file", "x");
    const std::string out = work / "stems";
    const std::string blocked = out + "/Song01_Track1_VTake2.wav";
    struct Case {
        std::vector<std::string> args;
        bool folderInTheWay;  // of the second stem
        std::string message;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{"stems", empty.path(), out}, false, "trx5card: No TRX-5 card information", {}},
        {{"stems", card.path(), out, "--song", "5"},
         false,
         "trx5card: no song 05 on this card",
         {}},
        {{"stems", card.path(), work / "file/sub"},
         false,
         "trx5card: " + work / "file/sub: Not a directory",
         {}},
        // Something already there under a stem's name: nothing is written.
        {{"stems", card.path(), out},
         true,
         "trx5card: " + blocked + ": File exists (--force replaces the files there)",
         {}},
        // Told to replace, the first stem is written; the folder cannot be.
        {{"stems", card.path(), out, "--force"},
         true,
         "trx5card: " + blocked + ": File to write could not be opened.: Is a directory",
         {out + "/Song01_Track1_VTake1.wav"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(out);
        if (c.folderInTheWay) std::filesystem::create_directories(blocked);
        const RunResult run = RunCli(c.args);
        EXPECT_EQ(run.code, 1) << Describe(c.args);
        EXPECT_EQ(run.err, c.message + "\n") << Describe(c.args);
        EXPECT_EQ(Lines(run.out), c.lines) << Describe(c.args);
        EXPECT_EQ(trx5test::FileExists(out), c.folderInTheWay) << Describe(c.args);
        if (c.folderInTheWay) {
            std::set<std::string> names = {"Song01_Track1_VTake2.wav"};
            if (!c.lines.empty()) names.insert("Song01_Track1_VTake1.wav");
            EXPECT_EQ(FolderListing(out), names) << Describe(c.args);
        }
    }
    EXPECT_EQ(ReadText(work / "file"), "x");
}

// A second run into the same folder replaces nothing unless told to.
TEST_F(Cli, StemsReplaceFilesOnlyWithForce) {
    const std::string out = work / "stems";
    ASSERT_EQ(RunCli({"stems", card.path(), out, "--song", "1"}).code, 0);
    const std::set<std::string> written = FolderListing(out);
    const std::string first = out + "/" + *written.begin();
    trx5test::WriteFile(first, "mine");

    const RunResult refused = RunCli({"stems", card.path(), out, "--song", "1"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err,
              "trx5card: " + first + ": File exists (--force replaces the files there)\n");
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(ReadText(first), "mine");
    EXPECT_EQ(FolderListing(out), written);

    const RunResult forced = RunCli({"stems", card.path(), out, "--song", "1", "--force"});
    ASSERT_EQ(forced.code, 0) << forced.err;
    EXPECT_EQ(Lines(forced.out).size(), written.size());
    EXPECT_EQ(ReadText(first).substr(0, 4), "RIFF");
}

// What is off on the card is told on stderr, beside the listing.
TEST_F(Cli, SongsAndTakesNameWhatIsOff) {
    trx5test::WriteFile(card / "00-05.aud", Bytes(900, 0));
    trx5test::WriteRandomTake(card / "06-00.aud", 2, 1);
    const std::string notes =
        "trx5card: 00-05.aud: not a take (damaged?), kept\n"
        "trx5card: Song 07: 1 take file but no song file\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"songs", card.path()}, {"takes", card.path(), "1"}}) {
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.code, 0) << Describe(args);
        EXPECT_EQ(run.err, notes) << Describe(args);
        EXPECT_EQ(run.out.find("00-05.aud"), std::string::npos) << Describe(args);
    }
}

// Names that differ only in letter case stand for one file, the first in
// byte order: songs and takes list it once, with a line for the twin;
// import writes the file that `takes` shows, and stems writes each take once.
TEST_F(Cli, CaseTwinsStandForOneFile) {
    // Song 01's file twice (the twin says LONG), take 1-3 twice.
    std::filesystem::copy_file(card / "UtyPrm01.tx5", card / "utyprm00.TX5");
    std::filesystem::copy_file(card / "00-02.aud", card / "00-02.AUD");
    const RunResult songs = RunCli({"songs", card.path()});
    ASSERT_EQ(songs.code, 0) << songs.err;
    EXPECT_EQ(Lines(songs.out), (std::vector<std::string>{"01 HiFi", "02 LONG"}));
    const std::string notes =
        "trx5card: utyprm00.TX5: same song file as UtyPrm00.tx5, ignored\n"
        "trx5card: 00-02.aud: same take as 00-02.AUD, ignored\n";
    EXPECT_EQ(songs.err, notes);

    const RunResult before = RunCli({"takes", card.path(), "1"});
    ASSERT_EQ(before.code, 0);
    const std::vector<std::string> lines = Lines(before.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "1-3  0:00:01:002  00-02.AUD"), lines.end())
        << before.out;
    EXPECT_EQ(before.err, notes);

    trx5test::WriteFile(work / "short.wav",
                        trx5test::WavBytes(1, 32000, 16, Samples(3 * 509, 100)));
    const Bytes twin = trx5test::ReadFile(card / "00-02.aud");
    ASSERT_EQ(RunCli({"import", card.path(), "1", work / "short.wav", "--to", "1-3"}).code, 0);
    EXPECT_EQ(trx5test::ReadFile(card / "00-02.aud"), twin);
    const RunResult after = RunCli({"takes", card.path(), "1"});
    const std::vector<std::string> now = Lines(after.out);
    EXPECT_NE(std::find(now.begin(), now.end(), "1-3  0:00:00:047  00-02.AUD"), now.end())
        << after.out;

    const std::string out = work / "stems";
    const RunResult stems = RunCli({"stems", card.path(), out, "--song", "1"});
    ASSERT_EQ(stems.code, 0) << stems.err;
    const auto third = trx5test::ReadAudio(out + "/Song01_Track1_VTake3.wav");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->samples.size(), 3u * 509);
}

// Files of every format: `info` names their samples, `import` converts the
// rate unless --keep-rate and mixes with --mix (as the core does for the
// same request), `export` writes FLAC by name or by --format.
std::vector<std::string> InfoLines(const std::string& path) {
    const RunResult run = RunCli({"info", path});
    EXPECT_EQ(run.code, 0) << path << ": " << run.err;
    return Lines(run.out);
}

TEST_F(Cli, InfoOfEveryFormat) {
    trx5test::WriteFile(work / "base.wav",
                        trx5test::WavBytes(2, 44100, 16, trx5test::SumOfSines(88200, 2, 44100)));
    const std::string rate = "Sampling Rate : 44100.00Hz";
    const std::string frames = "Sampling Frames : 88200 (stereo)  0:00:02:000";
    const std::pair<std::string, std::string> files[] = {{"s24.flac", "-b 24"},
                                                         {"f32.wav", "-e floating-point -b 32"},
                                                         {"s.ogg", ""},
                                                         {"s.mp3", ""}};
    for (const auto& [name, options] : files) {
        ASSERT_TRUE(trx5test::Sox(trx5test::Quote(work / "base.wav") + options + " " +
                                  trx5test::Quote(work / name)));
    }
    EXPECT_EQ(InfoLines(work / "s24.flac"),
              (std::vector<std::string>{rate, frames, "Bits / Word : 24 (FLAC)"}));
    EXPECT_EQ(InfoLines(work / "f32.wav"),
              (std::vector<std::string>{rate, frames, "Bits / Word : 32 float (WAV)"}));
    const std::vector<std::string> ogg = InfoLines(work / "s.ogg");
    ASSERT_EQ(ogg.size(), 3u);
    EXPECT_EQ(ogg[0], rate);
    EXPECT_EQ(ogg[2], "Bits / Word : Vorbis (Ogg)");
    const std::vector<std::string> mp3 = InfoLines(work / "s.mp3");
    ASSERT_EQ(mp3.size(), 3u);
    EXPECT_EQ(mp3[0], rate);
    EXPECT_EQ(mp3[1].rfind("Sampling Frames : ", 0), 0u);
    EXPECT_EQ(mp3[2], "Bits / Word : MP3");
}

TEST_F(Cli, ImportConvertsKeepsTheRateOrMixes) {
    trx5test::WriteFile(work / "base.wav",
                        trx5test::WavBytes(2, 44100, 16, trx5test::SumOfSines(30000, 2, 44100)));
    ASSERT_TRUE(
        trx5test::Sox(trx5test::Quote(work / "base.wav") + trx5test::Quote(work / "in.flac")));
    struct Case {
        std::vector<std::string> options;
        bool keepRate;
        bool mix;
        bool right;
    };
    const Case cases[] = {{{"--right", "2-5"}, false, false, true},
                          {{"--right", "2-5", "--keep-rate"}, true, false, true},
                          {{"--mix"}, false, true, false},
                          {{"--mix", "--keep-rate"}, true, true, false}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"import",         card.path(), "1",
                                         work / "in.flac", "--to",      "1-5"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        // A take replaced is named: it went into the card's history.
        std::string out = "Take(s) have been generated.\n";
        if (trx5test::FileExists(card / "00-04.aud"))
            out += "01:1-5: the old take is in the history.\n";
        if (c.right && trx5test::FileExists(card / "00-14.aud")) {
            out += "01:2-5: the old take is in the history.\n";
        }
        const RunResult run = RunCli(args);
        ASSERT_EQ(run.code, 0) << Describe(args) << ": " << run.err;
        EXPECT_EQ(run.out, out);

        TempDir reference;
        trx5::ImportRequest r;
        r.sourcePath = work / "in.flac";
        r.cardDir = reference.path();
        r.first = {0, 4};
        if (c.right) r.second = trx5::TakeSlot{1, 4};
        r.keepRate = c.keepRate;
        r.mixToMono = c.mix;
        trx5::NoProgress progress;
        const auto result = trx5::ImportTakes(r, progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        ASSERT_EQ(result->takePaths.size(), c.right ? 2u : 1u);
        EXPECT_EQ(trx5test::ReadFile(card / "00-04.aud"), trx5test::ReadFile(result->takePaths[0]))
            << Describe(args);
        if (c.right) {
            EXPECT_EQ(trx5test::ReadFile(card / "00-14.aud"),
                      trx5test::ReadFile(result->takePaths[1]))
                << Describe(args);
        }
    }
}

// Ctrl-C while an hour of MP3 is being counted, before any take is written:
// the import stops at once (the count alone takes seconds) and the takes
// stay as they were.
TEST_F(Cli, InterruptedCountingLeavesTheTakes) {
    const std::string mp3 = trx5test::MakeLongMp3(work, 60);
    const Bytes take = trx5test::ReadFile(card / "00-02.aud");
    const std::set<std::string> before = FolderListing(card.path());
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point interrupted;
    bool writing = false;
    const std::string folder = card.path();
    auto counting = [&] {
        writing = writing || HoldsTemporaryFile(folder);
        if (Clock::now() - start < std::chrono::milliseconds(300)) return false;
        interrupted = Clock::now();
        return true;
    };
    const RunResult run = RunCli({"import", card.path(), "1", mp3, "--to", "1-3"}, {{}, counting});
    const auto latency = Clock::now() - interrupted;
    EXPECT_EQ(run.code, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Import canceled; takes left unchanged.\n");
    EXPECT_FALSE(writing);
    EXPECT_LT(latency, std::chrono::milliseconds(500));
    EXPECT_EQ(trx5test::ReadFile(card / "00-02.aud"), take);
    EXPECT_EQ(FolderListing(card.path()), before);
}

// Files whose headers claim other lengths than they hold: `info` tells the
// frames that `import` takes (the take holds their blocks), not the claim.
// Neither prints anything but its own lines: the MP3 decoder's diagnostics
// of the damaged stream never reach the terminal.
TEST_F(Cli, InfoTellsTheFramesTheImportTakes) {
    for (const trx5test::DamagedFile& file : trx5test::MakeDamagedFiles(work)) {
        SCOPED_TRACE(file.what);
        const RunResult info = RunCli({"info", file.path});
        ASSERT_EQ(info.code, 0) << info.err;
        EXPECT_EQ(info.err, "");
        const std::vector<std::string> lines = Lines(info.out);
        ASSERT_EQ(lines.size(), 3u);
        unsigned long long frames = 0;
        ASSERT_EQ(std::sscanf(lines[1].c_str(), "Sampling Frames : %llu", &frames), 1);
        const bool replaces = trx5test::FileExists(card / "00-10.aud");
        const RunResult run =
            RunCli({"import", card.path(), "1", file.path, "--to", "2-1", "--keep-rate"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, std::string("Take(s) have been generated.\n") +
                               (replaces ? "01:2-1: the old take is in the history.\n" : ""));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(trx5test::ReadFile(card / "00-10.aud").size(), 512 + (frames + 508) / 509 * 512)
            << lines[1];
    }
}

TEST_F(Cli, ExportFlac) {
    const Samples take = trx5test::DecodeTakeFile(card / "00-02.aud", false);
    const std::vector<std::vector<std::string>> cases = {
        {"-o", work / "take.FLAC"},
        {"-o", work / "take.wav", "--format", "flac"},
    };
    for (const auto& options : cases) {
        std::vector<std::string> args = {"export", card.path(), "1", "1-3"};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult run = RunCli(args);
        ASSERT_EQ(run.code, 0) << Describe(args) << ": " << run.err;
        EXPECT_EQ(run.out, options[1] + " created.\n");
        auto source = trx5::AudioSource::Open(options[1]);
        ASSERT_TRUE(source.ok()) << source.Describe();
        EXPECT_EQ(source.value()->info().sampleFormat, "16 (FLAC)");
        EXPECT_EQ(source.value()->info().rate, 32000);
        EXPECT_EQ(trx5test::ReadAllFrames(*source.value()), take);
    }
}

// Files with nothing to play or import are refused by every command that
// reads audio files, with the usual message and, for a file of a kind
// libsndfile knows, the reason.
TEST_F(Cli, FilesWithoutFramesAreRefused) {
    trx5test::WriteFile(work / "empty.flac", Bytes{});
    trx5test::WriteFile(work / "text.mp3", "not audio at all\n");
    trx5test::WriteFile(work / "none.wav", trx5test::FloatWavBytes(2, 44100, Samples()));
    std::vector<std::vector<std::string>> commands = {{"info"},
                                                      {"import", card.path(), "1", "--to", "1-1"}};
    if (RunCli({"play", "--help"}).code == 0) commands.push_back({"play"});
    const Bytes take = trx5test::ReadFile(card / "00-00.aud");
    const std::pair<const char*, std::string> files[] = {
        {"empty.flac", ""}, {"text.mp3", ""}, {"none.wav", ": the file holds no frames"}};
    for (const auto& [name, reason] : files) {
        for (std::vector<std::string> args : commands) {
            args.insert(args.begin() + (args[0] == "import" ? 3 : 1), work / name);
            const RunResult run = RunCli(args);
            EXPECT_EQ(run.code, 1) << Describe(args);
            EXPECT_EQ(run.out, "") << Describe(args);
            EXPECT_EQ(run.err,
                      "trx5card: " + (args[0] == "import" ? std::string() : work / name + ": ") +
                          "The file is not a WAV/AIFF." + reason + "\n")
                << Describe(args);
        }
    }
    EXPECT_EQ(trx5test::ReadFile(card / "00-00.aud"), take);
}

}  // namespace
