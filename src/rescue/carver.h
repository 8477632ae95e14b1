// Carving: finding the recorder's files in the raw sectors of a card whose
// file system is damaged or whose files were deleted. Takes are found by
// their header (the take signature at offset 16 of a sector) and followed
// block by block while the blocks look like coded audio; song and machine
// files are found by the signature at the start of a sector.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "convert/progress.h"
#include "rescue/sector_reader.h"

namespace trx5 {

// How a 512-byte block after a take header looks.
//
// The rule. The code bytes of a block (HiFi: bytes 2..509; LONG: 2..255 and
// 258..511; the others hold the stored start samples) never hold 0, 248 or
// 255: the encoder codes a zero difference as 7, and 0 and 255 (steps of
// zero) and 248 (the negative of 7) are never written. A HiFi block ends
// with two zero bytes. A block that breaks either is Implausible: it is no
// take block, and the take ends before it.
//
// Of the others, a block with at most kPlausibleDistinctCodes different
// code values is Plausible, one with more is Doubtful. Coded sound uses the
// codes of the steps it needs, unevenly; random bytes spread over nearly all
// of them. Measured over blocks of 508 codes: random bytes show 203 to 239
// different values (221 on average); tones, chirps and noise coded by the
// encoder show 10 to 208, white noise of about -30 dB full scale being the
// only sound that comes near random bytes (171 to 208). A random block
// escapes the first test with a chance of about (253/256)^508 = 0.3% in
// LONG and that times 1/65536 in HiFi, and is then Doubtful all but always.
enum class BlockVerdict { Implausible, Doubtful, Plausible };

inline constexpr int kPlausibleDistinctCodes = 200;

BlockVerdict CheckTakeBlock(const std::uint8_t* block, bool longMode);

// The mode a block's layout shows: HiFi when its last two bytes are zero
// (a LONG block's are codes, never 0).
bool LooksLong(const std::uint8_t* block);

enum class FoundKind { Take, SongFile, MachineFile };

// Why a carved take ends.
enum class TakeEnd {
    NextHeader,        // a sector with a signature follows
    ImplausibleBlock,  // a sector that is no take block follows
    EndOfSource,       // the source ends within the take: it may be cut
    KnownFile,         // a file found through the file system follows
    Seam,              // the next block does not continue the sound: another take's, likely
};

// A block continues the sound of the one before when its stored first
// sample lies near where the last two samples before it point, within
// kSeamFactor times the largest change of step between samples of the block
// before, plus kSeamSlack; and the same backwards, from the block's first
// two samples to the last sample before it. Measured over coded tones, loud tones and noise
// in both modes, a take's own blocks stay within 1.35 times, except after a
// block that used the coding's largest step, whose sound may have run ahead
// of it; no seam is judged there. In LONG, whose blocks hold two runs, the
// same rule joins the second run to the first; a block where it does not is
// Doubtful.
inline constexpr int kSeamFactor = 2;
inline constexpr int kSeamSlack = 64;

// Consecutive sectors.
struct SectorRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

struct FoundItem {
    FoundKind kind = FoundKind::Take;
    std::uint64_t sector = 0;  // of the header or of the file's start
    bool longMode = false;     // of a take (from its blocks) or a song file
    // A run of take blocks that no header starts: the rest of a take after
    // a seam. `sector` is its first block's, which `blocks` includes.
    bool headerless = false;
    // A take found through the file system whose header's sector could not
    // be read or lacks the signature: it is written with a header made anew.
    bool headerMade = false;
    // Of a take found through the file system: its length as its folder
    // gives it, which may end within a block. 0 for a carved one.
    std::uint64_t fileBytes = 0;
    // Takes: the sectors of its blocks in order. Unreadable sectors between
    // them are left out (lostBlocks), so runs may have gaps.
    std::vector<SectorRun> blocks;
    std::uint64_t blockCount = 0;
    std::uint64_t doubtfulBlocks = 0;
    std::uint64_t lostBlocks = 0;
    TakeEnd end = TakeEnd::EndOfSource;

    bool complete() const { return end != TakeEnd::EndOfSource; }
    // A take with no block, or more doubtful blocks than plausible ones.
    bool doubtful() const { return blockCount == 0 || doubtfulBlocks * 2 > blockCount; }
};

struct CarveOutcome {
    std::vector<FoundItem> items;  // in the order of their sectors
    std::uint64_t sectors = 0;     // sectors scanned
    std::uint64_t unreadableSectors = 0;
    bool cancelled = false;  // by the progress; items holds what was found before
};

struct CarveOptions {
    // Read at a time: small enough that a chunk is still in the processor's
    // cache when it is scanned.
    std::size_t chunkSectors = 256;
    // Sectors of files found through the file system, sorted and apart:
    // nothing is carved from them, and a take followed into one ends there.
    const std::vector<SectorRun>* known = nullptr;
    // Told the sectors scanned once per chunk; false cancels.
    Progress* progress = nullptr;
};

// Scans every sector of `reader` once, from the first to the last.
CarveOutcome Carve(SectorReader& reader, const CarveOptions& options = {});

}  // namespace trx5
