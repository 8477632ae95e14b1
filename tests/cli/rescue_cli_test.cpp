#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cli/cli_run.h"
#include "rescue/rescue_image.h"

namespace {

using trx5test::RunCli;
using trx5test::RunResult;

// A card image with two takes among junk: rescued into a new folder with
// the report where --report says; a second run into the now full folder
// and a missing source fail.
TEST(RescueCli, RescuesAnImageIntoANewFolder) {
    trx5test::TempDir work;
    trx5test::Bytes image = trx5test::RandomBytes(512 * 4, 1);
    const trx5test::Bytes first = trx5test::EncodedTake(false, 20, 1);
    const trx5test::Bytes second = trx5test::EncodedTake(true, 8, 2);
    trx5test::Append(image, first);
    trx5test::Append(image, trx5test::RandomBytes(512, 2));
    trx5test::Append(image, second);
    trx5test::WriteFile(work / "card.img", image);

    const RunResult run = RunCli({"rescue", work / "card.img", work / "out", "--carve-only",
                                  "--report", work / "report.txt"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Takes rescued: 2"), std::string::npos) << run.out;
    EXPECT_EQ(trx5test::ReadFile(work / "out/unplaced/rescued-0001-HiFi.aud"), first);
    EXPECT_EQ(trx5test::ReadFile(work / "out/unplaced/rescued-0002-LONG.aud"), second);
    EXPECT_TRUE(trx5test::FileExists(work / "out/unplaced/rescued-0002-LONG.wav"));
    EXPECT_TRUE(trx5test::FileExists(work / "report.txt"));
    EXPECT_FALSE(trx5test::FileExists(work / "out/rescue-report.txt"));

    for (const std::string& source : {work / "card.img", work / "missing.img"}) {
        const std::string dir = source == work / "card.img" ? work / "out" : work / "other";
        const RunResult again = RunCli({"rescue", source, dir});
        EXPECT_EQ(again.code, 1) << source;
        EXPECT_NE(again.err.find("trx5card: "), std::string::npos) << again.err;
    }
}

}  // namespace

namespace {

// A report that would replace a file is refused before anything is
// written; Ctrl-C stops a rescue with what was written so far, as its
// report says, and exit status 130.
TEST(RescueCli, RefusesToReplaceAReportAndStopsOnCtrlC) {
    trx5test::TempDir work;
    trx5test::Bytes image;
    for (int i = 0; i < 200; ++i)
        trx5test::Append(image, trx5test::EncodedTake(i % 2 == 1, 500, i));
    trx5test::WriteFile(work / "card.img", image);
    trx5test::WriteFile(work / "report.txt", std::string("keep"));

    const RunResult refused =
        RunCli({"rescue", work / "card.img", work / "out", "--report", work / "report.txt"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("a file of that name exists"), std::string::npos) << refused.err;
    EXPECT_FALSE(trx5test::FileExists(work / "out"));
    EXPECT_EQ(trx5test::ReadFile(work / "report.txt"), trx5test::Bytes({'k', 'e', 'e', 'p'}));

    const std::string unplaced = work / "out/unplaced";
    trx5test::RunOptions options;
    options.interruptWhen = [&unplaced] { return trx5test::FileExists(unplaced); };
    const RunResult run = RunCli({"rescue", work / "card.img", work / "out"}, options);
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_NE(run.err.find("rescue interrupted"), std::string::npos) << run.err;
    const trx5test::Bytes report = trx5test::ReadFile(work / "out/rescue-report.txt");
    const std::string text(report.begin(), report.end());
    EXPECT_NE(text.find("Cancelled: the files above were written, the rest not."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Unreadable sectors: 0"), std::string::npos) << text;
}

}  // namespace

namespace {

// A card is never rescued onto itself: a folder (or report) on the device
// read is refused before anything is read or written.
TEST(RescueCli, RefusesToWriteOnTheDeviceItReads) {
    trx5test::TempDir work;
    struct stat place {};
    ASSERT_EQ(::stat(work.path().c_str(), &place), 0);
    // The device the temporary folder lies on stands for the card.
    std::string device;
    for (const auto& node : std::filesystem::directory_iterator("/dev")) {
        struct stat st {};
        if (::stat(node.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
            st.st_rdev == place.st_dev) {
            device = node.path();
        }
    }
    if (device.empty()) GTEST_SKIP() << "the temporary folder lies on no block device here";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rescue", device, work / "out"},
          std::vector<std::string>{"rescue", device, "/dev/shm/trx5-never", "--report",
                                   work / "report.txt"}}) {
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_NE(run.err.find("lies on " + device + ", the card to be rescued"), std::string::npos)
            << run.err;
    }
    EXPECT_FALSE(trx5test::FileExists(work / "out"));
    EXPECT_FALSE(trx5test::FileExists("/dev/shm/trx5-never"));
}

}  // namespace
