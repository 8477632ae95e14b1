#include "convert/stems.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "audiofile/audio_source.h"
#include "card/card_info.h"
#include "common/messages.h"
#include "convert/audio_check.h"
#include "convert/demo_card.h"
#include "convert/recording_progress.h"
#include "support/reference_codec.h"

namespace {

using trx5::ExportFormat;
using trx5::StemsRequest;
using Written = std::vector<std::string>;
using trx5test::Bytes;
using trx5test::RecordingProgress;
using trx5test::Samples;
using trx5test::TempDir;

// A take as the several-blocks decoder gives it: all its whole blocks.
Samples DecodeWholeBlocks(const std::string& path, bool longMode) {
    Bytes b = trx5test::ReadFile(path);
    b.resize(b.size() < 512 ? 0 : 512 + (b.size() - 512) / 512 * 512);
    return trx5ref::DecodeTakeBytes(b, longMode);
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// One take of the card with the name its stem must get.
struct Stem {
    std::string name;
    std::string take;
    bool longMode = false;
};

std::vector<Stem> ExpectedStems(const std::string& card, ExportFormat format,
                                std::optional<int> fileNumber = std::nullopt) {
    std::vector<Stem> stems;
    for (const trx5::SongEntry& song : trx5::ListSongs(card)) {
        if (fileNumber && song.fileNumber != *fileNumber) continue;
        const trx5::TakeFiles files = trx5::FindTakeFiles(card, song.fileNumber);
        for (int i = 0; i < 32; ++i) {
            if (files[i].empty()) continue;
            char name[64];
            std::snprintf(name, sizeof name, "Song%02d_Track%d_VTake%d%s", song.SongNumber(),
                          i / 8 + 1, i % 8 + 1, format == ExportFormat::Wav ? ".wav" : ".aif");
            stems.push_back({name, files[i], song.longMode});
        }
    }
    return stems;
}

// The stem holds the take's decoded samples, and its bytes are what an
// export of that one take writes.
void ExpectStem(const std::string& path, const Stem& stem, ExportFormat format) {
    SCOPED_TRACE(path);
    const auto d = trx5test::ReadAudio(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, format == ExportFormat::Wav ? trx5::AudioKindWav : trx5::AudioKindAiff);
    EXPECT_EQ(d->channels, 1);
    EXPECT_EQ(d->bits, 16);
    EXPECT_EQ(d->rate, stem.longMode ? 16000 : 32000);
    EXPECT_EQ(d->samples, DecodeWholeBlocks(stem.take, stem.longMode));

    TempDir reference;
    trx5::ExportRequest r;
    r.longMode = stem.longMode;
    r.takePaths[0] = stem.take;
    r.format = format;
    r.outputPath = reference / "take";
    trx5::NoProgress none;
    ASSERT_TRUE(trx5::ExportTakes(r, none).ok());
    EXPECT_EQ(trx5test::ReadFile(path), trx5test::ReadFile(r.outputPath));
}

class Stems : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(trx5::MakeDemoCard(card).ok()); }
    StemsRequest Request(ExportFormat format = ExportFormat::Wav) const {
        StemsRequest r;
        r.cardDir = card;
        r.outputFolder = out;
        r.format = format;
        r.replaceExisting = true;
        return r;
    }
    TempDir dir;
    const std::string card = dir / "card";
    const std::string out = dir / "stems/today";  // made with its parent
};

TEST(StemNames, ForADaw) {
    struct Case {
        int song, track, vtake;
        ExportFormat format;
        const char* name;
    };
    const Case cases[] = {
        {1, 1, 3, ExportFormat::Wav, "Song01_Track1_VTake3.wav"},
        {12, 4, 8, ExportFormat::Aiff, "Song12_Track4_VTake8.aif"},
        {100, 2, 1, ExportFormat::Wav, "Song100_Track2_VTake1.wav"},
        {3, 1, 1, ExportFormat::Flac, "Song03_Track1_VTake1.flac"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trx5::StemFileName(c.song, c.track, c.vtake, c.format), c.name);
    }
    EXPECT_EQ(trx5::MixFileName(7, ExportFormat::Aiff), "Song07_Mix.aif");
    EXPECT_EQ(trx5::MixFileName(100, ExportFormat::Wav), "Song100_Mix.wav");
}

TEST_F(Stems, EveryTakeOfEverySong) {
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Aiff}) {
        const std::vector<Stem> stems = ExpectedStems(card, format);
        ASSERT_EQ(stems.size(), 7u);  // the demo's five HiFi and two LONG takes
        RecordingProgress progress;
        Written written;
        const auto outcome = trx5::ExportStems(Request(format), progress, written);
        ASSERT_TRUE(outcome.ok()) << outcome.Describe();
        EXPECT_FALSE(outcome->cancelled);

        std::vector<std::string> paths;
        std::set<std::string> names;
        std::uint64_t blocks = 0;
        for (const Stem& stem : stems) {
            paths.push_back(out + "/" + stem.name);
            names.insert(stem.name);
            blocks += *trx5::TakeFileBlocks(stem.take);
            ExpectStem(paths.back(), stem, format);
        }
        EXPECT_EQ(written, paths);
        // The AIFF run adds its files beside the WAV ones, and nothing else.
        if (format == ExportFormat::Aiff) {
            for (const Stem& stem : ExpectedStems(card, ExportFormat::Wav)) names.insert(stem.name);
        }
        EXPECT_EQ(Listing(out), names);

        // One progress over all blocks of all takes.
        EXPECT_EQ(outcome->blocks, blocks);
        ASSERT_EQ(progress.calls.size(), blocks);
        for (std::uint64_t n = 0; n < blocks; ++n) {
            ASSERT_EQ(progress.calls[n], std::make_pair(n, blocks)) << n;
        }
    }
}

TEST_F(Stems, OneSong) {
    StemsRequest r = Request();
    r.fileNumber = 1;
    trx5::NoProgress none;
    Written written;
    const auto outcome = trx5::ExportStems(r, none, written);
    ASSERT_TRUE(outcome.ok()) << outcome.Describe();
    const std::vector<Stem> stems = ExpectedStems(card, ExportFormat::Wav, 1);
    ASSERT_EQ(stems.size(), 2u);
    std::vector<std::string> paths;
    for (const Stem& stem : stems) {
        paths.push_back(out + "/" + stem.name);
        ExpectStem(paths.back(), stem, ExportFormat::Wav);
    }
    EXPECT_EQ(written, paths);
    EXPECT_EQ(Listing(out).size(), 2u);
}

// FLAC is lossless at 16 bits: its stems hold the samples unchanged too.
TEST_F(Stems, FlacStems) {
    StemsRequest r = Request(ExportFormat::Flac);
    r.fileNumber = 1;
    trx5::NoProgress none;
    Written written;
    const auto outcome = trx5::ExportStems(r, none, written);
    ASSERT_TRUE(outcome.ok()) << outcome.Describe();
    const std::vector<Stem> stems = ExpectedStems(card, ExportFormat::Wav, 1);
    ASSERT_EQ(written.size(), stems.size());
    for (std::size_t i = 0; i < stems.size(); ++i) {
        const std::string name = stems[i].name.substr(0, stems[i].name.size() - 4) + ".flac";
        EXPECT_EQ(written[i], out + "/" + name);
        auto source = trx5::AudioSource::Open(written[i]);
        ASSERT_TRUE(source.ok()) << source.Describe();
        const trx5::AudioSourceInfo& info = (*source)->info();
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.rate, 16000);
        Samples samples(info.frames);
        ASSERT_EQ((*source)->Read(samples.data(), info.frames), info.frames);
        EXPECT_EQ(samples, DecodeWholeBlocks(stems[i].take, true)) << name;
    }
}

// The mix of a selection follows the song's stems and is what the export
// of that selection writes; a selected take the song lacks plays no part.
TEST_F(Stems, MixOfASelection) {
    StemsRequest r = Request();
    r.fileNumber = 0;
    r.mix.emplace();
    r.mix->vtakes = {1, 0, 5, 2};  // 3-6 is not on the card
    r.mix->levels = {90, 127, 100, 60};
    r.mix->pans = {0, 100, 50, 30};
    trx5::NoProgress none;
    Written written;
    const auto outcome = trx5::ExportStems(r, none, written);
    ASSERT_TRUE(outcome.ok()) << outcome.Describe();
    ASSERT_EQ(written.size(), 6u);
    EXPECT_EQ(written.back(), out + "/Song01_Mix.wav");

    trx5::ExportRequest mix;
    mix.takePaths = {card + "/00-01.aud", card + "/00-10.aud", "", card + "/00-32.aud"};
    mix.levels = r.mix->levels;
    mix.pans = r.mix->pans;
    mix.outputPath = dir / "reference.wav";
    ASSERT_TRUE(trx5::ExportTakes(mix, none).ok());
    EXPECT_EQ(trx5test::ReadFile(written.back()), trx5test::ReadFile(mix.outputPath));
}

// A cancel keeps the stems finished before it whole and drops the one being
// written: an older file of its name stays as it was, and no temporary file
// is left.
TEST_F(Stems, CancelKeepsFinishedStemsOnly) {
    const std::vector<Stem> stems = ExpectedStems(card, ExportFormat::Wav);
    const std::uint64_t first = *trx5::TakeFileBlocks(stems[0].take);
    const std::uint64_t second = *trx5::TakeFileBlocks(stems[1].take);
    struct Case {
        std::uint64_t stopAt;
        std::size_t finished;
    };
    const Case cases[] = {{0, 0}, {first + second / 2, 1}, {first + second, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAt);
        TempDir clean;
        StemsRequest r = Request();
        r.outputFolder = clean.path();
        const std::string cut = clean / stems[c.finished].name;
        trx5test::WriteFile(cut, "an older file");

        RecordingProgress progress(c.stopAt);
        Written written;
        const auto outcome = trx5::ExportStems(r, progress, written);
        ASSERT_TRUE(outcome.ok()) << outcome.Describe();
        EXPECT_TRUE(outcome->cancelled);
        EXPECT_EQ(progress.calls.size(), c.stopAt + 1);

        std::set<std::string> names{stems[c.finished].name};
        ASSERT_EQ(written.size(), c.finished);
        for (std::size_t i = 0; i < c.finished; ++i) {
            EXPECT_EQ(written[i], clean / stems[i].name);
            ExpectStem(written[i], stems[i], ExportFormat::Wav);
            names.insert(stems[i].name);
        }
        EXPECT_EQ(Listing(clean.path()), names);  // no temporary file either
        const Bytes older = trx5test::ReadFile(cut);
        EXPECT_EQ(std::string(older.begin(), older.end()), "an older file");
    }
}

// Unless told to replace, a run that would write over anything already
// there (a file, a link, a folder) writes nothing and names the first.
TEST_F(Stems, FilesThereAreReplacedOnlyWhenAsked) {
    const std::vector<Stem> stems = ExpectedStems(card, ExportFormat::Wav);
    ASSERT_GE(stems.size(), 3u);
    StemsRequest r = Request();
    r.replaceExisting = false;
    std::filesystem::create_directories(out);
    EXPECT_TRUE(trx5::StemsExistingFiles(r).empty());
    trx5test::WriteFile(out + "/" + stems[2].name, "mine");
    ASSERT_EQ(symlink("nowhere", (out + "/" + stems[1].name).c_str()), 0);
    const std::vector<std::string> existing = {out + "/" + stems[1].name,
                                               out + "/" + stems[2].name};
    EXPECT_EQ(trx5::StemsExistingFiles(r), existing);

    trx5::NoProgress none;
    Written written;
    const auto refused = trx5::ExportStems(r, none, written);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.code(), trx5::ErrorCode::Exists);
    EXPECT_EQ(refused.path(), existing[0]);
    EXPECT_EQ(refused.reason(), "File exists");
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(Listing(out), (std::set<std::string>{stems[1].name, stems[2].name}));

    r.replaceExisting = true;
    const auto replaced = trx5::ExportStems(r, none, written);
    ASSERT_TRUE(replaced.ok()) << replaced.Describe();
    ExpectStem(out + "/" + stems[2].name, stems[2], ExportFormat::Wav);
}

TEST_F(Stems, FailuresNameTheFileAndTheReason) {
    trx5test::WriteFile(dir / "file", "x");
    TempDir empty;
    using trx5::ErrorCode;
    struct Case {
        std::string outputFolder;
        std::string cardDir;
        std::optional<int> fileNumber;
        std::string path;  // the file the failure concerns
        std::string reason;
        std::size_t written;
        ErrorCode code;
        std::string message = trx5::kMsgCannotWrite;
    };
    const std::string blocked = out + "/" + ExpectedStems(card, ExportFormat::Wav)[1].name;
    const std::vector<Case> cases = {
        {dir / "file/stems",
         card,
         {},
         dir / "file/stems",
         "Not a directory",
         0,
         ErrorCode::CannotCreate},
        {dir / "file", card, {}, dir / "file", "Not a directory", 0, ErrorCode::CannotCreate},
        {out, empty.path(), {}, "", "", 0, ErrorCode::NoCard, "No TRX-5 card information"},
        {out, card, 4, card, "No song 05 on this card", 0, ErrorCode::Failed},
        // A folder in the way of the second stem: the first stays.
        {out,
         card,
         {},
         blocked,
         "File to write could not be opened.: Is a directory",
         1,
         ErrorCode::CannotCreate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.message);
        std::filesystem::remove_all(dir / "stems");
        if (c.written > 0) std::filesystem::create_directories(blocked);
        StemsRequest r = Request();
        r.outputFolder = c.outputFolder;
        r.cardDir = c.cardDir;
        r.fileNumber = c.fileNumber;
        trx5::NoProgress none;
        Written written;
        const auto outcome = trx5::ExportStems(r, none, written);
        EXPECT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.path(), c.path);
        EXPECT_EQ(outcome.message(), c.message);
        EXPECT_EQ(outcome.reason(), c.reason);
        EXPECT_EQ(outcome.code(), c.code);
        EXPECT_EQ(written.size(), c.written);
        EXPECT_EQ(trx5test::FileExists(out), c.written > 0);
        if (c.written > 0) {
            EXPECT_EQ(Listing(out).size(), 2u);  // the first stem and the folder, no temporary
        }
    }
    EXPECT_EQ(trx5test::ReadFile(dir / "file"), Bytes{'x'});
}

// A take that is gone by the time its stem is written is the file the
// failure names; the stems before it stay.
TEST_F(Stems, ATakeThatCannotBeReadIsNamed) {
    const std::vector<Stem> stems = ExpectedStems(card, ExportFormat::Wav);
    class RemoveTake final : public trx5::Progress {
      public:
        explicit RemoveTake(std::string take) : take_(std::move(take)) {}
        bool Step(std::uint64_t, std::uint64_t) override {
            std::remove(take_.c_str());
            return true;
        }

      private:
        std::string take_;
    } removeSecond(stems[1].take);
    Written written;
    const auto outcome = trx5::ExportStems(Request(), removeSecond, written);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.code(), trx5::ErrorCode::CannotOpen);
    EXPECT_EQ(outcome.path(), stems[1].take);
    EXPECT_EQ(outcome.reason(), "The file could not be opened.: No such file or directory");
    EXPECT_EQ(written, Written{out + "/" + stems[0].name});
}

}  // namespace
