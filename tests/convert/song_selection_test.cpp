#include "convert/song_selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace {

using trx5::ExportFormat;
using trx5::SlotIndex;
using trx5::SongSelection;
using trx5::TakeSlot;
using trx5test::TempDir;

// A slot as track and V-Take, to compare.
std::pair<int, int> Pair(TakeSlot slot) { return {slot.track, slot.vtake}; }

std::vector<std::pair<int, int>> Pairs(const std::vector<TakeSlot>& slots) {
    std::vector<std::pair<int, int>> pairs;
    for (const TakeSlot& s : slots) pairs.push_back(Pair(s));
    return pairs;
}

// Song 07 in long mode on "/card/", with a take file named in every slot.
SongSelection SongWithAllTakes() {
    trx5::TakeFiles files;
    for (int slot = 0; slot < trx5::kTracks * trx5::kVTakes; ++slot) {
        files[slot] =
            "/card/" + trx5::TakeFileName(7, trx5::SlotAt(slot).track, trx5::SlotAt(slot).vtake);
    }
    SongSelection selection;
    selection.ShowSong("/card", 7, true, files);
    return selection;
}

TEST(SongSelection, DestinationButtons) {
    struct Step {
        int track;
        bool on;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int first;
        int second;
        std::vector<int> dropped;  // in the order the steps dropped them
    };
    const Case cases[] = {
        {"one", {{2, true}}, 2, -1, {}},
        {"two, in the order chosen", {{2, true}, {0, true}}, 2, 0, {}},
        {"a third drops the oldest", {{2, true}, {0, true}, {3, true}}, 0, 3, {2}},
        {"a fourth drops the next", {{2, true}, {0, true}, {3, true}, {1, true}}, 3, 1, {2, 0}},
        {"second released", {{2, true}, {0, true}, {0, false}}, 2, -1, {}},
        {"first released: the second moves up", {{2, true}, {0, true}, {2, false}}, 0, -1, {}},
        {"the only one released", {{2, true}, {2, false}}, -1, -1, {}},
        {"chosen again after release", {{2, true}, {0, true}, {2, false}, {2, true}}, 0, 2, {}},
        {"a dropped track released", {{2, true}, {0, true}, {3, true}, {2, false}}, 0, 3, {2}},
        {"a track that is none released", {{1, true}, {3, false}}, 1, -1, {}},
        {"a track pressed twice", {{1, true}, {1, true}}, 1, -1, {}},
        {"no such track", {{1, true}, {4, true}, {-1, true}, {4, false}}, 1, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SongSelection selection;
        std::vector<int> dropped;
        for (const Step& step : c.steps) {
            if (const auto track = selection.SetDestination(step.track, step.on)) {
                dropped.push_back(*track);
            }
        }
        EXPECT_EQ(selection.FirstSel, c.first);
        EXPECT_EQ(selection.SecondSel, c.second);
        EXPECT_EQ(dropped, c.dropped);
    }
}

TEST(SongSelection, ImportDestinationsAreTheDestinationsWithAVTake) {
    struct Case {
        const char* what;
        std::array<int, trx5::kTracks> vtakes;
        int first;
        int second;
        std::vector<std::pair<int, int>> destinations;
    };
    const Case cases[] = {
        {"first before second", {0, 4, -1, 6}, 3, 1, {{3, 6}, {1, 4}}},
        {"first without a V-Take", {0, 4, -1, 6}, 2, 1, {{1, 4}}},
        {"second without a V-Take", {0, 4, -1, 6}, 3, 2, {{3, 6}}},
        {"neither has one", {-1, -1, -1, -1}, 0, 1, {}},
        {"one destination", {-1, -1, 7, -1}, 2, -1, {{2, 7}}},
        {"none chosen", {0, 1, 2, 3}, -1, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SongSelection selection;
        for (int t = 0; t < trx5::kTracks; ++t) selection.SelectTake(t, c.vtakes[t]);
        selection.FirstSel = c.first;
        selection.SecondSel = c.second;
        EXPECT_EQ(Pairs(selection.ImportDestinations()), c.destinations);
    }
}

TEST(SongSelection, SelectedTakePathsFollowTheSelectionAndTheSlots) {
    SongSelection selection = SongWithAllTakes();
    selection.SelectTake(0, 3);
    selection.SelectTake(2, 7);
    selection.SelectTake(3, 8);  // no such V-Take: none selected
    EXPECT_EQ(selection.SelectedTakePaths(),
              (std::array<std::string, 4>{"/card/07-03.aud", "", "/card/07-27.aud", ""}));
    selection.SelectTake(2, -1);
    selection.SetTakeFile(SlotIndex(0, 3), "/card/07-03.AUD");
    EXPECT_EQ(selection.SelectedTakePaths(),
              (std::array<std::string, 4>{"/card/07-03.AUD", "", "", ""}));
}

TEST(SongSelection, ShowSongAndClearResetTheSelections) {
    SongSelection selection = SongWithAllTakes();
    selection.SelectTake(1, 2);
    selection.SetDestination(1, true);
    selection.SetDestination(3, true);

    trx5::TakeFiles files;
    files[SlotIndex(3, 1)] = "/other/42-31.aud";
    selection.ShowSong("/other/", 42, false, files);
    EXPECT_EQ(selection.CardDir, "/other/");
    EXPECT_EQ(selection.FileNumber, 42);
    EXPECT_FALSE(selection.LongMode);
    EXPECT_EQ(selection.TakeFiles, files);
    EXPECT_EQ(selection.SelTake, (std::array<int, 4>{-1, -1, -1, -1}));
    EXPECT_EQ(selection.FirstSel, -1);
    EXPECT_EQ(selection.SecondSel, -1);

    selection = SongWithAllTakes();
    EXPECT_EQ(selection.CardDir, "/card/");
    selection.SelectTake(0, 0);
    selection.SetDestination(0, true);
    selection.Clear("/empty");
    EXPECT_EQ(selection.CardDir, "/empty/");
    EXPECT_EQ(selection.TakeFiles, trx5::TakeFiles{});
    EXPECT_EQ(selection.SelTake, (std::array<int, 4>{-1, -1, -1, -1}));
    EXPECT_EQ(selection.FirstSel, -1);
    EXPECT_EQ(selection.SecondSel, -1);
    EXPECT_EQ(selection.FileNumber, 0);
    EXPECT_FALSE(selection.LongMode);
    EXPECT_FALSE(selection.Import("/in.wav", false, false));
}

TEST(SongSelection, ImportIntoTheDestinations) {
    SongSelection selection = SongWithAllTakes();
    EXPECT_FALSE(selection.Import("/in.wav", false, false)) << "no destination";
    selection.SetDestination(3, true);
    EXPECT_FALSE(selection.Import("/in.wav", false, false)) << "a destination without a V-Take";

    selection.SelectTake(3, 5);
    selection.SelectTake(0, 2);
    selection.SetDestination(0, true);
    const std::optional<trx5::ImportRequest> two = selection.Import("/in/two.wav", true, true);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->sourcePath, "/in/two.wav");
    EXPECT_EQ(two->cardDir, "/card/");
    EXPECT_EQ(two->fileNumber, 7);
    EXPECT_TRUE(two->longMode);
    EXPECT_EQ(Pair(two->first), std::make_pair(3, 5));
    ASSERT_TRUE(two->second);
    EXPECT_EQ(Pair(*two->second), std::make_pair(0, 2));
    EXPECT_TRUE(two->keepRate);
    EXPECT_FALSE(two->mixToMono) << "two takes take the channels apart";
    EXPECT_FALSE(two->keepPartOnAbort);

    selection.SetDestination(3, false);
    const std::optional<trx5::ImportRequest> one = selection.Import("/in/one.wav", false, true);
    ASSERT_TRUE(one);
    EXPECT_EQ(Pair(one->first), std::make_pair(0, 2));
    EXPECT_FALSE(one->second);
    EXPECT_FALSE(one->keepRate);
    EXPECT_TRUE(one->mixToMono);
    EXPECT_FALSE(selection.Import("/in/one.wav", false, false)->mixToMono);
}

TEST(SongSelection, ImportIntoOneSlot) {
    SongSelection selection = SongWithAllTakes();
    // A drop goes to its slot, whatever the destinations.
    selection.SelectTake(0, 0);
    selection.SetDestination(0, true);
    const trx5::ImportRequest request = selection.ImportInto(SlotIndex(2, 6), "/in/dropped.aif");
    EXPECT_EQ(request.sourcePath, "/in/dropped.aif");
    EXPECT_EQ(request.cardDir, "/card/");
    EXPECT_EQ(request.fileNumber, 7);
    EXPECT_TRUE(request.longMode);
    EXPECT_EQ(Pair(request.first), std::make_pair(2, 6));
    EXPECT_FALSE(request.second);
    EXPECT_FALSE(request.keepRate);
    EXPECT_FALSE(request.mixToMono);
    EXPECT_FALSE(request.keepPartOnAbort);
}

TEST(SongSelection, ExportTheMix) {
    SongSelection selection = SongWithAllTakes();
    selection.SelectTake(1, 0);
    selection.SelectTake(3, 7);
    trx5::KnobPositions knobs;
    knobs.levels = {0, 127, 64, 100};
    knobs.pans = {100, 0, 25, 50};

    const trx5::ExportRequest request = selection.Export(knobs, "/out/mix.wav", ExportFormat::Wav);
    EXPECT_EQ(request.takePaths,
              (std::array<std::string, 4>{"", "/card/07-10.aud", "", "/card/07-37.aud"}));
    EXPECT_EQ(request.levels, knobs.levels);
    EXPECT_EQ(request.pans, knobs.pans);
    EXPECT_TRUE(request.longMode);
    EXPECT_EQ(request.outputPath, "/out/mix.wav");
    EXPECT_EQ(request.format, ExportFormat::Wav);

    // The name and the dialog's filter settle the format together.
    struct Case {
        const char* name;
        ExportFormat filter;
        const char* path;
        ExportFormat format;
    };
    const Case cases[] = {
        {"/out/mix", ExportFormat::Flac, "/out/mix.flac", ExportFormat::Flac},
        {"/out/mix", ExportFormat::Wav, "/out/mix", ExportFormat::Wav},
        {"/out/mix.AIF", ExportFormat::Wav, "/out/mix.AIF", ExportFormat::Aiff},
        {"/out/mix.wav", ExportFormat::Flac, "/out/mix.wav", ExportFormat::Wav},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const trx5::ExportRequest r = selection.Export(knobs, c.name, c.filter);
        EXPECT_EQ(r.outputPath, c.path);
        EXPECT_EQ(r.format, c.format);
    }
}

TEST(SongSelection, ExportOneTakeNamedAsItsStem) {
    struct Case {
        int fileNumber;
        TakeSlot slot;
        const char* folder;
        const char* path;
    };
    const Case cases[] = {
        {7, {2, 6}, "/out", "/out/Song08_Track3_VTake7.wav"},
        {99, {0, 0}, "/out/", "/out/Song100_Track1_VTake1.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        trx5::TakeFiles files;
        files[SlotIndex(c.slot)] = "/card/take.aud";
        SongSelection selection;
        selection.ShowSong("/card/", c.fileNumber, true, files);
        // The selection plays no part.
        selection.SelectTake(1, 0);
        const trx5::ExportRequest request = selection.ExportOne(SlotIndex(c.slot), c.folder);
        std::array<std::string, 4> paths;
        paths[c.slot.track] = "/card/take.aud";
        EXPECT_EQ(request.takePaths, paths);
        EXPECT_EQ(request.outputPath, c.path);
        EXPECT_EQ(request.format, ExportFormat::Wav);
        EXPECT_TRUE(request.longMode);
        EXPECT_EQ(request.levels, trx5::EveryTrack(trx5::kUnityLevel));
        EXPECT_EQ(request.pans, trx5::EveryTrack(trx5::kCentrePan));
    }
}

TEST(SongSelection, StemsOfTheSong) {
    SongSelection selection = SongWithAllTakes();
    selection.SelectTake(0, 1);
    const trx5::StemsRequest request = selection.Stems("/out/stems");
    EXPECT_EQ(request.cardDir, "/card/");
    ASSERT_TRUE(request.fileNumber);
    EXPECT_EQ(*request.fileNumber, 7);
    EXPECT_EQ(request.outputFolder, "/out/stems");
    EXPECT_EQ(request.format, ExportFormat::Wav);
    EXPECT_FALSE(request.mix);
    EXPECT_FALSE(request.replaceExisting);
}

// A track plays when its selected slot names a file that can be measured,
// as the length read-out measures it. Whether the file holds a take was
// settled when the grid was filled, so a file that lost its header since
// still counts.
TEST(SongSelection, PlayTracksCountsTheTakesThatCanBeMeasured) {
    TempDir dir;
    trx5test::MakeTake(dir.path(), 7, 0, 0, false, 3, 1);
    const std::string take = dir / trx5::TakeFileName(7, 0, 0);
    const std::string damaged = dir / "damaged.aud";
    trx5test::WriteFile(damaged, std::string("not a take"));
    const std::string folder = dir / "folder.aud";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);

    struct Case {
        const char* what;
        std::string path;
        int tracks;
    };
    const Case cases[] = {
        {"a take", take, 1},
        {"no take", "", 0},
        {"a file that has gone", dir / "gone.aud", 0},
        {"a folder", folder, 0},
        {"a file without a take header", damaged, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trx5::TakeFiles files;
        files[SlotIndex(2, 4)] = c.path;
        SongSelection selection;
        selection.ShowSong(dir.path(), 7, false, files);
        EXPECT_EQ(selection.PlayTracks(), 0) << "nothing selected";
        selection.SelectTake(2, 4);
        EXPECT_EQ(selection.PlayTracks(), c.tracks);
    }

    // Every track counts once; a take in a slot that is not selected does not.
    trx5::TakeFiles files;
    for (int t = 0; t < trx5::kTracks; ++t) files[SlotIndex(t, 1)] = take;
    SongSelection selection;
    selection.ShowSong(dir.path(), 7, false, files);
    selection.SelectTake(0, 1);
    selection.SelectTake(1, 1);
    selection.SelectTake(2, 0);
    selection.SelectTake(3, 1);
    EXPECT_EQ(selection.PlayTracks(), 3);
}

}  // namespace
