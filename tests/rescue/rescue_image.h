// Card images built in memory for the rescue tests: takes made by the
// encoder, junk between them, and a source that fails on chosen sectors.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "rescue/sector_reader.h"
#include "support/test_support.h"

namespace trx5test {

// The kinds of sound the takes of the tests hold.
// WhiteNoise (about -30 dB full scale) is the sound whose codes come
// nearest to random bytes.
enum class Sound { Tones, LoudTones, QuietNoise, WhiteNoise };

// The blocks (no header) of a take of `blocks` blocks coded by the encoder.
inline Bytes EncodedBlocks(bool longMode, int blocks, int seed, Sound sound = Sound::Tones) {
    const int spb = trx5::SamplesPerBlock(longMode);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(spb) * blocks);
    std::mt19937 rng(static_cast<unsigned>(seed));
    std::normal_distribution<double> noise(0.0, sound == Sound::WhiteNoise ? 1000.0 : 150.0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i);
        double v = 0;
        switch (sound) {
            case Sound::Tones:
                v = 12000.0 * std::sin(t * 0.01 * (seed + 1)) +
                    3000.0 * std::sin(t * 0.137 * (seed + 2));
                break;
            case Sound::LoudTones:
                v = 20000.0 * std::sin(t * 0.05 * (seed + 1)) + 9000.0 * std::sin(t * 0.31);
                break;
            case Sound::QuietNoise:
            case Sound::WhiteNoise:
                v = noise(rng);
                break;
        }
        samples[i] = trx5::ClampSample(static_cast<std::int32_t>(v));
    }
    Bytes b(static_cast<std::size_t>(blocks) * trx5::kTakeBlockSize);
    trx5::EncodeTakeBlocks(b.data(), samples.data(), blocks, longMode);
    return b;
}

// A whole take: header and blocks.
inline Bytes EncodedTake(bool longMode, int blocks, int seed) {
    const trx5::TakeHeader h = trx5::MakeTakeHeader(longMode);
    Bytes b(h.begin(), h.end());
    const Bytes blockBytes = EncodedBlocks(longMode, blocks, seed);
    b.insert(b.end(), blockBytes.begin(), blockBytes.end());
    return b;
}

// A sector starting with a card file's signature.
inline Bytes SignatureSector(const char* signature, std::uint32_t modeAt116) {
    Bytes b(512, 0);
    std::memcpy(b.data(), signature, std::strlen(signature) + 1);
    for (int i = 0; i < 4; ++i) b[trx5::kSongModeOffset + i] = std::uint8_t(modeAt116 >> (8 * i));
    return b;
}

inline Bytes RandomBytes(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes b(n);
    for (std::size_t i = 0; i < n; i += 8) {
        const std::uint64_t r = rng();
        std::memcpy(b.data() + i, &r, std::min<std::size_t>(8, n - i));
    }
    return b;
}

inline void Append(Bytes& image, const Bytes& part) {
    image.insert(image.end(), part.begin(), part.end());
}

// An image in memory whose chosen sectors cannot be read: a read that
// touches one fails as a whole, as a device's does.
class FaultySource final : public trx5::ByteSource {
  public:
    explicit FaultySource(Bytes bytes, std::set<std::uint64_t> bad = {})
        : bytes_(std::move(bytes)), bad_(std::move(bad)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    trx5::Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* out,
                                     std::size_t length) override {
        ++reads;
        const std::uint64_t end = std::min<std::uint64_t>(offset + length, bytes_.size());
        if (offset >= end) return std::size_t{0};
        const auto hit = bad_.lower_bound(offset / trx5::kSectorSize);
        if (hit != bad_.end() && *hit * trx5::kSectorSize < end) {
            return trx5::Status::Fail(trx5::ErrorCode::CannotOpen, "injected read error");
        }
        std::memcpy(out, bytes_.data() + offset, end - offset);
        return static_cast<std::size_t>(end - offset);
    }
    int reads = 0;

  private:
    Bytes bytes_;
    std::set<std::uint64_t> bad_;
};

}  // namespace trx5test
