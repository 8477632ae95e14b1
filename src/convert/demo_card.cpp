#include "convert/demo_card.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <vector>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "common/folder.h"
#include "convert/convert_messages.h"

namespace trx5 {

namespace {

using Synth = std::function<double(double t)>;  // seconds -> -1..1

// A failure of the demo card concerning `path`.
Status DemoFailure(ErrorCode code, const std::string& path, const char* reason) {
    return Status::Fail(code, kMsgDemoFailed, reason).WithPath(path);
}

Status WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return DemoFailure(ErrorCode::CannotCreate, path, kReasonDemoCannotCreate);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? Status::Ok() : DemoFailure(ErrorCode::CannotWrite, path, kReasonDemoCannotWrite);
}

std::vector<std::uint8_t> InfoFile(const char* signature, std::size_t size) {
    std::vector<std::uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), signature, std::strlen(signature));
    return bytes;
}

Status WriteSongFile(const std::string& folder, int fileNumber, bool longMode) {
    std::vector<std::uint8_t> bytes = InfoFile(kSongSignature, 512);
    bytes[kSongModeOffset] = longMode ? 1 : 0;
    char name[16];
    std::snprintf(name, sizeof name, "UtyPrm%02d.tx5", fileNumber);
    return WriteAll(folder + name, bytes);
}

Status WriteTake(const std::string& folder, int fileNumber, int track, int vtake, bool longMode,
                 double seconds, const Synth& synth) {
    const int spb = SamplesPerBlock(longMode);
    const double rate = SampleRate(longMode);
    const auto blocks = static_cast<std::size_t>(seconds * rate / spb);
    const TakeHeader header = MakeTakeHeader(longMode);
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.resize(header.size() + blocks * kTakeBlockSize);
    std::vector<std::int16_t> samples(blocks * spb);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double v = std::clamp(synth(double(i) / rate), -1.0, 1.0);
        samples[i] = static_cast<std::int16_t>(std::lround(v * 12000.0));
    }
    EncodeTakeBlocks(bytes.data() + header.size(), samples.data(), blocks, longMode);
    return WriteAll(folder + TakeFileName(fileNumber, track, vtake), bytes);
}

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double Note(double t, double hz) { return std::sin(kTwoPi * hz * t); }

// A plucked tone: quick attack, exponential decay, restarting every beat.
double Pluck(double t, double hz, double beat) {
    const double local = std::fmod(t, beat);
    return Note(local, hz) * std::exp(-local * 6.0) * std::min(1.0, local * 400.0);
}

// Drums from a deterministic noise source: kick on beats, hat on off-beats.
double Drums(double t, double beat) {
    const double local = std::fmod(t, beat);
    const double kick =
        std::sin(kTwoPi * (55.0 + 90.0 * std::exp(-local * 30.0)) * local) * std::exp(-local * 9.0);
    const double half = std::fmod(t + beat / 2, beat);
    const auto n = static_cast<std::uint32_t>(t * 32000.0);
    const double noise = double((n * 1103515245u + 12345u) >> 16 & 0x7FFF) / 16384.0 - 1.0;
    const double hat = noise * std::exp(-half * 60.0) * 0.35;
    return 0.8 * kick + hat;
}

}  // namespace

Status MakeDemoCard(const std::string& folderPath) {
    std::error_code ec;
    // Never write over what is there: a card already in the folder would
    // lose its songs.
    if (std::filesystem::exists(folderPath, ec) &&
        !(std::filesystem::is_directory(folderPath, ec) &&
          std::filesystem::is_empty(folderPath, ec) && !ec)) {
        return DemoFailure(ErrorCode::Exists, folderPath, kReasonDemoFolderInUse);
    }
    std::filesystem::create_directories(folderPath, ec);
    if (ec) {
        return DemoFailure(ErrorCode::CannotCreate, folderPath, kReasonDemoFolderCannotBeMade);
    }
    const std::string folder = WithTrailingSlash(folderPath);

    if (Status s = WriteAll(folder + kMachineFileName, InfoFile(kMachineSignature, 512)); !s) {
        return s;
    }
    const double beat = 0.5;  // 120 beats per minute
    const double chord[] = {261.63, 329.63, 392.00};
    struct TakeSpec {
        int fileNumber, track, vtake;
        bool longMode;
        double seconds;
        Synth synth;
    };
    const std::vector<TakeSpec> takes = {
        // Song 01 (HiFi): bass, chords, drums, melody, and a second bass take.
        {0, 0, 0, false, 8.0,
         [&](double t) { return 0.8 * Pluck(t, 55.0 * (1 + (int(t / 2) % 2) * 0.5), beat); }},
        {0, 0, 1, false, 4.0, [&](double t) { return 0.7 * Pluck(t, 82.41, beat / 2); }},
        {0, 1, 0, false, 8.0,
         [&](double t) {
             double v = 0;
             for (double hz : chord) v += Note(t, hz) * 0.25;
             return v * (0.6 + 0.4 * std::sin(kTwoPi * 0.25 * t));
         }},
        {0, 2, 0, false, 6.0, [&](double t) { return Drums(t, beat); }},
        {0, 3, 2, false, 5.0,
         [&](double t) {
             static const double melody[] = {523.25, 587.33, 659.25, 783.99, 659.25, 587.33};
             return 0.6 * Pluck(t, melody[int(t / beat) % 6], beat);
         }},
        // Song 02 (LONG): a slow pad and a click track.
        {1, 0, 0, true, 10.0,
         [&](double t) { return 0.5 * Note(t, 220.0) + 0.3 * Note(t, 330.0); }},
        {1, 1, 3, true, 6.0, [&](double t) { return Pluck(t, 1000.0, 1.0); }},
    };
    for (int song = 0; song < 2; ++song) {
        if (Status s = WriteSongFile(folder, song, song == 1); !s) return s;
    }
    for (const TakeSpec& take : takes) {
        if (Status s = WriteTake(folder, take.fileNumber, take.track, take.vtake, take.longMode,
                                 take.seconds, take.synth);
            !s) {
            return s;
        }
    }
    return Status::Ok();
}

}  // namespace trx5
