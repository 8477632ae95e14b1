// Rescues from real FAT images made with mkfs.vfat and mtools out of a demo
// card with long takes in both modes: intact, with files deleted, quick-
// formatted, with the FAT zeroed, cut short, with takes written in pieces,
// and read with injected read errors.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include "card/card_info.h"
#include "convert/demo_card.h"
#include "rescue/rescue_image.h"
#include "rescue/rescue_output.h"

namespace {

using trx5test::Bytes;

void Shell(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The names of the files in `folder` (not folders).
std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_type == DT_REG) names.push_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The demo card with a long take in each mode beside its own, on a FAT16
// image; `card` holds the files, by name.
class FatImage : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string folder = work_ / "card/";
        ASSERT_TRUE(trx5::MakeDemoCard(folder).ok());
        // Three seconds or more in each mode.
        trx5test::WriteFile(folder + "00-07.aud", trx5test::EncodedTake(false, 200, 3));
        trx5test::WriteFile(folder + "01-37.aud", trx5test::EncodedTake(true, 130, 4));
        Bytes longHiFi = trx5test::EncodedTake(false, 3000, 5);
        trx5test::WriteFile(folder + "00-17.aud", longHiFi);
        trx5test::WriteFile(folder + "01-27.aud", trx5test::EncodedTake(true, 3000, 6));
        for (const std::string& name : Files(folder))
            card_[name] = trx5test::ReadFile(folder + name);
        image_ = work_ / "card.img";
        Shell("mkfs.vfat -C " + Quote(image_) + " 16384");
        Shell("mcopy -i " + Quote(image_) + " " + Quote(folder) + "* ::/");
    }

    trx5::Result<trx5::RescueOutcome> Rescue(const std::set<std::uint64_t>& bad = {},
                                             bool carveOnly = false) {
        trx5test::FaultySource source(trx5test::ReadFile(image_), bad);
        trx5::RetryingSectorReader reader(source);
        trx5::RescueOptions options;
        options.carveOnly = carveOnly;
        return trx5::RescueToFolder(reader, out_, options);
    }

    // The byte of the image where `bytes` start.
    std::uint64_t Offset(const Bytes& bytes) {
        const Bytes image = trx5test::ReadFile(image_);
        const auto at =
            std::search(image.begin(), image.end(), bytes.begin(),
                        bytes.begin() + std::ptrdiff_t(std::min<std::size_t>(bytes.size(), 1024)));
        EXPECT_NE(at, image.end());
        return std::uint64_t(at - image.begin());
    }

    void Overwrite(std::uint64_t offset, const Bytes& bytes) {
        Bytes image = trx5test::ReadFile(image_);
        std::copy(bytes.begin(), bytes.end(), image.begin() + std::ptrdiff_t(offset));
        trx5test::WriteFile(image_, image);
    }

    std::string Report() {
        const Bytes b = trx5test::ReadFile(out_ + "rescue-report.txt");
        return std::string(b.begin(), b.end());
    }

    // Every take of the card is a file of the rescue's unplaced folder,
    // byte for byte.
    void ExpectEveryTakeUnplaced() {
        std::vector<Bytes> rescued;
        for (const std::string& name : Files(out_ + "unplaced/")) {
            if (name.ends_with(".aud"))
                rescued.push_back(trx5test::ReadFile(out_ + "unplaced/" + name));
        }
        for (const auto& [name, bytes] : card_) {
            if (name.ends_with(".aud")) {
                EXPECT_EQ(std::count(rescued.begin(), rescued.end(), bytes), 1) << name;
            }
        }
    }

    trx5test::TempDir work_;
    std::string image_;
    std::string out_ = work_ / "rescued/";
    std::map<std::string, Bytes> card_;
};

// An intact card and one whose files were all deleted with mdel: every
// file comes back under its name, byte for byte.
TEST_F(FatImage, IntactAndDeletedFilesComeBackByName) {
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "intact");
        if (deleted) Shell("mdel -i " + Quote(image_) + " '::/*'");
        trx5test::TempDir out;
        out_ = out / "rescued/";
        auto result = Rescue();
        ASSERT_TRUE(result) << result.Describe();
        EXPECT_EQ(result->takes.size(), 11u);
        for (const auto& [name, bytes] : card_) {
            // A deleted take's short name lost its first letter, which the
            // song numbers give back; the long names of the others remain.
            EXPECT_EQ(trx5test::ReadFile(out_ + name), bytes) << name;
        }
        EXPECT_FALSE(trx5test::FileExists(out_ + "unplaced"));
        const std::string report = Report();
        EXPECT_NE(report.find(deleted ? "deleted entry _0-17.aud" : "00-17.aud: live file"),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find("Unreadable sectors: 0"), std::string::npos);
    }
}

// A quick format leaves an empty file system over the old sectors: every
// take is carved whole. With the FAT zeroed the folder still names them.
TEST_F(FatImage, QuickFormattedAndZeroedFatAreCarved) {
    const Bytes original = trx5test::ReadFile(image_);
    {
        Shell("mkfs.vfat " + Quote(image_));
        auto result = Rescue();
        ASSERT_TRUE(result) << result.Describe();
        EXPECT_EQ(result->takes.size(), 11u);
        ExpectEveryTakeUnplaced();
        EXPECT_EQ(result->songFilesFound, 2);
    }
    {
        trx5test::TempDir out;
        out_ = out / "rescued/";
        trx5test::WriteFile(image_, original);
        // FAT16 boot sector: reserved sectors, number of FATs, sectors per FAT.
        const std::uint64_t reserved = original[14] | original[15] << 8;
        const std::uint64_t fats = original[16];
        const std::uint64_t perFat = original[22] | original[23] << 8;
        Overwrite(reserved * 512, Bytes(fats * perFat * 512, 0));
        auto result = Rescue();
        ASSERT_TRUE(result) << result.Describe();
        for (const auto& [name, bytes] : card_) {
            EXPECT_EQ(trx5test::ReadFile(out_ + name), bytes) << name;
        }
        EXPECT_NE(Report().find("00-17.aud: carved"), std::string::npos) << Report();
    }
}

// A live machine file whose signature is damaged is kept apart under
// unplaced/, and the folder gets a machine file of its own, so that it is a
// card folder.
TEST_F(FatImage, DamagedMachineFileIsKeptApart) {
    const Bytes& machine = card_["SongNo.tx5"];
    Overwrite(Offset(machine), Bytes{'X'});
    auto result = Rescue();
    ASSERT_TRUE(result) << result.Describe();
    EXPECT_FALSE(result->machineFileFound);
    EXPECT_TRUE(trx5::CheckMachineFile(out_));
    Bytes damaged = machine;
    damaged[0] = 'X';
    EXPECT_EQ(trx5test::ReadFile(out_ + "unplaced/rescued-machine-0001.tx5"), damaged);
    EXPECT_EQ(trx5test::ReadFile(out_ + "00-17.aud"), card_["00-17.aud"]);
    EXPECT_NE(Report().find("its signature is damaged"), std::string::npos) << Report();
}

// An image cut within a take: its whole blocks before the cut are rescued
// and the report calls it incomplete, through the file system and by
// carving alike.
TEST_F(FatImage, CutWithinATake) {
    const Bytes& take = card_["00-17.aud"];
    const std::uint64_t at = Offset(take);
    ASSERT_EQ(::truncate(image_.c_str(), off_t(at + 512 * 1500 + 100)), 0);
    for (const bool carveOnly : {false, true}) {
        SCOPED_TRACE(carveOnly ? "carved" : "file system");
        trx5test::TempDir out;
        out_ = out / "rescued/";
        auto result = Rescue({}, carveOnly);
        ASSERT_TRUE(result) << result.Describe();
        const std::string path = carveOnly
                                     ? out_ + "unplaced/" + result->takes.back().name.substr(9)
                                     : out_ + "00-17.aud";
        const Bytes got = trx5test::ReadFile(path);
        EXPECT_EQ(got.size(), 512u * 1500);
        EXPECT_TRUE(got == Bytes(take.begin(), take.begin() + 512 * 1500)) << Report();
        EXPECT_NE(Report().find("incomplete: the source ends within it"), std::string::npos)
            << Report();
    }
}

// Two takes written alternately in pieces, as a card nearly full writes
// them, on a card formatted afresh: no rescued file joins blocks of both,
// and the pieces that follow no header are reported apart.
TEST_F(FatImage, TakesWrittenInPiecesAreNeverJoined) {
    const Bytes a = trx5test::EncodedTake(false, 400, 1);
    Bytes b(512);
    std::memcpy(b.data(), trx5::MakeTakeHeader(false).data(), 512);
    const Bytes bBlocks = trx5test::EncodedBlocks(false, 400, 5);
    b.insert(b.end(), bBlocks.begin(), bBlocks.end());
    ASSERT_EQ(::unlink(image_.c_str()), 0);
    Shell("mkfs.vfat -C " + Quote(image_) + " 16384");
    // Pieces of 64 sectors (two clusters of 16 KiB), A's and B's in turn.
    Bytes pieces;
    for (std::size_t at = 0; at < a.size(); at += 64 * 512) {
        for (const Bytes* t : {&a, static_cast<const Bytes*>(&b)}) {
            const std::size_t end = std::min(t->size(), at + 64 * 512);
            pieces.insert(pieces.end(), t->begin() + std::ptrdiff_t(at),
                          t->begin() + std::ptrdiff_t(end));
        }
    }
    const std::uint64_t dataStart = 4u << 20;
    Overwrite(dataStart, pieces);
    Overwrite(dataStart + pieces.size(), Bytes(512, 0));
    auto result = Rescue();
    ASSERT_TRUE(result) << result.Describe();
    // Every rescued file is one run of one take's blocks.
    std::uint64_t blocks = 0;
    for (const trx5::RescuedTake& t : result->takes) {
        const Bytes file = trx5test::ReadFile(out_ + t.name);
        ASSERT_GT(file.size(), 512u);
        const Bytes body(file.begin() + 512, file.end());
        const auto inA = std::search(a.begin() + 512, a.end(), body.begin(), body.end());
        const auto inB = std::search(b.begin() + 512, b.end(), body.begin(), body.end());
        EXPECT_TRUE(inA != a.end() || inB != b.end()) << t.name << " joins blocks of both takes\n"
                                                      << Report();
        blocks += t.found.blockCount;
    }
    EXPECT_EQ(blocks, 800u);
    EXPECT_NE(Report().find("not joined to any take"), std::string::npos) << Report();
}

// Unreadable sectors in a live take and in a carved one: the same takes
// come back without the lost blocks, and the report counts them.
TEST_F(FatImage, ReadErrorsLoseOnlyTheirBlocks) {
    const Bytes& live = card_["00-17.aud"];
    const std::uint64_t sector = Offset(live) / 512 + 1 + 700;  // block 700
    for (const bool carveOnly : {false, true}) {
        SCOPED_TRACE(carveOnly ? "carved" : "file system");
        trx5test::TempDir out;
        out_ = out / "rescued/";
        auto result = Rescue({sector, sector + 1, sector + 2}, carveOnly);
        ASSERT_TRUE(result) << result.Describe();
        Bytes expected(live.begin(), live.begin() + 512 * 701);
        expected.insert(expected.end(), live.begin() + 512 * 704, live.end());
        bool found = false;
        for (const trx5::RescuedTake& t : result->takes) {
            if (trx5test::ReadFile(out_ + t.name) != expected) continue;
            found = true;
            EXPECT_EQ(t.found.lostBlocks, 3u);
        }
        EXPECT_TRUE(found);
        EXPECT_EQ(result->takes.size(), 11u);
        EXPECT_EQ(result->unreadableSectors, 3u);
        EXPECT_NE(Report().find("3 lost to read errors"), std::string::npos) << Report();
        // Read while carving and again while writing, each counted once.
        EXPECT_NE(Report().find("Unreadable sectors: 3\n"), std::string::npos) << Report();
    }
}

// A take whose length ends within a block, live and deleted, comes back
// with its exact length.
TEST_F(FatImage, ATakeEndingWithinABlockKeepsItsLength) {
    Bytes take = trx5test::EncodedTake(false, 50, 7);
    const Bytes more = trx5test::EncodedBlocks(false, 1, 8);
    take.insert(take.end(), more.begin(), more.begin() + 100);
    trx5test::WriteFile(work_ / "00-27.aud", take);
    Shell("mcopy -i " + Quote(image_) + " " + Quote(work_ / "00-27.aud") + " ::/");
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "live");
        if (deleted) Shell("mdel -i " + Quote(image_) + " ::/00-27.aud");
        trx5test::TempDir out;
        out_ = out / "rescued/";
        auto result = Rescue();
        ASSERT_TRUE(result) << result.Describe();
        EXPECT_EQ(trx5test::ReadFile(out_ + "00-27.aud"), take);
        EXPECT_NE(Report().find("00-27.aud: " +
                                std::string(deleted ? "deleted entry _0-27.aud" : "live file") +
                                " at byte"),
                  std::string::npos)
            << Report();
        EXPECT_NE(Report().find(std::to_string(take.size()) +
                                " bytes, HiFi, 51 blocks checked, 0 doubtful"),
                  std::string::npos)
            << Report();
    }
}

// A live take whose header cannot be read keeps its name and blocks and
// gets a header made anew in its mode.
TEST_F(FatImage, UnreadableHeaderOfALiveTake) {
    const Bytes& take = card_["01-27.aud"];
    auto result = Rescue({Offset(take) / 512});
    ASSERT_TRUE(result) << result.Describe();
    const trx5::TakeHeader header = trx5::MakeTakeHeader(true);
    Bytes expected(header.begin(), header.end());
    expected.insert(expected.end(), take.begin() + 512, take.end());
    EXPECT_EQ(trx5test::ReadFile(out_ + "01-27.aud"), expected);
    EXPECT_NE(Report().find("a new one made"), std::string::npos) << Report();
    EXPECT_NE(Report().find("Unreadable sectors: 1\n"), std::string::npos) << Report();
}

}  // namespace
