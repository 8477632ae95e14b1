// Stems of a song with 32 ten-minute HiFi takes, beside the time it takes
// merely to read the take files and write files of the stems' sizes, timed
// in the same iterations so that the disk's mood affects them alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "convert/stems.h"

namespace {

using namespace trx5;

constexpr int kTakeSeconds = 600;
constexpr int kTakes = kTracks * kVTakes;
constexpr std::uint64_t kWavHeaderBytes = 46;

void WriteAll(const std::string& path, const void* bytes, std::size_t count) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes, 1, count, f) != count || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// A card folder with one HiFi song whose every slot holds a take.
struct Card {
    std::string folder;
    std::vector<std::string> takes;
    std::uint64_t blocks = 0;  // per take

    Card() {
        char tmpl[] = "/tmp/trx5stems-XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        std::vector<std::uint8_t> info(512, 0);
        std::memcpy(info.data(), kMachineSignature, std::strlen(kMachineSignature));
        WriteAll(folder + kMachineFileName, info.data(), info.size());
        std::fill(info.begin(), info.end(), 0);
        std::memcpy(info.data(), kSongSignature, std::strlen(kSongSignature));
        WriteAll(folder + "UtyPrm00.tx5", info.data(), info.size());

        blocks = kTakeSeconds * 32000 / kHiFiSamplesPerBlock;
        std::vector<std::int16_t> samples(blocks * kHiFiSamplesPerBlock);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] =
                static_cast<std::int16_t>(9000 * std::sin(i * 0.002) + 2000 * std::sin(i * 0.31));
        }
        const TakeHeader header = MakeTakeHeader(false);
        std::vector<std::uint8_t> file(header.begin(), header.end());
        file.resize(kTakeHeaderSize + blocks * kTakeBlockSize);
        EncodeTakeBlocks(file.data() + kTakeHeaderSize, samples.data(), blocks, false);
        for (int t = 0; t < kTracks; ++t) {
            for (int v = 0; v < kVTakes; ++v) {
                takes.push_back(folder + TakeFileName(0, t, v));
                WriteAll(takes.back(), file.data(), file.size());
            }
        }
    }
    ~Card() { std::filesystem::remove_all(folder); }

    std::uint64_t StemBytes() const { return kWavHeaderBytes + blocks * kHiFiSamplesPerBlock * 2; }
};

Card& SharedCard() {
    static Card card;
    return card;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The floor: read every take in the export's batches of 32 blocks and write
// a file of its stem's size; `durable` puts each file on the device, as each
// stem is before it takes its name.
double ReadTakesWriteStemSizes(const Card& card, const std::string& folder, bool durable) {
    std::filesystem::create_directories(folder);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> in(32 * kTakeBlockSize);
    const std::vector<std::uint8_t> out(32 * kHiFiSamplesPerBlock * 2, 0x55);
    int n = 0;
    for (const std::string& take : card.takes) {
        std::FILE* f = std::fopen(take.c_str(), "rb");
        std::FILE* o = std::fopen((folder + std::to_string(n++) + ".raw").c_str(), "wb");
        std::uint64_t written = 0;
        while (written < card.StemBytes()) {
            benchmark::DoNotOptimize(std::fread(in.data(), 1, in.size(), f));
            const std::size_t bytes =
                std::min<std::uint64_t>(out.size(), card.StemBytes() - written);
            std::fwrite(out.data(), 1, bytes, o);
            written += bytes;
        }
        std::fflush(o);
        if (durable) fsync(fileno(o));
        std::fclose(o);
        std::fclose(f);
    }
    const double seconds = SecondsSince(start);
    std::filesystem::remove_all(folder);
    return seconds;
}

void BM_StemsOf32TenMinuteTakes(benchmark::State& state) {
    Card& card = SharedCard();
    StemsRequest request;
    request.cardDir = card.folder;
    request.fileNumber = 0;
    request.outputFolder = card.folder + "stems";
    // Every iteration writes over the last one's files.
    request.replaceExisting = true;
    const std::string floorFolder = card.folder + "floor/";
    NoProgress progress;
    double stemSeconds = 0;
    double floorSeconds = 0;
    double cachedFloorSeconds = 0;
    for (auto _ : state) {
        // Every timed part starts with nothing left to write back.
        sync();
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> written;
        const Result<StemsOutcome> outcome = ExportStems(request, progress, written);
        const double seconds = SecondsSince(start);
        if (!outcome.ok() || written.size() != kTakes) {
            state.SkipWithError(outcome.Describe().c_str());
            break;
        }
        state.SetIterationTime(seconds);
        stemSeconds += seconds;
        std::filesystem::remove_all(request.outputFolder);
        sync();
        floorSeconds += ReadTakesWriteStemSizes(card, floorFolder, true);
        sync();
        cachedFloorSeconds += ReadTakesWriteStemSizes(card, floorFolder, false);
    }
    sync();
    const double iterations = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floorSeconds * 1000 / iterations;
    state.counters["ratio"] = floorSeconds > 0 ? stemSeconds / floorSeconds : 0;
    // Beside a floor that leaves its files in the page cache.
    state.counters["cached_floor_ms"] = cachedFloorSeconds * 1000 / iterations;
    state.counters["cached_ratio"] = cachedFloorSeconds > 0 ? stemSeconds / cachedFloorSeconds : 0;
    state.counters["takes_MB"] =
        double(kTakes) * double(kTakeHeaderSize + card.blocks * kTakeBlockSize) / 1e6;
    state.counters["stems_MB"] = double(kTakes) * double(card.StemBytes()) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTakes *
                            static_cast<std::int64_t>(card.StemBytes()));
}

BENCHMARK(BM_StemsOf32TenMinuteTakes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

}  // namespace
