#include "convert/export.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "codec/track_mix.h"
#include "common/file_io.h"
#include "convert/audio_check.h"
#include "convert/recording_progress.h"

namespace {

using trx5::ExportFormat;
using trx5::ExportRequest;
using trx5test::AudioData;
using trx5test::Bytes;
using trx5test::RecordingProgress;
using trx5test::Samples;
using trx5test::TempDir;

// The stereo mix of the given takes as the recorder's mixer forms it: per
// block, a cleared buffer and each track that still has a block in order.
Samples ExpectedMix(const ExportRequest& r) {
    std::vector<trx5ref::Track> tracks;
    for (int t = 0; t < 4; ++t) {
        if (r.takePaths[t].empty()) continue;
        tracks.push_back(
            {trx5test::DecodeTakeFile(r.takePaths[t], r.longMode), r.levels[t], r.pans[t]});
    }
    return trx5ref::MixTracks(tracks, r.longMode ? 510 : 509);
}

// Checks the sizes written into the header against the file's real length.
void ExpectExactSizes(const std::string& path, ExportFormat format, int channels,
                      std::uint64_t frames) {
    const Bytes b = trx5test::ReadFile(path);
    const std::uint64_t dataBytes = frames * channels * 2;
    if (format == ExportFormat::Wav) {
        ASSERT_EQ(b.size(), trx5::kWavHeaderSize + dataBytes);
        EXPECT_EQ(trx5test::LE32At(b, 4), b.size() - 8);
        EXPECT_EQ(trx5test::LE32At(b, 42), dataBytes);
    } else {
        ASSERT_EQ(b.size(), trx5::kAiffHeaderSize + dataBytes);
        EXPECT_EQ(trx5test::BE32At(b, 4), b.size() - 8);
        EXPECT_EQ(trx5test::BE32At(b, 22), frames);
        EXPECT_EQ(trx5test::BE32At(b, 42), dataBytes + 8);
    }
}

AudioData ReadBack(const std::string& path) {
    const auto d = trx5test::ReadAudio(path);
    EXPECT_TRUE(d.has_value()) << path;
    return d.value_or(AudioData{});
}

TEST(ExportFormatRule, FromTheName) {
    using F = ExportFormat;
    struct Case {
        const char* name;
        ExportFormat filter;
        ExportFormat format;
        const char* finalName;
    };
    const Case cases[] = {
        {"mix", F::Aiff, F::Aiff, "mix.aif"},
        {"mix", F::Wav, F::Wav, "mix"},
        {"mix", F::Flac, F::Flac, "mix.flac"},
        {"song.AIF", F::Wav, F::Aiff, "song.AIF"},
        {"song.aif", F::Flac, F::Aiff, "song.aif"},
        {"song.aiff", F::Aiff, F::Wav, "song.aiff"},
        {"song.wav", F::Flac, F::Wav, "song.wav"},
        {"song.FLAC", F::Wav, F::Flac, "song.FLAC"},
        {"song.flac", F::Aiff, F::Flac, "song.flac"},
        {"song.mp3", F::Aiff, F::Wav, "song.mp3"},
        {"/tmp/x.aif/mix", F::Aiff, F::Aiff, "/tmp/x.aif/mix.aif"},
        {"/tmp/x.flac/mix", F::Wav, F::Wav, "/tmp/x.flac/mix"},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(trx5::ChooseExportFormat(name, c.filter), c.format) << c.name;
        EXPECT_EQ(name, c.finalName);
    }
}

// The formats' names on the command line and their files' extensions.
TEST(ExportFormatRule, NamesAndExtensions) {
    using F = ExportFormat;
    const std::tuple<const char*, F, const char*> cases[] = {
        {"wav", F::Wav, ".wav"}, {"aiff", F::Aiff, ".aif"}, {"flac", F::Flac, ".flac"}};
    for (const auto& [name, format, extension] : cases) {
        EXPECT_EQ(trx5::ExportFormatNamed(name), format) << name;
        EXPECT_STREQ(trx5::ExportFileExtension(format), extension) << name;
    }
    for (const char* other : {"", "WAV", "aif", "mp3"}) {
        EXPECT_EQ(trx5::ExportFormatNamed(other), std::nullopt) << other;
    }
}

TEST(Export, SingleTakeIsTheDecodedTakeUnchanged) {
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Aiff}) {
        for (bool longMode : {false, true}) {
            SCOPED_TRACE(std::string(format == ExportFormat::Wav ? "wav" : "aiff") +
                         (longMode ? " long" : " hifi"));
            TempDir dir;
            ExportRequest r;
            r.longMode = longMode;
            r.takePaths[2] = dir / "00-25.aud";
            trx5test::WriteRandomTake(r.takePaths[2], 37, 3);
            r.levels = {0, 0, 0, 0};  // the knobs play no part
            r.pans = {0, 0, 0, 0};
            r.outputPath = dir / "out";
            r.format = format;
            RecordingProgress progress;
            const auto result = trx5::ExportTakes(r, progress);
            ASSERT_TRUE(result.ok()) << result.message();
            EXPECT_EQ(result->channels, 1);
            EXPECT_EQ(result->blocks, 37u);
            EXPECT_EQ(result->blocksWritten, 37u);
            EXPECT_FALSE(result->cancelled);

            const int spb = trx5::SamplesPerBlock(longMode);
            ExpectExactSizes(r.outputPath, format, 1, 37 * spb);
            const AudioData d = ReadBack(r.outputPath);
            EXPECT_EQ(d.kind,
                      format == ExportFormat::Wav ? trx5::AudioKindWav : trx5::AudioKindAiff);
            EXPECT_EQ(d.channels, 1);
            EXPECT_EQ(d.bits, 16);
            EXPECT_EQ(d.rate, longMode ? 16000 : 32000);
            EXPECT_EQ(d.samples, trx5test::DecodeTakeFile(r.takePaths[2], longMode));

            ASSERT_EQ(progress.calls.size(), 37u);
            for (std::uint64_t n = 0; n < 37; ++n) {
                EXPECT_EQ(progress.calls[n], std::make_pair(n, std::uint64_t(37)));
            }
        }
    }
}

TEST(Export, StereoFollowsTheLongestTake) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";  // the shorter take comes first
    r.takePaths[1] = dir / "00-13.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 10, 1);
    trx5test::WriteRandomTake(r.takePaths[1], 20, 2);
    r.outputPath = dir / "mix.wav";
    trx5::NoProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result->channels, 2);
    EXPECT_EQ(result->blocks, 20u);

    ExpectExactSizes(r.outputPath, ExportFormat::Wav, 2, 20 * 509);
    const AudioData d = ReadBack(r.outputPath);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.rate, 32000);
    ASSERT_EQ(d.frames, 20u * 509);
    EXPECT_EQ(d.samples, ExpectedMix(r));
    // From block 10 on only the longer take plays, at unity and centre.
    const Samples longer = trx5test::DecodeTakeFile(r.takePaths[1], false);
    for (std::size_t i = 10 * 509; i < 20 * 509; ++i) {
        const std::int16_t want = longer[i] == -32768 ? -32767 : longer[i];
        ASSERT_EQ(d.samples[2 * i], want) << i;
        ASSERT_EQ(d.samples[2 * i + 1], want) << i;
    }
}

TEST(Export, KnobsShapeTheMix) {
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Aiff}) {
        TempDir dir;
        ExportRequest r;
        r.longMode = true;
        r.format = format;
        const int lengths[4] = {5, 40, 0, 33};
        for (int t : {0, 1, 3}) {
            r.takePaths[t] = dir / trx5::TakeFileName(4, t, t);
            trx5test::WriteRandomTake(r.takePaths[t], lengths[t], 10 + t);
        }
        r.levels = {127, 60, 100, 0};
        r.pans = {0, 100, 50, 25};
        r.outputPath = dir / "mix";
        trx5::NoProgress progress;
        ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
        const AudioData d = ReadBack(r.outputPath);
        EXPECT_EQ(d.rate, 16000);
        ASSERT_EQ(d.frames, 40u * 510);
        EXPECT_EQ(d.samples, ExpectedMix(r));
        // Track 1 is hard left, track 2 hard right and track 4 silent, so
        // after block 5 the left side is silent.
        for (std::size_t i = 5 * 510; i < 40 * 510; ++i) ASSERT_EQ(d.samples[2 * i], 0) << i;
    }
}

TEST(Export, FourFullScaleTracksSaturate) {
    for (std::int16_t value : {std::int16_t(32767), std::int16_t(-32768)}) {
        TempDir dir;
        ExportRequest r;
        for (int t = 0; t < 4; ++t) {
            r.takePaths[t] = dir / trx5::TakeFileName(0, t, 0);
            trx5test::WriteConstantTake(r.takePaths[t], 3, false, value);
        }
        r.outputPath = dir / "mix.wav";
        trx5::NoProgress progress;
        ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
        const AudioData d = ReadBack(r.outputPath);
        ASSERT_EQ(d.samples.size(), 2u * 3 * 509);
        const std::int16_t want = value > 0 ? 32767 : -32767;
        for (std::size_t i = 0; i < d.samples.size(); ++i) ASSERT_EQ(d.samples[i], want) << i;
    }
}

// A take whose file ends inside a block contributes that block zero-filled,
// and nothing after it.
TEST(Export, ShorterTakeEndingInsideABlock) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    r.takePaths[1] = dir / "00-10.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 20, 4);
    trx5test::WriteRandomTake(r.takePaths[1], 10, 5, 100);
    r.outputPath = dir / "mix.wav";
    trx5::NoProgress progress;
    ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
    const AudioData d = ReadBack(r.outputPath);
    ASSERT_EQ(d.frames, 20u * 509);
    EXPECT_EQ(d.samples, ExpectedMix(r));
    EXPECT_EQ(trx5test::DecodeTakeFile(r.takePaths[1], false).size(), 11u * 509);
}

TEST(Export, AbortLeavesAValidShorterFile) {
    struct Case {
        bool stereo;
        ExportFormat format;
        std::uint64_t stopAt;
    };
    const Case cases[] = {
        {false, ExportFormat::Wav, 0},   {false, ExportFormat::Wav, 7},
        {false, ExportFormat::Aiff, 32}, {true, ExportFormat::Wav, 33},
        {true, ExportFormat::Aiff, 1},   {true, ExportFormat::Wav, 39},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stereo ? "stereo " : "mono ") +
                     (c.format == ExportFormat::Wav ? "wav " : "aiff ") + std::to_string(c.stopAt));
        TempDir dir;
        ExportRequest r;
        r.takePaths[0] = dir / "00-00.aud";
        trx5test::WriteRandomTake(r.takePaths[0], 40, 6);
        if (c.stereo) {
            r.takePaths[3] = dir / "00-30.aud";
            trx5test::WriteRandomTake(r.takePaths[3], 35, 7);
        }
        r.format = c.format;
        r.outputPath = dir / "out";
        RecordingProgress progress(c.stopAt);
        const auto result = trx5::ExportTakes(r, progress);
        ASSERT_TRUE(result.ok()) << result.message();
        EXPECT_TRUE(result->cancelled);
        EXPECT_EQ(result->blocks, 40u);
        EXPECT_EQ(result->blocksWritten, c.stopAt);
        ASSERT_EQ(progress.calls.size(), c.stopAt + 1);
        for (std::uint64_t n = 0; n <= c.stopAt; ++n) {
            EXPECT_EQ(progress.calls[n], std::make_pair(n, std::uint64_t(40)));
        }

        const int channels = c.stereo ? 2 : 1;
        ExpectExactSizes(r.outputPath, c.format, channels, c.stopAt * 509);
        const AudioData d = ReadBack(r.outputPath);
        EXPECT_EQ(d.channels, channels);
        Samples full = c.stereo ? ExpectedMix(r) : trx5test::DecodeTakeFile(r.takePaths[0], false);
        full.resize(c.stopAt * 509 * channels);
        EXPECT_EQ(d.samples, full);
    }
}

// The samples sox reads from an audio file, as 16-bit little-endian bytes.
Bytes SoxSamples(const std::string& path, const TempDir& dir) {
    const std::string raw = dir / "sox.raw";
    if (!trx5test::Sox(trx5test::Quote(path) + "-t raw -e signed -b 16 -L " +
                       trx5test::Quote(raw))) {
        ADD_FAILURE() << "sox cannot read " << path;
        return {};
    }
    return trx5test::ReadFile(raw);
}

Bytes LittleEndian(const std::vector<std::int16_t>& samples) {
    Bytes bytes;
    for (std::int16_t s : samples) trx5test::PutLE16(bytes, std::uint16_t(s));
    return bytes;
}

std::string SoxInfo(const std::string& option, const std::string& path) {
    std::string out;
    const std::string command = std::string("'") + TRX5_SOX + "' --i " + option + " '" + path + "'";
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[128];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// sox reads what the export writes, sample for sample.
TEST(Export, SoxReadsTheMix) {
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Aiff}) {
        TempDir dir;
        ExportRequest r;
        r.longMode = true;
        r.takePaths[0] = dir / "00-00.aud";
        r.takePaths[2] = dir / "00-20.aud";
        trx5test::WriteRandomTake(r.takePaths[0], 6, 21);
        trx5test::WriteRandomTake(r.takePaths[2], 4, 22);
        r.pans = {20, 50, 90, 50};
        r.format = format;
        r.outputPath = dir / (format == ExportFormat::Wav ? "mix.wav" : "mix.aif");
        trx5::NoProgress progress;
        ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
        EXPECT_EQ(SoxInfo("-r", r.outputPath), "16000");
        EXPECT_EQ(SoxInfo("-c", r.outputPath), "2");
        EXPECT_EQ(SoxSamples(r.outputPath, dir), LittleEndian(ExpectedMix(r)));
    }
}

TEST(Export, OutputThatCannotBeCreated) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 2, 1);
    r.outputPath = dir / "missing/out.wav";
    trx5::NoProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "File to write could not be opened.");
    EXPECT_EQ(result.reason(), "No such file or directory");
    EXPECT_FALSE(trx5test::FileExists(dir / "missing"));
}

TEST(Export, WriteFailureOnADeviceKeepsTheDevice) {
    struct stat before {};
    if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode)) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Aiff, ExportFormat::Flac}) {
        TempDir dir;
        ExportRequest r;
        r.takePaths[0] = dir / "00-00.aud";
        r.takePaths[1] = dir / "00-10.aud";
        trx5test::WriteRandomTake(r.takePaths[0], 50, 1);
        trx5test::WriteRandomTake(r.takePaths[1], 5, 2);
        r.outputPath = "/dev/full";
        r.format = format;
        trx5::NoProgress progress;
        const auto result = trx5::ExportTakes(r, progress);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.message(), "The file could not be written.");
        EXPECT_EQ(result.reason(), "No space left on device");
        struct stat after {};
        ASSERT_EQ(stat("/dev/full", &after), 0) << "/dev/full was removed";
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_rdev, before.st_rdev);
    }
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// Names up to the file system's limit are written, though the temporary
// file beside them carries a longer name; a stale temporary file of a long
// name is still recognised and cleared.
TEST(Export, NamesAtTheLengthLimit) {
    TempDir dir;
    const std::string take = dir / "00-00.aud";
    trx5test::WriteRandomTake(take, 3, 5);
    std::string accented;
    for (int i = 0; i < 125; ++i) accented += "\xc3\xa9";  // "é", two bytes
    const std::string names[] = {std::string(251, 'x') + ".wav", std::string(250, 'y') + ".flac",
                                 accented + ".aif", std::string(255, 'z')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.size());
        TempDir out;
        // What a killed export of this name left behind.
        const std::string stale =
            out.path() + trx5::kTempPrefix + trx5::TempNameStem(out.path(), name) + "-AAAAAA";
        ASSERT_LE(stale.size() - out.path().size(), 255u);
        trx5test::WriteFile(stale, "left by a killed export");
        ExportRequest r;
        r.takePaths[0] = take;
        r.outputPath = out / name;
        std::string chosen = r.outputPath;
        r.format = trx5::ChooseExportFormat(chosen, ExportFormat::Wav);
        trx5::NoProgress none;
        const auto result = trx5::ExportTakes(r, none);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(Listing(out.path()), std::set<std::string>{name});
        const auto source = trx5::AudioSource::Open(r.outputPath);
        ASSERT_TRUE(source.ok()) << source.Describe();
        EXPECT_EQ((*source)->info().frames, 3u * 509);
    }
    // The stem is cut at a character boundary, never inside one.
    const std::string stem = trx5::TempNameStem(dir.path(), accented + ".aif");
    EXPECT_EQ(stem.size() % 2, 0u);
    EXPECT_EQ(stem, accented.substr(0, stem.size()));
    EXPECT_EQ(trx5::TempNameStem(dir.path(), "short.wav"), "short.wav");
}

// Runs the export in a child process with a file size limit, as a disk that
// fills part way; the child reports whether the failure and its reason came.
bool ExportFailsUnderSizeLimit(const ExportRequest& r, rlim_t bytes) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        trx5::NoProgress progress;
        const auto result = trx5::ExportTakes(r, progress);
        _exit(!result.ok() && result.message() == "The file could not be written." &&
                      result.reason() == "File too large"
                  ? 0
                  : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A write that fails part way is reported with its reason; a new file is
// not left behind, and a file that was there stays as it was.
TEST(Export, WriteFailureLeavesNoIncompleteFile) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 60, 1);
    r.outputPath = dir / "out.wav";
    EXPECT_TRUE(ExportFailsUnderSizeLimit(r, 16384)) << "the failure was not reported";
    EXPECT_EQ(Listing(dir.path()), std::set<std::string>{"00-00.aud"});

    const Bytes existing(5000, 'k');
    trx5test::WriteFile(r.outputPath, existing);
    ASSERT_EQ(chmod(r.outputPath.c_str(), 0640), 0);
    EXPECT_TRUE(ExportFailsUnderSizeLimit(r, 16384)) << "the failure was not reported";
    EXPECT_EQ(trx5test::ReadFile(r.outputPath), existing);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"00-00.aud", "out.wav"}));

    // When it succeeds it replaces the file, which keeps its permissions.
    trx5::NoProgress progress;
    ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
    EXPECT_EQ(trx5test::ReadFile(r.outputPath).size(), 46u + 60 * 509 * 2);
    struct stat st {};
    ASSERT_EQ(stat(r.outputPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"00-00.aud", "out.wav"}));
}

// A real disk that fills up: a small tmpfs (needs root to mount).
TEST(Export, FullDiskKeepsTheOldFile) {
    TempDir work;
    const std::string mount = work / "small";
    ASSERT_EQ(mkdir(mount.c_str(), 0755), 0);
    if (::mount("trx5test", mount.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    ExportRequest r;
    r.takePaths[0] = work / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 60, 1);  // about 60 KB of samples
    r.outputPath = mount + "/out.aif";
    r.format = ExportFormat::Aiff;
    const Bytes existing(20000, 'k');
    trx5test::WriteFile(r.outputPath, existing);
    trx5::NoProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "The file could not be written.");
    EXPECT_EQ(result.reason(), "No space left on device");
    EXPECT_EQ(trx5test::ReadFile(r.outputPath), existing);
    EXPECT_EQ(Listing(mount), std::set<std::string>{"out.aif"});
    umount(mount.c_str());
}

// A file the format's 32-bit sizes cannot describe is refused before
// anything is written (sparse takes stand in for very long ones): one block
// more than the largest file of each format holds.
TEST(Export, OverTheFormatsSizeLimitIsRefused) {
    struct Case {
        ExportFormat format;
        int tracks;
        std::uint64_t blocks;
        const char* reason;
    };
    const Case cases[] = {
        {ExportFormat::Wav, 1, 4219025, "the file would exceed the 4 GB limit of the WAV format"},
        {ExportFormat::Aiff, 2, 2109513, "the file would exceed the 4 GB limit of the AIFF format"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ExportRequest r;
        for (int t = 0; t < c.tracks; ++t) {
            r.takePaths[t] = dir / ("00-" + std::to_string(t) + "0.aud");
            trx5test::WriteRandomTake(r.takePaths[t], 1, 1);
        }
        ASSERT_EQ(truncate(r.takePaths[0].c_str(), off_t(512 + 512 * c.blocks)), 0);
        r.format = c.format;
        r.outputPath = dir / "out";
        RecordingProgress progress;
        const auto result = trx5::ExportTakes(r, progress);
        ASSERT_FALSE(result.ok()) << c.reason;
        EXPECT_EQ(result.message(), "The file could not be written.");
        EXPECT_EQ(result.reason(), c.reason);
        EXPECT_TRUE(progress.calls.empty());
        EXPECT_FALSE(trx5test::FileExists(r.outputPath));
    }
}

// A FIFO named as the output is not waited on; a link keeps pointing at the
// file it names, which gets the new content.
TEST(Export, OutputThatIsAFifoOrALink) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 3, 1);
    ASSERT_EQ(mkfifo((dir / "fifo.wav").c_str(), 0644), 0);
    r.outputPath = dir / "fifo.wav";
    trx5::NoProgress progress;
    alarm(20);
    const auto result = trx5::ExportTakes(r, progress);
    alarm(0);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "File to write could not be opened.");
    EXPECT_EQ(result.reason(), "No such device or address");

    trx5test::WriteFile(dir / "real.wav", "old");
    ASSERT_EQ(symlink("real.wav", (dir / "link.wav").c_str()), 0);
    r.outputPath = dir / "link.wav";
    ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
    struct stat st {};
    ASSERT_EQ(lstat(r.outputPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(trx5test::ReadFile(dir / "real.wav").size(), 46u + 3 * 509 * 2);
    EXPECT_EQ(Listing(dir.path()),
              (std::set<std::string>{"00-00.aud", "fifo.wav", "link.wav", "real.wav"}));
}

TEST(Export, TakeThatCannotBeOpenedLeavesTheOutputAlone) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 3, 1);
    r.takePaths[2] = dir / "00-20.aud";  // not there
    r.outputPath = dir / "mix.wav";
    const Bytes existing = {'k', 'e', 'e', 'p'};
    trx5test::WriteFile(r.outputPath, existing);
    trx5::NoProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "The file could not be opened.");
    EXPECT_EQ(result.reason(), "No such file or directory");
    EXPECT_EQ(trx5test::ReadFile(r.outputPath), existing);

    ExportRequest none;
    none.outputPath = r.outputPath;
    EXPECT_FALSE(trx5::ExportTakes(none, progress).ok());
    EXPECT_EQ(trx5test::ReadFile(r.outputPath), existing);
}

TEST(Export, OutputThatIsOneOfTheTakesIsRefused) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    r.takePaths[1] = dir / "00-10.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 3, 1);
    trx5test::WriteRandomTake(r.takePaths[1], 3, 2);
    const Bytes take = trx5test::ReadFile(r.takePaths[1]);
    r.outputPath = dir / "./00-10.aud";
    trx5::NoProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "File to write could not be opened.");
    EXPECT_EQ(trx5test::ReadFile(r.takePaths[1]), take);
}

TEST(Export, EmptyTakeGivesAnEmptyFile) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[1] = dir / "00-10.aud";
    trx5test::WriteRandomTake(r.takePaths[1], 0, 1, 300);
    r.outputPath = dir / "out.aif";
    r.format = ExportFormat::Aiff;
    RecordingProgress progress;
    const auto result = trx5::ExportTakes(r, progress);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result->blocks, 0u);
    EXPECT_TRUE(progress.calls.empty());
    ExpectExactSizes(r.outputPath, ExportFormat::Aiff, 1, 0);
}

// The samples of a FLAC file as libsndfile reads them, with its format.
struct FlacData {
    int format = 0;
    int channels = 0;
    int rate = 0;
    Samples samples;
};
FlacData ReadFlac(const std::string& path) {
    FlacData d;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(sf, nullptr) << path << ": " << sf_strerror(nullptr);
    if (sf == nullptr) return d;
    d.format = info.format;
    d.channels = info.channels;
    d.rate = info.samplerate;
    Samples piece(4096 * std::size_t(info.channels));
    for (sf_count_t got; (got = sf_readf_short(sf, piece.data(), 4096)) > 0;) {
        d.samples.insert(d.samples.end(), piece.begin(), piece.begin() + got * info.channels);
    }
    sf_close(sf);
    return d;
}

// A FLAC export holds, as libsndfile and sox read it, the samples of the
// WAV export of the same takes: one take unchanged, several mixed.
TEST(Export, FlacHoldsTheSamplesOfTheWavExport) {
    for (bool stereo : {false, true}) {
        for (bool longMode : {false, true}) {
            SCOPED_TRACE(std::string(stereo ? "stereo" : "mono") + (longMode ? " long" : " hifi"));
            TempDir dir;
            ExportRequest r;
            r.longMode = longMode;
            r.takePaths[1] = dir / "00-10.aud";
            trx5test::WriteRandomTake(r.takePaths[1], 23, 4);
            if (stereo) {
                r.takePaths[3] = dir / "00-30.aud";
                trx5test::WriteRandomTake(r.takePaths[3], 31, 5);
                r.pans = {50, 10, 50, 80};
            }
            trx5::NoProgress progress;
            r.outputPath = dir / "mix.wav";
            ASSERT_TRUE(trx5::ExportTakes(r, progress).ok());
            r.outputPath = dir / "mix.flac";
            r.format = ExportFormat::Flac;
            const auto result = trx5::ExportTakes(r, progress);
            ASSERT_TRUE(result.ok()) << result.Describe();
            EXPECT_EQ(Listing(dir.path()).size(), stereo ? 4u : 3u);  // no temporary file left

            const AudioData wav = ReadBack(dir / "mix.wav");
            const FlacData flac = ReadFlac(r.outputPath);
            EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
            EXPECT_EQ(flac.channels, stereo ? 2 : 1);
            EXPECT_EQ(flac.rate, longMode ? 16000 : 32000);
            EXPECT_EQ(flac.samples, wav.samples);
            EXPECT_EQ(SoxSamples(r.outputPath, dir), LittleEndian(wav.samples));
        }
    }
}

// A FLAC file has no 4 GB limit: a take longer than the largest WAV is not
// refused (the export is stopped at its first block), and a write that
// fails part way keeps the file that was there.
TEST(Export, FlacLimitsAndFailures) {
    TempDir dir;
    ExportRequest r;
    r.takePaths[0] = dir / "00-00.aud";
    trx5test::WriteRandomTake(r.takePaths[0], 1, 1);
    ASSERT_EQ(truncate(r.takePaths[0].c_str(), off_t(512 + 512 * 4219025ull)), 0);
    r.format = ExportFormat::Flac;
    r.outputPath = dir / "long.flac";
    RecordingProgress stop(0);
    const auto result = trx5::ExportTakes(r, stop);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_TRUE(result->cancelled);
    EXPECT_EQ(stop.calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 4219025}}));
    EXPECT_EQ(ReadFlac(r.outputPath).samples.size(), 0u);

    trx5test::WriteRandomTake(r.takePaths[0], 60, 1);
    r.outputPath = dir / "out.flac";
    const Bytes existing(5000, 'k');
    trx5test::WriteFile(r.outputPath, existing);
    EXPECT_TRUE(ExportFailsUnderSizeLimit(r, 16384)) << "the failure was not reported";
    EXPECT_EQ(trx5test::ReadFile(r.outputPath), existing);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"00-00.aud", "long.flac", "out.flac"}));
}

}  // namespace
