// The carver on arbitrary card images: the first input byte chooses which
// of the first eight sectors cannot be read, the rest is the image. The
// result must not depend on how many sectors are read at a time, and every
// take found must be made of whole, readable, plausible blocks after its
// header.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_image.h"
#include "fuzz_support.h"
#include "rescue/carver.h"
#include "rescue/sector_reader.h"

namespace {

bool SameItems(const trx5::CarveOutcome& a, const trx5::CarveOutcome& b) {
    if (a.items.size() != b.items.size() || a.unreadableSectors != b.unreadableSectors) {
        return false;
    }
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const trx5::FoundItem& x = a.items[i];
        const trx5::FoundItem& y = b.items[i];
        if (x.kind != y.kind || x.sector != y.sector || x.headerless != y.headerless ||
            x.longMode != y.longMode || x.blockCount != y.blockCount ||
            x.doubtfulBlocks != y.doubtfulBlocks || x.lostBlocks != y.lostBlocks ||
            x.end != y.end || x.blocks.size() != y.blocks.size()) {
            return false;
        }
        for (std::size_t r = 0; r < x.blocks.size(); ++r) {
            if (x.blocks[r].first != y.blocks[r].first || x.blocks[r].count != y.blocks[r].count) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    trx5fuzz::ImageSource source(data, size);
    trx5::RetryingSectorReader reader(source);
    const trx5::CarveOutcome whole = trx5::Carve(reader);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}}) {
        trx5::RetryingSectorReader again(source);
        FUZZ_CHECK(SameItems(whole, trx5::Carve(again, {.chunkSectors = chunk})));
    }
    const std::uint64_t sectors = reader.SectorCount();
    FUZZ_CHECK(whole.sectors == sectors);
    std::uint64_t bad = 0;
    for (std::uint64_t s = 0; s < sectors; ++s) bad += source.Bad(s);
    FUZZ_CHECK(whole.unreadableSectors == bad);

    std::uint64_t previous = 0;
    for (const trx5::FoundItem& item : whole.items) {
        FUZZ_CHECK(item.sector >= previous && item.sector < sectors);
        previous = item.sector;
        std::uint64_t next = item.headerless ? item.sector : item.sector + 1;
        std::uint64_t blocks = 0;
        for (const trx5::SectorRun& run : item.blocks) {
            FUZZ_CHECK(run.count > 0 && run.first >= next);
            FUZZ_CHECK((run.first + run.count) * 512 <= source.bytes().size());
            for (std::uint64_t s = run.first; s < run.first + run.count; ++s) {
                FUZZ_CHECK(!source.Bad(s));
                FUZZ_CHECK(trx5::CheckTakeBlock(source.bytes().data() + s * 512, item.longMode) !=
                           trx5::BlockVerdict::Implausible);
            }
            next = run.first + run.count;
            blocks += run.count;
        }
        FUZZ_CHECK(blocks == item.blockCount && item.doubtfulBlocks <= blocks);
        previous = std::max(previous, next - 1);
    }
    return 0;
}
