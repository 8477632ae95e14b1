// Throughput of the take codec and the mix, in samples per second.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "card/take_file.h"
#include "codec/take_codec.h"
#include "codec/track_mix.h"

namespace {

using namespace trx5;

constexpr std::size_t kBlocks = 256;  // 128 KiB of coded blocks: stays in cache

std::vector<std::int16_t> TestSignal(std::size_t count) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 2000.0);
    std::vector<std::int16_t> s(count);
    double phase = 0;
    for (auto& v : s) {
        phase += 0.031;
        v = ClampSample(static_cast<std::int32_t>(12000 * std::sin(phase) + noise(rng)));
    }
    return s;
}

std::vector<std::uint8_t> CodedBlocks(bool longMode) {
    const auto samples = TestSignal(kBlocks * SamplesPerBlock(longMode));
    std::vector<std::uint8_t> blocks(kBlocks * kTakeBlockSize);
    EncodeTakeBlocks(blocks.data(), samples.data(), kBlocks, longMode);
    return blocks;
}

void BM_DecodeTakeBlock(benchmark::State& state) {
    const bool longMode = state.range(0) != 0;
    const auto blocks = CodedBlocks(longMode);
    std::vector<std::int16_t> out(kBlocks * SamplesPerBlock(longMode));
    for (auto _ : state) {
        for (std::size_t b = 0; b < kBlocks; ++b) {
            DecodeTakeBlock(&blocks[b * kTakeBlockSize], &out[b * SamplesPerBlock(longMode)],
                            longMode);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * out.size());
    state.SetLabel(longMode ? "LONG" : "HiFi");
}

void BM_DecodeTakeBlocks(benchmark::State& state) {
    const bool longMode = state.range(0) != 0;
    const auto blocks = CodedBlocks(longMode);
    std::vector<std::int16_t> out(kBlocks * SamplesPerBlock(longMode));
    for (auto _ : state) {
        DecodeTakeBlocks(blocks.data(), out.data(), kBlocks, longMode);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * out.size());
    state.SetLabel(longMode ? "LONG" : "HiFi");
}

void BM_EncodeTakeBlock(benchmark::State& state) {
    const bool longMode = state.range(0) != 0;
    const auto samples = TestSignal(kBlocks * SamplesPerBlock(longMode));
    std::vector<std::uint8_t> blocks(kBlocks * kTakeBlockSize);
    for (auto _ : state) {
        for (std::size_t b = 0; b < kBlocks; ++b) {
            EncodeTakeBlock(&blocks[b * kTakeBlockSize], &samples[b * SamplesPerBlock(longMode)],
                            longMode);
        }
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
    state.SetLabel(longMode ? "LONG" : "HiFi");
}

void BM_EncodeTakeBlocks(benchmark::State& state) {
    const bool longMode = state.range(0) != 0;
    const auto samples = TestSignal(kBlocks * SamplesPerBlock(longMode));
    std::vector<std::uint8_t> blocks(kBlocks * kTakeBlockSize);
    for (auto _ : state) {
        EncodeTakeBlocks(blocks.data(), samples.data(), kBlocks, longMode);
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
    state.SetLabel(longMode ? "LONG" : "HiFi");
}

void BM_MixTrackBlock(benchmark::State& state) {
    const auto samples = TestSignal(kHiFiSamplesPerBlock);
    std::vector<std::int16_t> stereo(2 * kHiFiSamplesPerBlock);
    for (auto _ : state) {
        std::fill(stereo.begin(), stereo.end(), 0);
        for (int t = 0; t < 4; ++t) {
            MixTrackBlock(stereo.data(), samples.data(), kHiFiSamplesPerBlock, 90 + t, 20 + 20 * t);
        }
        benchmark::DoNotOptimize(stereo.data());
    }
    // Track samples mixed per second.
    state.SetItemsProcessed(state.iterations() * 4 * kHiFiSamplesPerBlock);
}

void BM_MixBlockFourTracks(benchmark::State& state) {
    const auto samples = TestSignal(4 * kHiFiSamplesPerBlock);
    std::vector<std::int16_t> stereo(2 * kHiFiSamplesPerBlock);
    MixInput inputs[4];
    for (int t = 0; t < 4; ++t)
        inputs[t] = {&samples[t * kHiFiSamplesPerBlock], 90 + t, 20 + 20 * t};
    for (auto _ : state) {
        MixBlock(stereo.data(), inputs, 4, kHiFiSamplesPerBlock);
        benchmark::DoNotOptimize(stereo.data());
    }
    state.SetItemsProcessed(state.iterations() * 4 * kHiFiSamplesPerBlock);
}

BENCHMARK(BM_DecodeTakeBlock)->Arg(0)->Arg(1);
BENCHMARK(BM_DecodeTakeBlocks)->Arg(0)->Arg(1);
BENCHMARK(BM_EncodeTakeBlock)->Arg(0)->Arg(1);
BENCHMARK(BM_EncodeTakeBlocks)->Arg(0)->Arg(1);
BENCHMARK(BM_MixTrackBlock);
BENCHMARK(BM_MixBlockFourTracks);

}  // namespace
