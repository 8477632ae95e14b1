// trx5card's take commands run as a program on a small card, one after
// another: exit status, what they print, and the card's files after each.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "convert/audio_check.h"
#include "organize/organize_test_support.h"

namespace {

class CliOrganizeTest : public trx5test::OrganizeCard {};

struct Row {
    std::vector<std::string> args;  // after the command's name, CARD put first
    int code;
    const char* out;  // a regular expression for the whole of standard output
    const char* err;  // one for standard error
};

// The commands in turn on one card, each on what the ones before left.
TEST_F(CliOrganizeTest, CommandsInTurnPrintALinePerChangeWithTheirExitStatus) {
    const auto original = trx5test::Snapshot(card.path());
    const std::vector<Row> rows = {
        {{"copy", "01:1-1", "01:4-8"}, 0, "Take 1-1 of song 01 copied to 4-8\\.\n", ""},
        {{"copy", "01:1-2", "01:4-8"},
         0,
         "Take 1-2 of song 01 copied to 4-8; the old 4-8 is in the history\\.\n",
         ""},
        {{"copy", "01:1-1", "01:4-8", "--no-replace"},
         1,
         "",
         "trx5card: .*/00-37\\.aud: The slot holds a take and is not to be replaced\\.\n"},
        {{"move", "01:2-1", "02:1-1"},
         0,
         "Take 2-1 of song 01 moved to 1-1 of song 02; the old 1-1 is in the history\\.\n",
         ""},
        {{"swap", "01:1-1", "01:1-2"},
         0,
         "Take 1-1 of song 01 and take 1-2 of song 01 swapped\\.\n",
         ""},
        {{"delete", "01:1-1", "01:4-8"},
         0,
         "Take 1-1 of song 01 deleted; it is in the history\\.\nTake 4-8 of song 01 deleted; it "
         "is in the history\\.\n",
         ""},
        {{"copy", "01:1-2", "03:1-1"},
         0,
         "Take 1-2 of song 01 copied to 1-1 of song 03\\.\n",
         "trx5card: The take is converted from HiFi to LONG; its quality drops\\.\n"},
        {{"copy-song", "02", "10"}, 0, "Song 02 copied to song 10 with 1 take\\.\n", ""},
        {{"copy-song", "02", "10"},
         1,
         "",
         "trx5card: .*UtyPrm09\\.tx5: That song number is taken already\\.\n"},
        // The takes replaced or deleted; the moved and swapped ones were renamed.
        {{"history"}, 0, "(\\d+\t[-0-9: ]+\tTake [1-4]-[1-8] of song 0[12]\t[0-9.]+ kB\n){4}", ""},
        {{"undo", "--steps", "3"},
         0,
         "Undone: copy-song of .*\\.\nUndone: copy of .*\\.\nUndone: delete of .*\\.\n",
         ""},
        {{"redo"}, 0, "Redone: delete of .*\\.\n", ""},
        {{"undo", "--steps", "9"}, 0, "(Undone: [a-z-]+ of [-0-9: ]+\\.\n){5}", ""},
        {{"undo"}, 1, "", "trx5card: There is nothing to undo\\.\n"},
        {{"copy", "01:1-1", "04:1-1"}, 1, "", "trx5card: The card has no such song\\.\n"},
        {{"restore-take", "99", "01:1-1"},
         1,
         "",
         "trx5card: The history holds no take of that id\\.\n"},
        {{"copy", "01:1-1", "01:9-1"}, 2, "", "trx5card: copy: '01:9-1' must be SONG:T-V .*\n"},
        {{"copy", "0:1-1", "01:1-2"}, 2, "", "trx5card: copy: '0:1-1' must be SONG:T-V .*\n"},
        {{"delete", "01:1-1", "--history-limit", "2X"},
         2,
         "",
         "trx5card: delete: --history-limit '2X' must be a byte count.*\n"},
        {{"undo", "--steps", "0"}, 2, "", "trx5card: undo: --steps '0' must be a number.*\n"},
        {{"move", "01:3-3", "01:1-1"},
         1,
         "",
         "trx5card: .*/00-22\\.aud: There is no take in that slot\\.\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {row.args[0], card.path()};
        args.insert(args.end(), row.args.begin() + 1, row.args.end());
        SCOPED_TRACE(row.args[0] + " " + (row.args.size() > 1 ? row.args[1] : ""));
        const trx5test::RunResult run = trx5test::RunCli(args);
        EXPECT_EQ(run.code, row.code) << run.err;
        EXPECT_TRUE(std::regex_match(run.out, std::regex(row.out))) << run.out;
        EXPECT_TRUE(std::regex_match(run.err, std::regex(row.err))) << run.err;
    }
    // Everything undone: the card as it was.
    EXPECT_EQ(trx5test::Snapshot(card.path()), original);
}

TEST_F(CliOrganizeTest, HistoryLimitDropsWithANoteAndRestoreTakePutsItBack) {
    const auto take = trx5test::ReadFile(card / "00-00.aud");  // 2048 bytes
    trx5test::RunResult run =
        trx5test::RunCli({"delete", card.path(), "01:1-2", "--history-limit", "4k"});
    ASSERT_EQ(run.code, 0) << run.err;
    run = trx5test::RunCli({"delete", card.path(), "01:1-1", "--history-limit", "4k"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(std::regex_match(
        run.err, std::regex("trx5card: Take 1-2 of song 01 \\(kept [-0-9: ]+\\) dropped from the "
                            "history to stay under 4\\.0 kB\\.\n")))
        << run.err;
    run = trx5test::RunCli({"history", card.path()});
    EXPECT_TRUE(
        std::regex_match(run.out, std::regex("2\t[-0-9: ]+\tTake 1-1 of song 01\t2\\.0 kB\n")))
        << run.out;
    EXPECT_FALSE(trx5test::FileExists(card / "00-00.aud"));
    run = trx5test::RunCli({"restore-take", card.path(), "2", "02:3-3"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Kept take 2 put in take 3-3 of song 02.\n");
    EXPECT_EQ(trx5test::ReadFile(card / "01-22.aud"), take);
}

// An import names each take it replaced, which undo gives back byte for
// byte; its --history-limit is checked like the take commands'.
TEST_F(CliOrganizeTest, ImportKeepsTheTakesItReplacesForUndo) {
    const auto before = trx5test::Snapshot(card.path());
    trx5test::TempDir work;
    trx5test::Samples stereo;
    for (int i = 0; i < 2000; ++i) {
        stereo.push_back(static_cast<std::int16_t>(i * 3));
        stereo.push_back(static_cast<std::int16_t>(-i));
    }
    trx5test::WriteFile(work / "in.wav", trx5test::WavBytes(2, 32000, 16, stereo));
    trx5test::RunResult run = trx5test::RunCli(
        {"import", card.path(), "1", work / "in.wav", "--to", "4-1", "--history-limit", "2X"});
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(std::regex_match(
        run.err, std::regex("trx5card: import: --history-limit '2X' must be a byte count.*\n")))
        << run.err;
    run = trx5test::RunCli({"import", card.path(), "1", work / "in.wav", "--to", "4-1", "--right",
                            "1-2", "--history-limit", "1G"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Take(s) have been generated.\n01:1-2: the old take is in the history.\n");
    EXPECT_EQ(run.err, "");
    EXPECT_NE(trx5test::ReadFile(card / "00-01.aud"), before.at("00-01.aud"));
    run = trx5test::RunCli({"undo", card.path()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("Undone: import of [-0-9: ]+\\.\n")))
        << run.out;
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

TEST_F(CliOrganizeTest, EveryCommandHasHelp) {
    for (const char* command : {"copy", "move", "swap", "delete", "copy-song", "history", "undo",
                                "redo", "restore-take"}) {
        SCOPED_TRACE(command);
        const trx5test::RunResult run = trx5test::RunCli({command, "--help"});
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("SONG:T-V"), std::string::npos);
    }
}

}  // namespace
