// Import of a 10-minute 44.1 kHz stereo FLAC file into two HiFi takes, rate
// conversion included, as a multiple of real time; beside it, in the same
// run, sox converting the same file to a 32 kHz WAV, and the floor: merely
// decoding the file.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audiofile/audio_source.h"
#include "convert/import.h"

namespace {

using namespace trx5;
using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 600;
constexpr int kRate = 44100;

// The FLAC file, made once with libsndfile from a sum of sines with a
// little noise, so the encoder and the decoder have work to do.
struct FlacFile {
    std::string folder;
    std::string path;

    FlacFile() {
        char tmpl[] = "/tmp/trx5bench-import-XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        path = folder + "song.flac";
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        if (sf == nullptr) std::abort();
        std::vector<short> block(2 * 4410);
        std::uint32_t noise = 1;
        for (std::size_t at = 0; at < std::size_t(kSeconds) * kRate; at += 4410) {
            for (std::size_t i = 0; i < 4410; ++i) {
                const double t = double(at + i) / kRate;
                for (int c = 0; c < 2; ++c) {
                    noise = noise * 1664525u + 1013904223u;
                    const double v = 9000 * std::sin(2 * M_PI * (220 + 110 * c) * t) +
                                     5000 * std::sin(2 * M_PI * (1250 + 300 * c) * t) +
                                     3000 * std::sin(2 * M_PI * 4400 * t) + double(noise >> 22) -
                                     512;
                    block[2 * i + std::size_t(c)] = short(std::lround(v));
                }
            }
            sf_writef_short(sf, block.data(), 4410);
        }
        sf_close(sf);
    }
    ~FlacFile() { std::filesystem::remove_all(folder); }
};

FlacFile& SharedFlac() {
    static FlacFile file;
    return file;
}

// Times each iteration itself and reports the speed as a multiple of the
// file's playing time.
template <typename Work>
void RunTimed(benchmark::State& state, Work work) {
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!work()) {
            state.SkipWithError("the work failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["x_real_time"] = kSeconds * double(state.iterations()) / total;
}

void BM_ImportFlacIntoTwoHiFiTakes(benchmark::State& state) {
    FlacFile& flac = SharedFlac();
    const std::string card = flac.folder + "card/";
    std::filesystem::create_directories(card);
    ImportRequest request;
    request.sourcePath = flac.path;
    request.cardDir = card;
    request.first = {0, 0};
    request.second = TakeSlot{1, 0};
    NoProgress progress;
    RunTimed(state, [&] { return ImportTakes(request, progress).ok(); });
}

void BM_SoxConvertFlacTo32kWav(benchmark::State& state) {
    FlacFile& flac = SharedFlac();
    const std::string command = "sox '" + flac.path + "' -r 32000 '" + flac.folder + "out.wav'";
    RunTimed(state, [&] { return std::system(command.c_str()) == 0; });
}

// The floor: decoding the FLAC file to 16-bit frames, nothing else.
void BM_DecodeFlacOnly(benchmark::State& state) {
    FlacFile& flac = SharedFlac();
    std::vector<std::int16_t> frames(2 * 16 * 1024);
    RunTimed(state, [&] {
        auto source = AudioSource::Open(flac.path);
        if (!source) return false;
        while (source.value()->Read(frames.data(), 16 * 1024) > 0) {
        }
        return true;
    });
}

BENCHMARK(BM_ImportFlacIntoTwoHiFiTakes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_SoxConvertFlacTo32kWav)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DecodeFlacOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
