// Moving and copying a 100 MB take on the card beside the system's own
// tools on the same file: MoveTake and the undo of a move beside a bare
// rename(2), CopyTake beside `cp` (and `cp` followed by `sync` of the copy,
// since CopyTake puts the copy on the device before it takes its name). The
// card is on a real file system (/var/tmp), its history in a sibling folder;
// where /dev/shm exists, a second card there has its history on the disk, so
// that every move crosses file systems between card and history. Each
// operation is timed by the wall clock, with nothing dirty left to write
// before it; the label names the file systems.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "card/card_info.h"
#include "card/take_file.h"
#include "organize/take_organizer.h"

extern char** environ;

namespace {

using namespace trx5;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kTakeBytes = 512 + std::size_t{195'312} * 512;  // 100 MB

const TakePlace kFrom{0, {0, 0}};
const TakePlace kTo{0, {1, 0}};

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// Runs a program with its arguments and waits for it; false unless it
// exits with 0.
bool Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FileSystemName(const std::string& folder) {
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) != 0) return "unknown";
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0xEF53:
            return "ext4";
        case 0x01021994:
            return "tmpfs";
        case 0x9123683E:
            return "btrfs";
        case 0x58465342:
            return "xfs";
        case 0x794C7630:
            return "overlayfs";
        case 0x4D44:
            return "vfat";
        case 0x2011BAB0:
            return "exfat";
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(fs.f_type));
    return hex;
}

// A card with one HiFi song and a 100 MB take in 1-1, and its history.
struct BenchCard {
    std::string root;     // removed at the end
    std::string card;     // ends with "/"
    std::string history;  // ends with "/"
    std::string label;
    std::unique_ptr<TakeHistory> takes;

    // The card under `cardBase` (/var/tmp or /dev/shm), the history under
    // /var/tmp.
    explicit BenchCard(const std::string& cardBase) {
        char tmpl[] = "/var/tmp/trx5bench-organize-XXXXXX";
        root = std::string(mkdtemp(tmpl)) + "/";
        history = root + "history/";
        if (cardBase == "/var/tmp") {
            card = root + "card/";
        } else {
            std::string shm = cardBase + "/trx5bench-organize-XXXXXX";
            cardRoot = std::string(mkdtemp(shm.data())) + "/";
            card = cardRoot + "card/";
        }
        std::filesystem::create_directories(card);
        std::vector<char> block(512, 0);
        std::snprintf(block.data(), block.size(), "%s", kMachineSignature);
        Write(card + kMachineFileName, block, 512);
        std::fill(block.begin(), block.end(), 0);
        std::snprintf(block.data(), block.size(), "%s", kSongSignature);
        Write(card + "UtyPrm00.tx5", block, 512);
        // Bytes that vary, so that no layer can compress them away.
        std::vector<char> chunk(1 << 20);
        std::uint32_t x = 1;
        for (char& c : chunk) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
        Write(Path(kFrom), chunk, kTakeBytes);
        auto opened = TakeHistory::OpenFolder(card, history);
        if (!opened) std::abort();
        takes = std::make_unique<TakeHistory>(std::move(*opened));
        label = "card " + FileSystemName(card) + ", history " + FileSystemName(history);
        Run({"/bin/sync"});
    }
    ~BenchCard() {
        takes.reset();
        std::filesystem::remove_all(root);
        if (!cardRoot.empty()) std::filesystem::remove_all(cardRoot);
    }

    std::string Path(TakePlace place) const {
        return card + TakeFileName(place.fileNumber, place.slot.track, place.slot.vtake);
    }

    static void Write(const std::string& path, const std::vector<char>& pattern, std::size_t size) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) std::abort();
        for (std::size_t left = size; left > 0;) {
            const std::size_t n = std::min(left, pattern.size());
            std::fwrite(pattern.data(), 1, n, f);
            left -= n;
        }
        std::fclose(f);
    }

    std::string cardRoot;  // the card's own root when not under `root`
};

// The card on the disk (0) or in /dev/shm (1); none when there is no
// /dev/shm.
BenchCard* SharedCard(std::int64_t variant) {
    static BenchCard disk("/var/tmp");
    if (variant == 0) return &disk;
    struct stat st {};
    if (stat("/dev/shm", &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    static BenchCard shm("/dev/shm");
    return &shm;
}

// Times `operation` on the card's history, after the untimed `before`,
// beside a rename(2) of the take from 1-1 to 2-1; the take goes back to 1-1
// after each. history_bytes stays 0 when no byte was copied.
void VersusRename(benchmark::State& state, const std::string& counter,
                  const std::function<Status(TakeHistory&)>& before,
                  const std::function<Status(TakeHistory&)>& operation) {
    BenchCard* card = SharedCard(state.range(0));
    if (card == nullptr) return state.SkipWithError("no /dev/shm");
    const std::string from = card->Path(kFrom);
    const std::string to = card->Path(kTo);
    double seconds = 0;
    double renameSeconds = 0;
    for (auto _ : state) {
        if (Status s = before(*card->takes); !s) return state.SkipWithError(s.Describe().c_str());
        auto start = Clock::now();
        const Status done = operation(*card->takes);
        const double taken = Seconds(start);
        if (!done) return state.SkipWithError(done.Describe().c_str());
        state.SetIterationTime(taken);
        seconds += taken;
        struct stat st {};
        if (stat(to.c_str(), &st) == 0 && std::rename(to.c_str(), from.c_str()) != 0) {
            return state.SkipWithError("the take could not be put back");
        }

        start = Clock::now();
        const int renamed = std::rename(from.c_str(), to.c_str());
        renameSeconds += Seconds(start);
        if (renamed != 0 || std::rename(to.c_str(), from.c_str()) != 0) {
            return state.SkipWithError("rename failed");
        }
    }
    const double runs = static_cast<double>(state.iterations());
    state.SetLabel(card->label);
    state.counters[counter] = seconds / runs * 1e6;
    state.counters["rename_us"] = renameSeconds / runs * 1e6;
    state.counters["ratio"] = seconds / renameSeconds;
    state.counters["history_bytes"] = static_cast<double>(card->takes->KeptBytes());
}

Status Move(TakeHistory& history) { return MoveTake(history, kFrom, kTo).status(); }

// MoveTake from 1-1 to the free 2-1.
void BM_MoveTake(benchmark::State& state) {
    VersusRename(
        state, "move_us", [](TakeHistory&) { return Status::Ok(); }, Move);
}

// The undo of such a move (the move untimed).
void BM_UndoMove(benchmark::State& state) {
    VersusRename(state, "undo_us", Move, [](TakeHistory& history) { return history.Undo(); });
}

// CopyTake from 1-1 to the free 2-1, beside `cp` of the same file and `cp`
// followed by `sync` of the copy, each from a clean page cache state (the
// source read, nothing dirty).
void BM_CopyTake(benchmark::State& state) {
    BenchCard* card = SharedCard(state.range(0));
    if (card == nullptr) return state.SkipWithError("no /dev/shm");
    const std::string source = card->Path(kFrom);
    const std::string target = card->Path(kTo);
    const std::string cpTarget = card->card + "cp-copy";
    double copySeconds = 0;
    double cpSeconds = 0;
    double cpSyncSeconds = 0;
    for (auto _ : state) {
        Run({"/bin/sync"});
        auto start = Clock::now();
        const auto copied = CopyTake(*card->takes, kFrom, kTo);
        const double seconds = Seconds(start);
        if (!copied) return state.SkipWithError(copied.Describe().c_str());
        state.SetIterationTime(seconds);
        copySeconds += seconds;
        std::remove(target.c_str());

        Run({"/bin/sync"});
        start = Clock::now();
        if (!Run({"/bin/cp", source, cpTarget})) return state.SkipWithError("cp failed");
        cpSeconds += Seconds(start);
        std::remove(cpTarget.c_str());

        Run({"/bin/sync"});
        start = Clock::now();
        if (!Run({"/bin/cp", source, cpTarget}) || !Run({"/bin/sync", cpTarget})) {
            return state.SkipWithError("cp or sync failed");
        }
        cpSyncSeconds += Seconds(start);
        std::remove(cpTarget.c_str());
    }
    const double runs = static_cast<double>(state.iterations());
    state.SetLabel(card->label);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTakeBytes));
    state.counters["copy_ms"] = copySeconds / runs * 1e3;
    state.counters["cp_ms"] = cpSeconds / runs * 1e3;
    state.counters["cp_sync_ms"] = cpSyncSeconds / runs * 1e3;
    state.counters["ratio_cp"] = copySeconds / cpSeconds;
    state.counters["ratio_cp_sync"] = copySeconds / cpSyncSeconds;
}

BENCHMARK(BM_MoveTake)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(50);
BENCHMARK(BM_UndoMove)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(50);
BENCHMARK(BM_CopyTake)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace
