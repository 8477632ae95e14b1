#include "organize/take_organizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "convert/audio_check.h"
#include "convert/import.h"
#include "organize/organize_test_support.h"

namespace {

using trx5::TakePlace;
using trx5test::Bytes;
using Files = std::map<std::string, Bytes>;

class OrganizeTest : public trx5test::OrganizeCard {
  protected:
    trx5::TakeHistory OpenHistory() {
        auto history = trx5::TakeHistory::Open(card.path());
        EXPECT_TRUE(history.ok()) << history.Describe();
        return std::move(*history);
    }
};

TakePlace At(int fileNumber, int track, int vtake) { return {fileNumber, {track, vtake}}; }

struct OperationCase {
    const char* name;
    std::function<trx5::Result<trx5::OrganizeOutcome>(trx5::TakeHistory&)> run;
    // The card's files after the operation, from those before.
    std::function<Files(Files)> expected;
    std::vector<std::string> kept;  // the files the outcome says went into the history
};

// Every operation gives the expected bytes; undo gives back the exact files
// before, redo those after, and no temporary file stays.
TEST_F(OrganizeTest, OperationsAreByteExactAndUndoRedoRestoresEveryFile) {
    const std::vector<OperationCase> cases = {
        {"copy to an empty slot",
         [](auto& h) { return trx5::CopyTake(h, At(0, 0, 0), At(0, 3, 7)); },
         [](Files f) {
             f["00-37.aud"] = f["00-00.aud"];
             return f;
         },
         {}},
        {"copy over a take",
         [](auto& h) { return trx5::CopyTake(h, At(0, 0, 0), At(0, 0, 1)); },
         [](Files f) {
             f["00-01.aud"] = f["00-00.aud"];
             return f;
         },
         {"00-01.aud"}},
        {"copy to another song",
         [](auto& h) { return trx5::CopyTake(h, At(0, 1, 0), At(1, 0, 0)); },
         [](Files f) {
             f["01-00.aud"] = f["00-10.aud"];
             return f;
         },
         {"01-00.aud"}},
        {"move within the song",
         [](auto& h) { return trx5::MoveTake(h, At(0, 0, 1), At(0, 2, 2)); },
         [](Files f) {
             f["00-22.aud"] = f["00-01.aud"];
             f.erase("00-01.aud");
             return f;
         },
         {}},
        {"move over a take of another song",
         [](auto& h) { return trx5::MoveTake(h, At(0, 0, 0), At(1, 0, 0)); },
         [](Files f) {
             f["01-00.aud"] = f["00-00.aud"];
             f.erase("00-00.aud");
             return f;
         },
         {"01-00.aud"}},
        {"swap two takes",
         [](auto& h) { return trx5::SwapTakes(h, At(0, 0, 0), At(1, 0, 0)); },
         [](Files f) {
             std::swap(f["00-00.aud"], f["01-00.aud"]);
             return f;
         },
         {}},
        {"swap with an empty slot",
         [](auto& h) { return trx5::SwapTakes(h, At(0, 3, 3), At(0, 1, 0)); },
         [](Files f) {
             f["00-33.aud"] = f["00-10.aud"];
             f.erase("00-10.aud");
             return f;
         },
         {}},
        {"delete two takes",
         [](auto& h) {
             return trx5::DeleteTakes(h, {At(0, 0, 1), At(1, 0, 0)});
         },
         [](Files f) {
             f.erase("00-01.aud");
             f.erase("01-00.aud");
             return f;
         },
         {"00-01.aud", "01-00.aud"}},
        {"copy a song",
         [](auto& h) { return trx5::CopySong(h, 0, 9); },
         [](Files f) {
             f["UtyPrm09.tx5"] = f["UtyPrm00.tx5"];
             for (const char* t : {"00", "01", "10"})
                 f[std::string("09-") + t + ".aud"] = f[std::string("00-") + t + ".aud"];
             return f;
         },
         {}},
    };
    for (const OperationCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();  // a fresh card and history for each case
        trx5test::TempDir fresh;
        setenv("XDG_DATA_HOME", fresh.path().c_str(), 1);
        const Files before = trx5test::Snapshot(card.path());
        const Files after = c.expected(before);
        trx5::TakeHistory history = OpenHistory();
        const auto outcome = c.run(history);
        ASSERT_TRUE(outcome.ok()) << outcome.Describe();
        EXPECT_EQ(outcome->kept, c.kept);
        EXPECT_FALSE(outcome->converted);
        EXPECT_EQ(trx5test::Snapshot(card.path()), after);
        ASSERT_TRUE(history.Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        ASSERT_TRUE(history.Redo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), after);
        ASSERT_TRUE(history.Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        // Undo past the first step is refused and changes nothing.
        EXPECT_FALSE(history.Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        // Clean the card for the next case.
        for (const auto& [name, bytes] : trx5test::Snapshot(card.path())) {
            std::remove((card.path() + name).c_str());
        }
    }
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Within one mode a move or a swap renames: each take's own file changes
// place, only a take replaced goes into the history, and undo and redo
// rename again.
TEST_F(OrganizeTest, MovesAndSwapsWithinAModeRenameTheirFiles) {
    struct Case {
        const char* name;
        std::function<trx5::Result<trx5::OrganizeOutcome>(trx5::TakeHistory&)> run;
        std::map<std::string, std::string> moved;  // a slot after: the slot whose file it holds
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"move to an empty slot",
         [](auto& h) { return trx5::MoveTake(h, At(0, 0, 1), At(0, 2, 2)); },
         {{"00-22.aud", "00-01.aud"}},
         {}},
        {"move over a take",
         [](auto& h) { return trx5::MoveTake(h, At(0, 0, 0), At(1, 0, 0)); },
         {{"01-00.aud", "00-00.aud"}},
         {"01-00.aud"}},
        {"swap",
         [](auto& h) { return trx5::SwapTakes(h, At(0, 0, 1), At(0, 1, 0)); },
         {{"00-01.aud", "00-10.aud"}, {"00-10.aud", "00-01.aud"}},
         {}},
        {"swap with an empty slot",
         [](auto& h) { return trx5::SwapTakes(h, At(1, 3, 7), At(1, 0, 0)); },
         {{"01-37.aud", "01-00.aud"}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        trx5test::TempDir fresh;
        setenv("XDG_DATA_HOME", fresh.path().c_str(), 1);
        const Files before = trx5test::Snapshot(card.path());
        std::map<std::string, ino_t> inodes;
        for (const auto& [name, bytes] : before) inodes[name] = Inode(card / name);
        std::uint64_t replaced = 0;
        for (const std::string& name : c.kept) replaced += before.at(name).size();
        trx5::TakeHistory history = OpenHistory();
        const auto outcome = c.run(history);
        ASSERT_TRUE(outcome.ok()) << outcome.Describe();
        EXPECT_EQ(outcome->kept, c.kept);
        EXPECT_EQ(history.KeptBytes(), replaced);
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& [slot, from] : c.moved) EXPECT_EQ(Inode(card / slot), inodes[from]);
            ASSERT_TRUE(history.Undo());
            for (const auto& [name, inode] : inodes) EXPECT_EQ(Inode(card / name), inode) << name;
            EXPECT_EQ(trx5test::Snapshot(card.path()), before);
            if (pass == 0) {
                ASSERT_TRUE(history.Redo());
            }
        }
        // Undone, the moved takes went nowhere but back: the history holds
        // no more than what was replaced.
        EXPECT_LE(history.KeptBytes(), replaced);
        for (const auto& [name, bytes] : trx5test::Snapshot(card.path())) {
            std::remove((card.path() + name).c_str());
        }
    }
}

// A take the card got in the slot a move emptied (the recorder recorded
// into it) goes into the history when undo renames the moved take back, and
// redo puts it back.
TEST_F(OrganizeTest, UndoOfAMoveKeepsATakeThatCameSince) {
    const Files before = trx5test::Snapshot(card.path());
    trx5::TakeHistory history = OpenHistory();
    ASSERT_TRUE(trx5::MoveTake(history, At(0, 0, 0), At(0, 3, 3)).ok());
    trx5test::MakeTake(card.path(), 0, 0, 0, false, 6, 8);
    const Files since = trx5test::Snapshot(card.path());
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
    ASSERT_EQ(history.kept().size(), 1U);
    EXPECT_EQ(trx5test::ReadFile(history.KeptPath(history.kept()[0].id)), since.at("00-00.aud"));
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), since);
}

// An undo whose rename fails (a folder took the emptied slot's name)
// changes nothing; once the folder is gone it goes through.
TEST_F(OrganizeTest, AnUndoWhoseRenameFailsChangesNothing) {
    const Files before = trx5test::Snapshot(card.path());
    trx5::TakeHistory history = OpenHistory();
    ASSERT_TRUE(trx5::MoveTake(history, At(0, 0, 0), At(1, 0, 0)).ok());
    const Files after = trx5test::Snapshot(card.path());
    ASSERT_EQ(mkdir((card / "00-00.aud").c_str(), 0755), 0);
    const auto undone = history.Undo();
    ASSERT_FALSE(undone.ok());
    EXPECT_EQ(undone.code(), trx5::ErrorCode::CannotWrite);
    EXPECT_EQ(trx5test::Snapshot(card.path()), after);
    EXPECT_TRUE(history.CanUndo());
    EXPECT_EQ(history.kept().size(), 1U);
    ASSERT_EQ(rmdir((card / "00-00.aud").c_str()), 0);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

TEST_F(OrganizeTest, NoReplaceFailsNamingTheSlotAndChangesNothing) {
    trx5::OrganizeOptions options;
    options.noReplace = true;
    const Files before = trx5test::Snapshot(card.path());
    trx5::TakeHistory history = OpenHistory();
    const std::vector<trx5::Result<trx5::OrganizeOutcome>> results = {
        trx5::CopyTake(history, At(0, 0, 0), At(0, 0, 1), options),
        trx5::MoveTake(history, At(0, 0, 0), At(0, 1, 0), options),
        trx5::RestoreTake(history, "1", At(0, 0, 1), options),
    };
    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_FALSE(results[i].ok());
        EXPECT_EQ(results[i].code(), trx5::ErrorCode::Exists);
        EXPECT_EQ(results[i].message(), trx5::kMsgTakeOccupied);
        EXPECT_EQ(results[i].path(), card / (i == 0 ? "00-01.aud" : "00-10.aud"));
    }
    EXPECT_FALSE(results[2].ok());  // no kept take of that id
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
    EXPECT_TRUE(history.steps().empty());
    EXPECT_TRUE(history.kept().empty());
}

// A copy of a song whose third take cannot be put in place (a folder is in
// its way): the takes before it are new, the rest as they were, nothing is
// lost, and undo gives back the card as it was.
TEST_F(OrganizeTest, FailurePartWayLeavesEverySlotOldOrNewAndUndoable) {
    trx5test::MakeTake(card.path(), 9, 0, 1, false, 7, 9);  // a stray take in the new song's way
    ASSERT_EQ(mkdir((card / "09-10.aud").c_str(), 0755), 0);
    const Files before = trx5test::Snapshot(card.path());
    trx5::TakeHistory history = OpenHistory();
    const auto result = trx5::CopySong(history, 0, 9);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.path(), card / "09-10.aud");
    const Files now = trx5test::Snapshot(card.path());
    for (const char* t : {"00", "01"}) {
        EXPECT_EQ(now.at(std::string("09-") + t + ".aud"),
                  before.at(std::string("00-") + t + ".aud"));
    }
    EXPECT_EQ(now.count("UtyPrm09.tx5"), 0U);
    for (const auto& [name, bytes] : now) EXPECT_NE(name.rfind(".trx5tmp-", 0), 0U) << name;
    // The stray take it replaced is kept.
    ASSERT_EQ(history.kept().size(), 1U);
    EXPECT_EQ(trx5test::ReadFile(history.KeptPath(history.kept()[0].id)), before.at("09-01.aud"));
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

// When the history cannot keep a take, the take is not replaced.
TEST_F(OrganizeTest, NothingIsReplacedWhenTheHistoryCannotKeepIt) {
    trx5::TakeHistory history = OpenHistory();
    const std::string files = history.folder() + "files";
    ASSERT_EQ(rmdir(files.c_str()), 0);
    trx5test::WriteFile(files, std::string("in the way"));
    const Files before = trx5test::Snapshot(card.path());
    for (const auto& result : {trx5::CopyTake(history, At(0, 0, 0), At(0, 0, 1)),
                               trx5::DeleteTakes(history, {At(0, 0, 0)}),
                               trx5::MoveTake(history, At(0, 0, 0), At(0, 1, 0)),
                               trx5::SwapTakes(history, At(0, 0, 0), At(2, 0, 0))}) {
        EXPECT_FALSE(result.ok());
    }
    Files now = trx5test::Snapshot(card.path());
    EXPECT_EQ(now, before);
}

// A take copied from a HiFi song to a LONG one is what the import makes of
// the take's audio as a WAV file at 32000 Hz.
TEST_F(OrganizeTest, CopyBetweenModesMatchesTheImportOfTheSameAudio) {
    trx5::TakeHistory history = OpenHistory();
    const auto outcome = trx5::CopyTake(history, At(0, 0, 1), At(2, 1, 3));
    ASSERT_TRUE(outcome.ok()) << outcome.Describe();
    EXPECT_TRUE(outcome->converted);
    EXPECT_FALSE(outcome->fromLong);
    EXPECT_TRUE(outcome->toLong);
    EXPECT_EQ(trx5::ConvertedText(outcome->fromLong, outcome->toLong),
              "The take is converted from HiFi to LONG; its quality drops.");

    trx5test::TempDir other;
    trx5test::MakeMachineFile(other.path());
    trx5test::MakeSongFile(other.path(), 2, true);
    const trx5test::Samples samples = trx5test::DecodeTakeFile(card / "00-01.aud", false);
    trx5test::WriteFile(other / "take.wav", trx5test::WavBytes(1, 32000, 16, samples));
    trx5::ImportRequest request;
    request.sourcePath = other / "take.wav";
    request.cardDir = other.path();
    request.fileNumber = 2;
    request.longMode = true;
    request.first = {1, 3};
    trx5::NoProgress progress;
    ASSERT_TRUE(trx5::ImportTakes(request, progress).ok());
    EXPECT_EQ(trx5test::ReadFile(card / "02-13.aud"), trx5test::ReadFile(other / "02-13.aud"));

    // And back: LONG to HiFi, undone to the file that was there.
    const auto back = trx5::MoveTake(history, At(2, 1, 3), At(0, 0, 1));
    ASSERT_TRUE(back.ok()) << back.Describe();
    EXPECT_TRUE(back->converted);
    EXPECT_EQ(trx5test::Snapshot(card.path()).count("02-13.aud"), 0U);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(trx5test::ReadFile(card / "02-13.aud"), trx5test::ReadFile(other / "02-13.aud"));

    // A swap between modes converts both ways; undone, both are as they were.
    const Files before = trx5test::Snapshot(card.path());
    ASSERT_TRUE(trx5::MoveTake(history, At(2, 1, 3), At(2, 0, 0)).ok());
    const auto swapped = trx5::SwapTakes(history, At(0, 0, 1), At(2, 0, 0));
    ASSERT_TRUE(swapped.ok()) << swapped.Describe();
    EXPECT_TRUE(swapped->converted);
    EXPECT_EQ(trx5test::ReadFile(card / "02-00.aud"), trx5test::ReadFile(other / "02-13.aud"));
    ASSERT_TRUE(history.Undo(2));
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

TEST_F(OrganizeTest, RestoreTakePutsACopyOfAKeptTakeBack) {
    const Bytes deleted = trx5test::ReadFile(card / "00-01.aud");
    trx5::TakeHistory history = OpenHistory();
    ASSERT_TRUE(trx5::DeleteTakes(history, {At(0, 0, 1)}).ok());
    ASSERT_EQ(history.kept().size(), 1U);
    const std::string id = history.kept()[0].id;
    const Bytes replaced = trx5test::ReadFile(card / "01-00.aud");
    const auto outcome = trx5::RestoreTake(history, id, At(1, 0, 0));
    ASSERT_TRUE(outcome.ok()) << outcome.Describe();
    EXPECT_EQ(outcome->kept, std::vector<std::string>{"01-00.aud"});
    EXPECT_EQ(trx5test::ReadFile(card / "01-00.aud"), deleted);
    EXPECT_NE(history.Find(id), nullptr);  // still kept
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(trx5test::ReadFile(card / "01-00.aud"), replaced);
}

}  // namespace
