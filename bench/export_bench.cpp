// End-to-end export of four 10-minute HiFi takes to a stereo WAV, beside the
// time it takes merely to read the four take files and write a file of the
// output's size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "codec/take_codec.h"
#include "convert/export.h"

namespace {

using namespace trx5;

constexpr int kTakeSeconds = 600;

struct Takes {
    std::string folder;
    std::array<std::string, kTracks> paths;
    std::uint64_t outputBytes = 0;

    Takes() {
        char tmpl[] = "/tmp/trx5bench-XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        const std::size_t blocks = kTakeSeconds * 32000 / kHiFiSamplesPerBlock;
        std::vector<std::int16_t> samples(blocks * kHiFiSamplesPerBlock);
        std::vector<std::uint8_t> coded(blocks * kTakeBlockSize);
        for (int t = 0; t < kTracks; ++t) {
            for (std::size_t i = 0; i < samples.size(); ++i) {
                samples[i] = static_cast<std::int16_t>(9000 * std::sin(i * 0.002 * (t + 1)) +
                                                       2000 * std::sin(i * 0.31 * (t + 2)));
            }
            EncodeTakeBlocks(coded.data(), samples.data(), blocks, false);
            paths[t] = folder + TakeFileName(0, t, 0);
            std::FILE* f = std::fopen(paths[t].c_str(), "wb");
            const TakeHeader header = MakeTakeHeader(false);
            std::fwrite(header.data(), 1, header.size(), f);
            std::fwrite(coded.data(), 1, coded.size(), f);
            std::fclose(f);
        }
        outputBytes = kWavHeaderSizeBytes + blocks * kHiFiSamplesPerBlock * 4;
    }
    ~Takes() { std::filesystem::remove_all(folder); }

    static constexpr std::uint64_t kWavHeaderSizeBytes = 46;
};

Takes& SharedTakes() {
    static Takes takes;
    return takes;
}

void BM_ExportFourTakesStereoWav(benchmark::State& state) {
    Takes& takes = SharedTakes();
    ExportRequest request;
    request.takePaths = takes.paths;
    request.levels = {100, 90, 110, 100};
    request.pans = {20, 80, 50, 35};
    request.outputPath = takes.folder + "mix.wav";
    NoProgress progress;
    for (auto _ : state) {
        const auto result = ExportTakes(request, progress);
        if (!result) state.SkipWithError(result.message().c_str());
    }
    state.SetBytesProcessed(state.iterations() * takes.outputBytes);
}

// The floor: read the four takes in the same block batches and write a file
// of the output's size, with no decoding or mixing.
void BM_ReadTakesWriteOutputSize(benchmark::State& state) {
    Takes& takes = SharedTakes();
    const std::string out = takes.folder + "copy.raw";
    std::vector<std::uint8_t> in(32 * kTakeBlockSize);
    std::vector<std::uint8_t> buffer(32 * kHiFiSamplesPerBlock * 4, 0x55);
    for (auto _ : state) {
        std::FILE* files[4];
        for (int t = 0; t < 4; ++t) files[t] = std::fopen(takes.paths[t].c_str(), "rb");
        std::FILE* o = std::fopen(out.c_str(), "wb");
        std::uint64_t written = 0;
        while (written < takes.outputBytes) {
            for (std::FILE* f : files)
                benchmark::DoNotOptimize(std::fread(in.data(), 1, in.size(), f));
            const std::size_t n =
                std::min<std::uint64_t>(buffer.size(), takes.outputBytes - written);
            std::fwrite(buffer.data(), 1, n, o);
            written += n;
        }
        std::fclose(o);
        for (std::FILE* f : files) std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * takes.outputBytes);
}

BENCHMARK(BM_ExportFourTakesStereoWav)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadTakesWriteOutputSize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
