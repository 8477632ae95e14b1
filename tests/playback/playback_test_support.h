// Shared pieces of the playback tests: what the audition should hand to the
// output, worked out from the take files' bytes with the codec and the mixer,
// and the application object the event loop needs.
#pragma once

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "codec/take_codec.h"
#include "codec/track_mix.h"
#include "playback/audition.h"
#include "support/reference_codec.h"
#include "support/test_support.h"

namespace trx5test {

using Knobs = std::array<trx5::TrackKnobs, trx5::kTracks>;

// Block n of every take that still has one (a short last block zero-filled),
// mixed in track order.
class SongMix {
  public:
    // A path that is empty or cannot be read plays no part.
    SongMix(const trx5::Audition::TakePaths& paths, bool longMode) : longMode_(longMode) {
        for (int t = 0; t < trx5::kTracks; ++t) {
            if (!paths[t].empty() && FileExists(paths[t])) takes_[t] = ReadFile(paths[t]);
        }
    }

    std::vector<std::int16_t> Block(int n, const Knobs& knobs) const {
        const int spb = trx5::SamplesPerBlock(longMode_);
        std::vector<std::int16_t> stereo(static_cast<std::size_t>(spb) * 2, 0);
        for (int t = 0; t < trx5::kTracks; ++t) {
            const Bytes& take = takes_[t];
            const std::size_t at = trx5::kTakeHeaderSize + std::size_t(n) * trx5::kTakeBlockSize;
            if (take.size() <= at) continue;
            std::uint8_t block[trx5::kTakeBlockSize] = {};
            std::copy_n(take.begin() + at, std::min(take.size() - at, sizeof block), block);
            const trx5ref::Samples mono = trx5ref::DecodeBlock(block, longMode_);
            trx5ref::MixTrack(stereo.data(), mono.data(), mono.size(), knobs[t].level,
                              knobs[t].pan);
        }
        return stereo;
    }

  private:
    bool longMode_;
    std::array<Bytes, trx5::kTracks> takes_;
};

// The application object the event loop needs, made once for the program.
inline void EnsureCoreApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "playback_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

}  // namespace trx5test
