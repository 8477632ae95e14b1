#include "organize/take_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "card/card_info.h"
#include "organize/organize_test_support.h"
#include "organize/take_organizer.h"

namespace {

using trx5::TakePlace;

class HistoryTest : public trx5test::OrganizeCard {};

TakePlace At(int fileNumber, int track, int vtake) { return {fileNumber, {track, vtake}}; }

TEST_F(HistoryTest, FolderIsUnderXdgDataHomeAndNamedByTheCard) {
    const auto folder = trx5::TakeHistory::FolderFor(card.path());
    ASSERT_TRUE(folder.ok());
    EXPECT_TRUE(std::regex_match(
        *folder, std::regex(xdg.path() + "trx5-card-manager/history/[0-9a-f]{16}/")))
        << *folder;
    // The same card by another spelling of its path is the same history.
    EXPECT_EQ(*trx5::TakeHistory::FolderFor(card.path() + "./"), *folder);
    // The recorder rewrites the machine file after its signature field: the
    // card stays the same.
    trx5test::Bytes machine = trx5test::ReadFile(card / "SongNo.tx5");
    for (std::size_t i = trx5::kSignatureField; i < machine.size(); ++i) machine[i] ^= 0x5a;
    machine.resize(machine.size() + 100, 7);
    trx5test::WriteFile(card / "SongNo.tx5", machine);
    EXPECT_EQ(*trx5::TakeHistory::FolderFor(card.path()), *folder);
    // Another machine file is another card.
    trx5test::WriteFile(card / "SongNo.tx5", std::string("QORV TX-5 MACHINE INFORMATION VER0001x"));
    EXPECT_NE(*trx5::TakeHistory::FolderFor(card.path()), *folder);
    // Without XDG_DATA_HOME, under $HOME/.local/share.
    unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(trx5::TakeHistory::FolderFor(card.path())
                  ->rfind(std::string(home) + "/.local/share/trx5-card-manager/history/", 0),
              0U);
}

// The volume's UUID is the name of the link whose device is the folder's.
TEST_F(HistoryTest, VolumeUuidIsTheLinkToTheFoldersDevice) {
    trx5test::TempDir links;
    ASSERT_EQ(symlink("/dev/zero", (links / "1A2B-3C4D").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (links / "5E6F-7A8B").c_str()), 0);
    struct stat zero {};
    ASSERT_EQ(stat("/dev/zero", &zero), 0);
    EXPECT_EQ(trx5::VolumeUuid(zero.st_rdev, links.path()), "1A2B-3C4D");
    struct stat folder {};
    ASSERT_EQ(stat(card.path().c_str(), &folder), 0);
    EXPECT_EQ(trx5::VolumeUuid(folder.st_dev, links.path()), "");
    EXPECT_EQ(trx5::VolumeUuid(zero.st_rdev, links / "missing/"), "");
}

// A new object on the same card sees the steps and kept files of an earlier
// one, and undoes and redoes them.
TEST_F(HistoryTest, ANewObjectOnTheSameCardSeesTheSteps) {
    const auto before = trx5test::Snapshot(card.path());
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_TRUE(trx5::CopyTake(*history, At(0, 0, 0), At(0, 0, 1)).ok());
        ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 1, 0)}).ok());
    }
    const auto after = trx5test::Snapshot(card.path());
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_EQ(history->steps().size(), 2U);
        EXPECT_EQ(history->steps()[0].kind, "copy");
        EXPECT_EQ(history->steps()[1].kind, "delete");
        ASSERT_EQ(history->kept().size(), 2U);
        EXPECT_EQ(history->kept()[1].name, "00-10.aud");
        EXPECT_EQ(trx5test::ReadFile(history->KeptPath(history->kept()[1].id)),
                  before.at("00-10.aud"));
        ASSERT_TRUE(history->Undo(2));
    }
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        EXPECT_FALSE(history->CanUndo());
        ASSERT_TRUE(history->Redo());
        ASSERT_TRUE(history->Redo());
        EXPECT_FALSE(history->Redo());
    }
    EXPECT_EQ(trx5test::Snapshot(card.path()), after);
}

// Over the limit the oldest kept files go first, each with a note, and the
// steps that needed them can no longer be undone; the newest still can.
TEST_F(HistoryTest, LimitDropsTheOldestFirstWithANote) {
    auto history = trx5::TakeHistory::Open(card.path());
    ASSERT_TRUE(history.ok());
    const std::uint64_t take00 = 512 + 3 * 512, take01 = 512 + 5 * 512;
    trx5::OrganizeOptions options;
    options.historyLimit = take00 + take01;
    ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 1, 0)}, options)->notes.empty());
    ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 0, 0)}, options)->notes.empty());
    const auto third = trx5::DeleteTakes(*history, {At(0, 0, 1)}, options);
    ASSERT_TRUE(third.ok());
    ASSERT_EQ(third->notes.size(), 1U);
    EXPECT_TRUE(std::regex_match(third->notes[0],
                                 std::regex("Take 2-1 of song 01 \\(kept [-0-9: ]+\\) dropped from "
                                            "the history to stay under 5.1 kB\\.")))
        << third->notes[0];
    ASSERT_EQ(history->kept().size(), 2U);
    EXPECT_EQ(history->KeptBytes(), take00 + take01);
    EXPECT_EQ(history->kept()[0].name, "00-00.aud");
    EXPECT_EQ(history->steps().size(), 2U);
    ASSERT_TRUE(history->Undo(2));
    EXPECT_FALSE(history->CanUndo());
    EXPECT_TRUE(trx5test::FileExists(card / "00-00.aud"));
    EXPECT_TRUE(trx5test::FileExists(card / "00-01.aud"));
    EXPECT_FALSE(trx5test::FileExists(card / "00-10.aud"));

    // The default limit is 2 GB and says so.
    EXPECT_EQ(trx5::kDefaultHistoryLimit, 2'000'000'000U);
    ASSERT_TRUE(history->Redo());
    const auto notes = history->Trim(0);
    ASSERT_EQ(notes.size(), 1U);
    EXPECT_NE(notes[0].find("to stay under 0 bytes."), std::string::npos) << notes[0];
    EXPECT_TRUE(history->kept().empty());
}

// Steps that keep no file (renames) are never dropped by the limit on kept
// bytes; the journal still holds no more than the newest 1000 steps, and
// files kept by steps dropped stay listed.
TEST_F(HistoryTest, TheJournalHoldsTheNewestThousandSteps) {
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 1, 0)}).ok());
        for (int i = 0; i < 1000; ++i) {
            trx5::HistoryStep step;
            step.kind = "move";
            step.time = 1000 + i;
            step.renames.push_back({"00-00.aud", "00-01.aud"});
            ASSERT_TRUE(history->Record(step));
        }
    }
    auto history = trx5::TakeHistory::Open(card.path());
    ASSERT_TRUE(history.ok());
    ASSERT_EQ(history->steps().size(), 1000U);
    EXPECT_EQ(history->steps().front().time, 1000);
    ASSERT_EQ(history->kept().size(), 1U);
    EXPECT_EQ(history->kept()[0].name, "00-10.aud");
}

// A journal that is not the program's, or that names files outside the
// history or the card, is refused rather than followed.
TEST_F(HistoryTest, ADamagedJournalIsRefused) {
    const auto folder = trx5::TakeHistory::FolderFor(card.path());
    ASSERT_TRUE(trx5::TakeHistory::Open(card.path()).ok());
    for (const char* journal : {
             "something else\n",
             "trx5-history\t1\nkept\t../x\t1\t1\t00-00.aud\n",
             "trx5-history\t1\nstep\tcopy\t1\tA\nchange\t../../etc/x\t-\t-\n",
             "trx5-history\t1\nstep\tcopy\t1\tA\nchange\t00-00.aud\t../1\t-\n",
             "trx5-history\t1\nkept\t1\tlater\t1\t00-00.aud\n",
             "trx5-history\t2\nstep\tmove\t1\tA\nrename\t00-00.aud\t../x\n",
             "trx5-history\t2\nstep\tmove\t1\tA\nrename\t/etc/x\t00-00.aud\n",
             // A kept file put where a rename puts the take would lose it.
             "trx5-history\t2\nkept\t1\t1\t1\t00-01.aud\nstep\tmove\t1\tU\nchange\t00-01.aud\t-"
             "\t1\nrename\t00-00.aud\t00-01.aud\n",
             "trx5-history\t2\nkept\t1\t1\t1\t00-00.aud\nstep\tmove\t1\tA\nchange\t00-00.aud\t1"
             "\t-\nrename\t00-00.aud\t00-01.aud\n",
             // Renames came with the second version.
             "trx5-history\t1\nstep\tmove\t1\tA\nrename\t00-00.aud\t00-01.aud\n",
         }) {
        SCOPED_TRACE(journal);
        trx5test::WriteFile(*folder + "journal.txt", std::string(journal));
        const auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_FALSE(history.ok());
        EXPECT_EQ(history.message(), trx5::kMsgHistoryUnreadable);
    }
}

// A move's rename is in the journal that a new object reads; a journal of
// the first version, whose steps have no renames, is read as it was.
TEST_F(HistoryTest, TheJournalKeepsRenamesAndReadsTheFirstVersion) {
    const auto before = trx5test::Snapshot(card.path());
    std::string journal;
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 1, 0)}).ok());
        journal = history->folder() + "journal.txt";
    }
    const trx5test::Bytes text = trx5test::ReadFile(journal);
    std::string old(text.begin(), text.end());
    ASSERT_EQ(old.rfind("trx5-history\t2\n", 0), 0U);
    old[13] = '1';
    trx5test::WriteFile(journal, old);
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok()) << history.Describe();
        ASSERT_TRUE(history->Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        ASSERT_TRUE(trx5::MoveTake(*history, At(0, 0, 0), At(0, 2, 2)).ok());
    }
    auto history = trx5::TakeHistory::Open(card.path());
    ASSERT_TRUE(history.ok()) << history.Describe();
    ASSERT_EQ(history->steps().size(), 1U);
    ASSERT_EQ(history->steps()[0].renames.size(), 1U);
    EXPECT_EQ(history->steps()[0].renames[0].from, "00-00.aud");
    EXPECT_EQ(history->steps()[0].renames[0].to, "00-22.aud");
    EXPECT_TRUE(history->steps()[0].changes.empty());
    ASSERT_TRUE(history->Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

}  // namespace

namespace {

// A run stopped after keeping a file but before writing its journal: the
// next run lists the file and never writes over it.
TEST_F(HistoryTest, AFileKeptWithoutItsJournalIsListedAndKeptSafe) {
    const trx5test::Bytes take = trx5test::ReadFile(card / "00-00.aud");
    std::string folder;
    {
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_TRUE(history->Keep("00-00.aud").ok());
        folder = history->folder();
    }
    auto history = trx5::TakeHistory::Open(card.path());
    ASSERT_TRUE(history.ok());
    ASSERT_EQ(history->kept().size(), 1U);
    EXPECT_EQ(trx5::DescribeCardFile(history->kept()[0].name), trx5::kMsgUnknownKept);
    const std::string first = history->kept()[0].id;
    ASSERT_TRUE(trx5::DeleteTakes(*history, {At(0, 0, 1)}).ok());
    EXPECT_NE(history->kept()[1].id, first);
    EXPECT_EQ(trx5test::ReadFile(history->KeptPath(first)), take);
    // One run at a time.
    const auto second = trx5::TakeHistory::Open(card.path());
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.message(), trx5::kMsgHistoryBusy);
    // The journal that now lists it, without a card name, reads again.
    history = trx5::Result<trx5::TakeHistory>(trx5::Status::Fail(trx5::ErrorCode::Failed, ""));
    const auto again = trx5::TakeHistory::Open(card.path());
    ASSERT_TRUE(again.ok()) << again.Describe();
    ASSERT_EQ(again->kept().size(), 2U);
    EXPECT_EQ(again->kept()[0].id, first);
}

}  // namespace

namespace {

// An undo that fails part-way gives the slots done so far back their files:
// the step stays whole, and once the cause is gone it is undone in full. A
// delete fails at its second slot; a move over a take once its take is
// renamed back, when the take it replaced cannot be put back.
TEST_F(HistoryTest, AnUndoThatFailsPartWayLeavesTheStepWhole) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "delete");
        SetUp();
        trx5test::TempDir fresh;
        setenv("XDG_DATA_HOME", fresh.path().c_str(), 1);
        const auto before = trx5test::Snapshot(card.path());
        auto history = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(history.ok());
        ASSERT_TRUE((move ? trx5::MoveTake(*history, At(0, 0, 0), At(0, 0, 1))
                          : trx5::DeleteTakes(*history, {At(0, 0, 0), At(0, 0, 1)}))
                        .ok());
        const auto after = trx5test::Snapshot(card.path());
        const std::string kept = history->KeptPath(history->steps()[0].changes.back().before);
        ASSERT_EQ(std::rename(kept.c_str(), (kept + "-away").c_str()), 0);
        ASSERT_FALSE(history->Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), after);
        EXPECT_TRUE(history->CanUndo());
        ASSERT_EQ(std::rename((kept + "-away").c_str(), kept.c_str()), 0);
        ASSERT_TRUE(history->Undo());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
    }
}

}  // namespace
