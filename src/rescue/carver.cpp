#include "rescue/carver.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"

namespace trx5 {

namespace {

// Marks the codes present among `count` bytes. Plain stores to a byte
// table, which depend on nothing before them, are faster than setting bits.
inline void MarkCodes(const std::uint8_t* codes, int count, std::uint8_t (&seen)[256]) {
    for (int i = 0; i < count; ++i) seen[codes[i]] = 1;
}

std::optional<FoundKind> SignatureKind(const std::uint8_t* sector) {
    // Nearly every sector has none: the first letter of each signature
    // rules it out at once.
    if (sector[kTakeSignatureOffset] != 'Q' && sector[0] != 'Q') return std::nullopt;
    if (HasTakeSignature(sector)) return FoundKind::Take;
    if (sector[0] != 'Q') return std::nullopt;
    if (std::memcmp(sector, kSongSignature, sizeof kSongSignature) == 0) {
        return FoundKind::SongFile;
    }
    if (std::memcmp(sector, kMachineSignature, sizeof kMachineSignature) == 0) {
        return FoundKind::MachineFile;
    }
    return std::nullopt;
}

std::uint32_t ReadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// The take being followed and the carve's results.
class CarveState {
  public:
    explicit CarveState(CarveOutcome& out) : out_(out) {}

    void Sector(std::uint64_t n, const std::uint8_t* p, bool unreadable, bool partial) {
        if (unreadable) {
            // A header or a block lost; a take goes on past it.
            if (inTake_) ++pendingLost_;
            return;
        }
        if (partial) {
            // The source ends within this sector: a block cut short.
            Finish(TakeEnd::EndOfSource);
            return;
        }
        if (const auto kind = SignatureKind(p)) {
            Finish(TakeEnd::NextHeader);
            FoundItem item;
            item.kind = *kind;
            item.sector = n;
            if (*kind == FoundKind::Take) {
                item.longMode = p[0] != 0;  // until a block shows its layout
                take_ = std::move(item);
                inTake_ = true;
            } else {
                if (*kind == FoundKind::SongFile) {
                    item.longMode = ReadLE32(p + kSongModeOffset) != 0;
                }
                item.end = TakeEnd::NextHeader;
                out_.items.push_back(std::move(item));
            }
            return;
        }
        if (!inTake_) return;
        if (take_.blockCount == 0) take_.longMode = LooksLong(p);
        BlockVerdict v = CheckTakeBlock(p, take_.longMode);
        if (v == BlockVerdict::Implausible) {
            Finish(TakeEnd::ImplausibleBlock);
            return;
        }
        // Where a take was written in pieces, its blocks may be followed by
        // another take's: the sound jumps there. The blocks after the jump
        // are kept apart, never joined to the take before.
        const bool longMode = take_.longMode;
        const int spb = SamplesPerBlock(longMode);
        std::int16_t samples[kMaxSamplesPerBlock];
        DecodeTakeBlock(p, samples, longMode);
        // A run that used the largest step may have lagged behind its sound
        // (the coding's slope overload): its end tells nothing then.
        static const int kLargestStep = [] {
            int m = 0;
            for (const std::int16_t d : DeltaTable) m = std::max(m, std::abs(int(d)));
            return m;
        }();
        // The largest step and change of step within samples [from, to).
        struct Shape {
            int step = 0;
            int curve = 0;
        };
        const auto measure = [&samples](int from, int to) {
            Shape m;
            for (int i = from + 1; i < to; ++i) {
                m.step = std::max(m.step, std::abs(int(samples[i]) - int(samples[i - 1])));
            }
            for (int i = from + 1; i + 1 < to; ++i) {
                m.curve = std::max(m.curve, std::abs(int(samples[i + 1]) - 2 * int(samples[i]) +
                                                     int(samples[i - 1])));
            }
            return m;
        };
        const auto jumps = [](int actual, int predicted, int maxCurve) {
            return std::abs(actual - predicted) > kSeamFactor * maxCurve + kSeamSlack;
        };
        // A LONG block holds two runs, each from a stored sample: the second
        // starts where the first ends, or the block is doubtful.
        const int half = longMode ? spb / 2 : spb;
        const Shape first = measure(0, half);
        const Shape second = longMode ? measure(half, spb) : first;
        if (longMode && v == BlockVerdict::Plausible && first.step < kLargestStep &&
            second.step < kLargestStep &&
            (jumps(samples[half], 2 * samples[half - 1] - samples[half - 2], first.curve) ||
             jumps(samples[half - 1], 2 * samples[half] - samples[half + 1], second.curve))) {
            v = BlockVerdict::Doubtful;
        }
        const int step = first.step;
        const int curve = first.curve;
        // Judged from both sides: where the last block's samples point
        // forwards, and where this block's point backwards.
        const bool forward =
            maxStep_ < kLargestStep && jumps(samples[0], 2 * lastSample_ - beforeLast_, maxCurve_);
        const bool backward =
            step < kLargestStep && jumps(lastSample_, 2 * samples[0] - samples[1], curve);
        if (take_.blockCount > 0 && pendingLost_ == 0 && (forward || backward)) {
            Finish(TakeEnd::Seam);
            take_.kind = FoundKind::Take;
            take_.sector = n;
            take_.headerless = true;
            take_.longMode = longMode;
            inTake_ = true;
        }
        lastSample_ = samples[spb - 1];
        beforeLast_ = samples[spb - 2];
        maxStep_ = second.step;
        maxCurve_ = second.curve;
        take_.lostBlocks += pendingLost_;
        pendingLost_ = 0;
        ++take_.blockCount;
        if (v == BlockVerdict::Doubtful) ++take_.doubtfulBlocks;
        auto& runs = take_.blocks;
        if (!runs.empty() && runs.back().first + runs.back().count == n) {
            ++runs.back().count;
        } else {
            runs.push_back({n, 1});
        }
    }

    // Ends the take being followed, if any. Unreadable sectors after its
    // last block are not counted as its own: nothing tells they were.
    void Finish(TakeEnd end) {
        if (!inTake_) return;
        take_.end = end;
        out_.items.push_back(std::move(take_));
        take_ = FoundItem();
        inTake_ = false;
        pendingLost_ = 0;
    }

  private:
    CarveOutcome& out_;
    // The take being followed, while inTake_.
    FoundItem take_;
    bool inTake_ = false;
    std::uint64_t pendingLost_ = 0;
    // The last block's last two samples, its largest step between samples
    // and its largest change of step.
    int lastSample_ = 0;
    int beforeLast_ = 0;
    int maxStep_ = 0;
    int maxCurve_ = 0;
};

}  // namespace

bool LooksLong(const std::uint8_t* block) { return block[510] != 0 || block[511] != 0; }

BlockVerdict CheckTakeBlock(const std::uint8_t* block, bool longMode) {
    std::uint8_t seen[256] = {};
    if (longMode) {
        MarkCodes(block + 2, 254, seen);
        MarkCodes(block + 258, 254, seen);
    } else {
        if (block[510] != 0 || block[511] != 0) return BlockVerdict::Implausible;
        MarkCodes(block + 2, 508, seen);
    }
    if (seen[0] | seen[248] | seen[255]) return BlockVerdict::Implausible;
    int distinct = 0;
    for (const std::uint8_t v : seen) distinct += v;
    return distinct <= kPlausibleDistinctCodes ? BlockVerdict::Plausible : BlockVerdict::Doubtful;
}

CarveOutcome Carve(SectorReader& reader, const CarveOptions& options) {
    CarveOutcome out;
    const std::size_t chunkSectors = std::max<std::size_t>(options.chunkSectors, 1);
    static const std::vector<SectorRun> kNone;
    const std::vector<SectorRun>& known = options.known ? *options.known : kNone;
    auto nextKnown = known.begin();
    const std::uint64_t size = reader.size();
    const std::uint64_t total = reader.SectorCount();
    std::vector<std::uint8_t> buffer(chunkSectors * kSectorSize);
    std::vector<std::uint8_t> unreadable(chunkSectors);
    CarveState state(out);
    for (std::uint64_t first = 0; first < total; first += chunkSectors) {
        if (options.progress && !options.progress->Step(first, total)) {
            out.cancelled = true;
            break;
        }
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkSectors, total - first));
        out.unreadableSectors += reader.ReadSectors(first, count, buffer.data(), unreadable.data());
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t n = first + i;
            while (nextKnown != known.end() && nextKnown->first + nextKnown->count <= n) {
                ++nextKnown;
            }
            if (nextKnown != known.end() && nextKnown->first <= n) {
                state.Finish(TakeEnd::KnownFile);
                continue;
            }
            const bool partial = (n + 1) * kSectorSize > size;
            state.Sector(n, buffer.data() + i * kSectorSize, unreadable[i] != 0, partial);
        }
    }
    state.Finish(TakeEnd::EndOfSource);
    out.sectors = total;
    return out;
}

}  // namespace trx5
