// Rescue of a 1 GiB card image beside reading the image once the way `cat`
// does (128 KiB reads). Two images in /var/tmp, read from the page cache:
// random bytes, where nothing is to be found and the rescue is a scan, and
// one full of takes, where the carving is timed without the writing. Each
// run is timed by the wall clock, with nothing dirty left to write before it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "codec/take_codec.h"
#include "rescue/carver.h"
#include "rescue/rescue_output.h"
#include "rescue/sector_reader.h"

namespace {

using namespace trx5;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kImageBytes = std::uint64_t{1} << 30;

std::string Folder() {
    static const std::string folder = [] {
        char pattern[] = "/var/tmp/trx5-rescue-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made ? made : "/var/tmp") + "/";
    }();
    return folder;
}

void WriteImage(const std::string& path, bool takes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::mt19937_64 rng(7);
    std::vector<std::uint8_t> chunk(std::size_t{4} << 20);
    std::vector<std::int16_t> samples;
    for (std::uint64_t done = 0; done < kImageBytes; done += chunk.size()) {
        if (takes) {
            // 4 MiB takes of a tone and a little noise, HiFi and LONG in turn.
            const bool longMode = (done / chunk.size()) % 2 == 1;
            const std::size_t blocks = chunk.size() / 512 - 1;
            samples.resize(blocks * SamplesPerBlock(longMode));
            std::normal_distribution<double> noise(0.0, 200.0);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                samples[i] =
                    ClampSample(std::int32_t(9000.0 * std::sin(double(i) * 0.02) + noise(rng)));
            }
            const TakeHeader h = MakeTakeHeader(longMode);
            std::copy(h.begin(), h.end(), chunk.begin());
            EncodeTakeBlocks(chunk.data() + 512, samples.data(), blocks, longMode);
        } else {
            for (std::size_t i = 0; i < chunk.size(); i += 8) {
                const std::uint64_t r = rng();
                std::memcpy(chunk.data() + i, &r, 8);
            }
        }
        std::fwrite(chunk.data(), 1, chunk.size(), f);
    }
    std::fclose(f);
}

const std::string& Image(bool takes) {
    static std::string paths[2];
    std::string& path = paths[takes];
    if (path.empty()) {
        path = Folder() + (takes ? "takes.img" : "random.img");
        WriteImage(path, takes);
    }
    return path;
}

// What `cat IMAGE > /dev/null` does: 128 KiB reads from start to end.
void ReadOnce(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(128 * 1024);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

void BM_ReadImageOnce(benchmark::State& state) {
    const std::string& path = Image(state.range(0) != 0);
    ReadOnce(path);  // into the page cache
    for (auto _ : state) {
        const auto start = Clock::now();
        ReadOnce(path);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * kImageBytes));
}

// The whole rescue of the random image into a new folder: the file system
// looked for, every sector scanned, the report written.
void BM_RescueRandomImage(benchmark::State& state) {
    const std::string& path = Image(false);
    ReadOnce(path);
    int run = 0;
    for (auto _ : state) {
        const std::string out = Folder() + "out-" + std::to_string(run++);
        // The rescue syncs its folder's file system at its end: nothing else
        // is left to write there when it starts.
        ::sync();
        const auto start = Clock::now();
        auto source = OpenByteSource(path);
        RetryingSectorReader reader(**source);
        auto result = RescueToFolder(reader, out);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!result || !result->takes.empty()) state.SkipWithError("takes found in random bytes");
        std::filesystem::remove_all(out);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * kImageBytes));
}

// Carving the image full of takes: every block checked.
void BM_CarveTakeImage(benchmark::State& state) {
    const std::string& path = Image(true);
    ReadOnce(path);
    for (auto _ : state) {
        const auto start = Clock::now();
        auto source = OpenByteSource(path);
        RetryingSectorReader reader(**source);
        const CarveOutcome out = Carve(reader);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["takes"] = double(out.items.size());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * kImageBytes));
}

BENCHMARK(BM_ReadImageOnce)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_RescueRandomImage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CarveTakeImage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

struct Cleanup {
    ~Cleanup() { std::filesystem::remove_all(Folder()); }
} cleanup;

}  // namespace
