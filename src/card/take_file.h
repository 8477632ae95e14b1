// Take audio files: NN-TV.aud, a 512-byte header and then 512-byte blocks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/track_mix.h"

namespace trx5 {

inline constexpr int kVTakes = 8;
inline constexpr std::size_t kTakeHeaderSize = 512;
inline constexpr std::size_t kTakeBlockSize = 512;
inline constexpr char kTakeSignature[] = "QORV1D2ZZ7AUD";
inline constexpr int kTakeSignatureOffset = 16;

using TakeHeader = std::array<std::uint8_t, kTakeHeaderSize>;

// The header the import writes: mode 0 (HiFi) or 1 (LONG), the signature,
// "1.00", "0001" and "CMGR".
TakeHeader MakeTakeHeader(bool longMode);

// Whether a 512-byte header carries the take signature at offset 16.
bool HasTakeSignature(const std::uint8_t* header512);

// "NN-TV.aud" with file number NN, track T and V-Take V counted from 0.
std::string TakeFileName(int fileNumber, int track, int vtake);

struct TakeSlot {
    int track = 0;  // 0..3
    int vtake = 0;  // 0..7
};

// A slot's place among a song's 32 (TakeFiles, the window's grid):
// 8 * track + vtake, and back.
constexpr int SlotIndex(int track, int vtake) { return track * kVTakes + vtake; }
constexpr int SlotIndex(TakeSlot slot) { return SlotIndex(slot.track, slot.vtake); }
constexpr TakeSlot SlotAt(int index) { return {index / kVTakes, index % kVTakes}; }

// "1-3": track and V-Take counted from 1, as the grid and trx5card show a
// take.
std::string TakeCaption(TakeSlot slot);

// The names of all take files ("??-??.aud", written apart so that it is no
// trigraph).
inline constexpr char kTakeFilePattern[] =
    "??"
    "-??.aud";

// "NN-??.aud": the names of song `fileNumber`'s take files (any case).
std::string TakeFilePattern(int fileNumber);

// Track and V-Take of a take file name of song `fileNumber`, or none.
std::optional<TakeSlot> ParseTakeFileName(std::string_view name, int fileNumber);

// The file number NN (00..99) written at `at` in a card file's name; none
// when the two characters there are not digits.
std::optional<int> FileNumberAt(std::string_view name, std::size_t at);

// The song file number NN of a take file's name "NN-TV.aud" of one of the
// 32 slots (any case); none for any other name.
std::optional<int> TakeFileNumber(std::string_view name);

// The take file test: a regular file whose first 512 bytes can be read
// and carry the signature.
bool IsTakeFile(const std::string& path);

// Path of every take present, by SlotIndex; empty where none.
// Of names that differ only in letter case the first in byte order stands
// for the slot.
using TakeFiles = std::array<std::string, kTracks * kVTakes>;
TakeFiles FindTakeFiles(const std::string& folder, int fileNumber);

// Whole blocks after the header of a file of `fileSize` bytes.
std::uint64_t TakeBlockCount(std::uint64_t fileSize);

// Blocks of a take file on disk; none when it cannot be measured.
std::optional<std::uint64_t> TakeFileBlocks(const std::string& path);

std::uint64_t TakeLengthMs(std::uint64_t blocks, bool longMode);

// "%1u:%02u:%02u:%03u" of hours, minutes, seconds and milliseconds.
std::string FormatTakeLength(std::uint64_t ms);

}  // namespace trx5
