// Backup of a 1 GiB card (a hundred takes of about 10 MiB) into a fresh
// folder, beside `cp` of the same files followed by `sync`: the backup puts
// every file on the device before it takes its real name, so `cp` + `sync`
// is the floor it is measured against. Both are timed by the wall clock.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/card_copy.h"
#include "card/card_info.h"
#include "card/take_file.h"

namespace {

using namespace trx5;

constexpr int kTakes = 100;
constexpr std::uint64_t kCardBytes = std::uint64_t{1} << 30;

struct BenchCard {
    std::string root;  // ends with "/"
    std::string card;
    std::uint64_t bytes = 0;

    BenchCard() {
        char tmpl[] = "/tmp/trx5bench-backup-XXXXXX";
        root = std::string(mkdtemp(tmpl)) + "/";
        card = root + "card/";
        std::filesystem::create_directory(card);
        std::vector<char> block(512, 0);
        std::snprintf(block.data(), block.size(), "%s", kMachineSignature);
        Write(card + kMachineFileName, block, 1);
        for (int song = 0; song < kTakes / 4; ++song) {
            std::snprintf(block.data(), block.size(), "%s", kSongSignature);
            char name[32];
            std::snprintf(name, sizeof name, "UtyPrm%02d.tx5", song);
            Write(card + name, block, 1);
        }
        // Takes of whole 512-byte blocks that fill the card's size; the
        // bytes vary so that no layer can compress them away.
        const std::size_t takeBlocks = kCardBytes / kTakes / 512;
        std::vector<char> chunk(1 << 20);
        std::uint32_t x = 1;
        for (int n = 0; n < kTakes; ++n) {
            for (char& c : chunk) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
            Write(card + TakeFileName(n / 4, n % 4, 0), chunk, takeBlocks * 512);
        }
        Run("sync");
    }
    ~BenchCard() { std::filesystem::remove_all(root); }

    void Write(const std::string& path, const std::vector<char>& pattern, std::size_t size) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        for (std::size_t left = size; left > 0;) {
            const std::size_t n = std::min(left, pattern.size());
            std::fwrite(pattern.data(), 1, n, f);
            left -= n;
        }
        std::fclose(f);
        bytes += size;
    }

    static void Run(const std::string& command) {
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
};

BenchCard& SharedCard() {
    static BenchCard card;
    return card;
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Sets the peak back to the memory in use now, so that the growth measured
// is the backup's and not hidden by an earlier peak (the setup's).
void ResetPeakRss() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

void BM_BackupCard(benchmark::State& state) {
    BenchCard& card = SharedCard();
    const std::string backup = card.root + "backup";
    const std::string copy = card.root + "copy";
    CopyRequest request{card.card, {kCardFilePatterns.begin(), kCardFilePatterns.end()}, backup};
    double backupSeconds = 0;
    double cpSeconds = 0;
    long rssGrowth = 0;
    for (auto _ : state) {
        // Each run starts with no destination and nothing dirty to write.
        std::filesystem::remove_all(backup);
        std::filesystem::remove_all(copy);
        BenchCard::Run("sync");

        ResetPeakRss();
        const long rssBefore = PeakRssKiB();
        auto start = std::chrono::steady_clock::now();
        NoCopyProgress progress;
        const auto result = CopyFiles(request, progress);
        const double seconds = Seconds(start);
        rssGrowth = std::max(rssGrowth, PeakRssKiB() - rssBefore);
        if (!result || result->bytesCopied != card.bytes) {
            state.SkipWithError(result ? "not every byte copied" : result.Describe().c_str());
            break;
        }
        state.SetIterationTime(seconds);
        backupSeconds += seconds;

        start = std::chrono::steady_clock::now();
        BenchCard::Run("mkdir " + copy + " && cp " + card.card + "*.tx5 " + card.card + "*.aud " +
                       copy + "/ && sync");
        cpSeconds += Seconds(start);
    }
    std::filesystem::remove_all(backup);
    std::filesystem::remove_all(copy);
    const double runs = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * card.bytes));
    state.counters["backup_s"] = backupSeconds / runs;
    state.counters["cp_sync_s"] = cpSeconds / runs;
    state.counters["ratio"] = backupSeconds / cpSeconds;
    state.counters["rss_growth_KiB"] = static_cast<double>(rssGrowth);
}

BENCHMARK(BM_BackupCard)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
