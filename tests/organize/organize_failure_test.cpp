// The take operations when the card or the history cannot be written, and
// when the run is killed in the middle: every slot holds its old take or
// its new one, and no take is ever lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "convert/audio_check.h"
#include "organize/organize_test_support.h"
#include "organize/take_organizer.h"

namespace {

using trx5::TakePlace;
using trx5test::Bytes;
using trx5test::TempDir;
using Files = std::map<std::string, Bytes>;
using Operation = std::function<trx5::Result<trx5::OrganizeOutcome>(trx5::TakeHistory&)>;

TakePlace At(int fileNumber, int track, int vtake) { return {fileNumber, {track, vtake}}; }

// A tmpfs of `size` mounted on `folder` while the object lives.
class Tmpfs {
  public:
    Tmpfs(const std::string& folder, const char* size) : folder_(folder) {
        const std::string options = std::string("size=") + size;
        mounted_ = mount("trx5test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~Tmpfs() {
        if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    bool MakeReadOnly() {
        return mount("trx5test", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    std::string folder_;
    bool mounted_ = false;
};

// Songs 01 and 02 in HiFi, song 03 in LONG; takes 1-1 and 1-2 of song 01
// and 1-1 of song 02 of `blocks` blocks each, with random codes.
void MakeCard(const std::string& folder, int blocks) {
    trx5test::MakeMachineFile(folder);
    trx5test::MakeSongFile(folder, 0, false);
    trx5test::MakeSongFile(folder, 1, false);
    trx5test::MakeSongFile(folder, 2, true);
    trx5test::WriteRandomTake(folder + "00-00.aud", blocks, 1);
    trx5test::WriteRandomTake(folder + "00-01.aud", blocks, 2);
    trx5test::WriteRandomTake(folder + "01-00.aud", blocks, 3);
}

// One of each operation that writes the card; each replaces or removes a
// take that must then be in the history.
struct OperationCase {
    const char* name;
    Operation run;
};

const OperationCase kOperations[] = {
    {"copy onto a take",
     [](trx5::TakeHistory& h) { return CopyTake(h, At(0, 0, 0), At(0, 0, 1)); }},
    {"copy to a free slot",
     [](trx5::TakeHistory& h) { return CopyTake(h, At(0, 0, 0), At(0, 3, 7)); }},
    {"move onto a take",
     [](trx5::TakeHistory& h) { return MoveTake(h, At(0, 0, 0), At(0, 0, 1)); }},
    {"move to another song",
     [](trx5::TakeHistory& h) { return MoveTake(h, At(0, 0, 1), At(1, 2, 2)); }},
    {"swap", [](trx5::TakeHistory& h) { return SwapTakes(h, At(0, 0, 0), At(1, 0, 0)); }},
    {"copy between modes",
     [](trx5::TakeHistory& h) { return CopyTake(h, At(0, 0, 0), At(2, 0, 0)); }},
    {"delete",
     [](trx5::TakeHistory& h) {
         return DeleteTakes(h, {At(0, 0, 0), At(0, 0, 1)});
     }},
    {"copy a song", [](trx5::TakeHistory& h) { return CopySong(h, 0, 7); }},
};

std::vector<std::string> TempFilesIn(const Files& files) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) {
        if (name[0] == '.') names.push_back(name);
    }
    return names;
}

// Every take of `before` is on the card or in the history, byte for byte.
void ExpectNothingLost(const Files& before, const Files& card, const std::string& historyFiles) {
    std::vector<Bytes> present;
    for (const auto& [name, bytes] : card) present.push_back(bytes);
    for (const auto& [name, bytes] : trx5test::Snapshot(historyFiles)) present.push_back(bytes);
    for (const auto& [name, bytes] : before) {
        EXPECT_NE(std::find(present.begin(), present.end(), bytes), present.end())
            << name << " is lost";
    }
}

class OrganizeFailure : public ::testing::Test {
  protected:
    void SetUp() override { setenv("XDG_DATA_HOME", xdg.path().c_str(), 1); }
    void TearDown() override { setenv("XDG_DATA_HOME", home_.c_str(), 1); }
    // The temporary home the test program set, put back after each test.
    const std::string home_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";

    trx5::TakeHistory OpenHistory() {
        auto history = trx5::TakeHistory::Open(card.path());
        EXPECT_TRUE(history.ok()) << history.Describe();
        return std::move(*history);
    }

    TempDir card;
    TempDir xdg;
};

// On a card that has no room for the new take, a copy is refused before any
// slot changes; the history gets no step and keeps no file.
TEST_F(OrganizeFailure, FullCardChangesNothing) {
    Tmpfs fs(card.path(), "256k");
    if (!fs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    MakeCard(card.path(), 120);  // three takes of 62 kB; 48 kB stay free
    const Files before = trx5test::Snapshot(card.path());
    for (const OperationCase& op : {kOperations[0], kOperations[1], kOperations[7]}) {
        SCOPED_TRACE(op.name);
        trx5::TakeHistory history = OpenHistory();
        const auto result = op.run(history);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        EXPECT_TRUE(history.steps().empty());
        EXPECT_TRUE(history.kept().empty());
    }
}

// A history that has no room for the take an operation would replace or
// delete: the operation is refused and the card keeps its takes. A move or
// a swap needs no room there: they are renames on the card.
TEST_F(OrganizeFailure, FullHistoryRefusesToReplaceButRenamesStillWork) {
    Tmpfs cardFs(card.path(), "4m");
    Tmpfs historyFs(xdg.path(), "64k");
    if (!cardFs.mounted() || !historyFs.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    MakeCard(card.path(), 400);  // 200 kB takes: none fits in the history
    const Files before = trx5test::Snapshot(card.path());
    for (const OperationCase& op : {kOperations[0], kOperations[2], kOperations[6]}) {
        SCOPED_TRACE(op.name);
        trx5::TakeHistory history = OpenHistory();
        EXPECT_FALSE(op.run(history).ok());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        EXPECT_TRUE(history.steps().empty());
    }
    trx5::TakeHistory history = OpenHistory();
    ASSERT_TRUE(MoveTake(history, At(0, 0, 1), At(1, 2, 2)).ok());
    ASSERT_TRUE(SwapTakes(history, At(0, 0, 0), At(1, 0, 0)).ok());
    ASSERT_TRUE(history.Undo(2));
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

// A card that cannot be written: every operation fails and reports it, the
// card is as it was, and the history neither records a step nor keeps a
// copy of a take that is still on the card.
TEST_F(OrganizeFailure, ReadOnlyCardChangesNothing) {
    Tmpfs fs(card.path(), "4m");
    if (!fs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    MakeCard(card.path(), 40);
    ASSERT_TRUE(fs.MakeReadOnly());
    const Files before = trx5test::Snapshot(card.path());
    for (const OperationCase& op : kOperations) {
        SCOPED_TRACE(op.name);
        trx5::TakeHistory history = OpenHistory();
        const auto result = op.run(history);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        EXPECT_TRUE(history.steps().empty());
        EXPECT_TRUE(history.kept().empty());
    }
    trx5::TakeHistory history = OpenHistory();
    EXPECT_TRUE(history.kept().empty());
}

// Each operation killed at times spread over its run: each slot holds its
// old take or its new one, every take is on the card or in the history, the
// next run opens the history and clears what the killed one left on the
// card, and its own operations work.
TEST_F(OrganizeFailure, KilledRunLeavesEverySlotOldOrNew) {
    constexpr int kBlocks = 8000;  // 4 MB takes
    // On a tmpfs when it can be had, so that the flushes cost nothing and
    // the kills land at the same points on any disk.
    TempDir scratch;
    Tmpfs fs(scratch.path(), "1g");
    int made = 0;
    auto fresh = [&] {
        const std::string path = scratch / std::to_string(made++) + "/";
        EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
        return path;
    };
    for (const OperationCase& op : kOperations) {
        // When the operation runs to the end, what it gives, and how long
        // it takes: the kills are spread over that time.
        Files after;
        std::chrono::microseconds took{};
        {
            const std::string c = fresh(), x = fresh();
            setenv("XDG_DATA_HOME", x.c_str(), 1);
            MakeCard(c, kBlocks);
            const auto start = std::chrono::steady_clock::now();
            auto h = trx5::TakeHistory::Open(c);
            ASSERT_TRUE(h.ok());
            ASSERT_TRUE(op.run(*h).ok()) << op.name;
            took = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
            after = trx5test::Snapshot(c);
            std::filesystem::remove_all(c);
            std::filesystem::remove_all(x);
        }
        for (int percent : {5, 25, 50, 75, 95}) {
            const auto delay = took * percent / 100;
            SCOPED_TRACE(std::string(op.name) + ", killed after " + std::to_string(delay.count()) +
                         " us");
            const std::string c = fresh(), x = fresh();
            struct Cleanup {
                std::string a, b;
                ~Cleanup() {
                    std::filesystem::remove_all(a);
                    std::filesystem::remove_all(b);
                }
            } cleanup{c, x};
            setenv("XDG_DATA_HOME", x.c_str(), 1);
            MakeCard(c, kBlocks);
            const Files before = trx5test::Snapshot(c);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                auto h = trx5::TakeHistory::Open(c);
                if (!h) _exit(2);
                _exit(op.run(*h).ok() ? 0 : 1);
            }
            std::this_thread::sleep_for(delay);
            kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            if (WIFEXITED(status)) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
            }

            auto history = trx5::TakeHistory::Open(c);
            ASSERT_TRUE(history.ok()) << history.Describe();
            // Stray files of the killed run are cleared when the next one
            // opens the card's history.
            const Files now = trx5test::Snapshot(c);
            EXPECT_EQ(TempFilesIn(now), std::vector<std::string>());
            std::set<std::string> names;
            for (const auto& [n, b] : before) names.insert(n);
            for (const auto& [n, b] : after) names.insert(n);
            for (const std::string& name : names) {
                const auto was = before.find(name);
                const auto will = after.find(name);
                const auto is = now.find(name);
                const bool old = (is == now.end()) == (was == before.end()) &&
                                 (is == now.end() || is->second == was->second);
                const bool fresh = (is == now.end()) == (will == after.end()) &&
                                   (is == now.end() || is->second == will->second);
                EXPECT_TRUE(old || fresh) << name << " is neither old nor new";
            }
            ExpectNothingLost(before, now, history->folder() + "files/");
            // The next run works on the card.
            EXPECT_TRUE(trx5::CopyTake(*history, At(1, 0, 0), At(1, 3, 3)).ok());
        }
    }
    setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
}

// A swap killed while one take was parked: the next run that opens the
// card's history puts it back where it was, or on where it was going, and
// never over a take.
TEST_F(OrganizeFailure, TakeParkedByAKilledSwapIsPutInPlace) {
    struct Case {
        const char* name;
        bool fromHoldsOther;  // the other take had moved into the parked one's slot
        bool toHoldsTake;     // a take is in the slot the parked one was going to
        const char* expectedIn;
    };
    const Case cases[] = {
        {"not begun", false, true, "00-00.aud"},
        {"half done", true, false, "00-01.aud"},
        {"both slots full", true, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder, x;
        setenv("XDG_DATA_HOME", x.path().c_str(), 1);
        trx5test::MakeMachineFile(folder.path());
        trx5test::MakeSongFile(folder.path(), 0, false);
        const std::string parked = folder / ".trx5swap-99999-00-00.aud-00-01.aud";
        trx5test::WriteRandomTake(parked, 3, 1);
        const Bytes take = trx5test::ReadFile(parked);
        if (c.fromHoldsOther) trx5test::WriteRandomTake(folder / "00-00.aud", 3, 2);
        if (c.toHoldsTake) trx5test::WriteRandomTake(folder / "00-01.aud", 3, 2);
        ASSERT_TRUE(trx5::TakeHistory::Open(folder.path()).ok());
        if (c.expectedIn == nullptr) {
            EXPECT_EQ(trx5test::ReadFile(parked), take);
        } else {
            EXPECT_FALSE(trx5test::FileExists(parked));
            EXPECT_EQ(trx5test::ReadFile(folder / c.expectedIn), take);
        }
    }
    setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
}

}  // namespace
