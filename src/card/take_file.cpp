#include "card/take_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "card/take_reader.h"
#include "codec/take_codec.h"
#include "common/folder.h"

namespace trx5 {

TakeHeader MakeTakeHeader(bool longMode) {
    TakeHeader h{};
    h[0] = longMode ? 1 : 0;
    std::memcpy(&h[kTakeSignatureOffset], kTakeSignature, 13);
    std::memcpy(&h[32], "1.00", 4);
    std::memcpy(&h[36], "0001", 4);
    std::memcpy(&h[40], "CMGR", 4);
    return h;
}

bool HasTakeSignature(const std::uint8_t* header512) {
    // A zero byte inside the 13 signature bytes ends the text early, which
    // then fails the comparison; memcmp gives the same result.
    return std::memcmp(header512 + kTakeSignatureOffset, kTakeSignature, 13) == 0;
}

std::string TakeFileName(int fileNumber, int track, int vtake) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d-%d%d.aud", fileNumber % 100, track % 10, vtake % 10);
    return name;
}

std::string TakeCaption(TakeSlot slot) {
    return std::to_string(slot.track + 1) + "-" + std::to_string(slot.vtake + 1);
}

std::optional<TakeSlot> ParseTakeFileName(std::string_view name, int fileNumber) {
    if (!MatchesPattern(name, TakeFilePattern(fileNumber))) return std::nullopt;
    const char t = name[3];
    const char v = name[4];
    if (t < '0' || t > '3' || v < '0' || v > '7') return std::nullopt;
    return TakeSlot{t - '0', v - '0'};
}

std::optional<int> FileNumberAt(std::string_view name, std::size_t at) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (name.size() < at + 2 || !digit(name[at]) || !digit(name[at + 1])) return std::nullopt;
    return (name[at] - '0') * 10 + (name[at + 1] - '0');
}

std::optional<int> TakeFileNumber(std::string_view name) {
    const std::optional<int> fileNumber = FileNumberAt(name, 0);
    if (!fileNumber || !ParseTakeFileName(name, *fileNumber)) return std::nullopt;
    return fileNumber;
}

bool IsTakeFile(const std::string& path) {
    const Result<TakeReader> take = TakeReader::Open(path);
    return take && take->HasTakeHeader();
}

std::string TakeFilePattern(int fileNumber) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%02d-??.aud", fileNumber % 100);
    return pattern;
}

TakeFiles FindTakeFiles(const std::string& folder, int fileNumber) {
    TakeFiles files;
    for (const FolderEntry& entry : FindFiles(folder, TakeFilePattern(fileNumber))) {
        const auto slot = ParseTakeFileName(entry.name, fileNumber);
        if (!slot || !IsTakeFile(entry.path)) continue;
        files[SlotIndex(*slot)] = entry.path;
    }
    return files;
}

std::uint64_t TakeBlockCount(std::uint64_t fileSize) {
    return fileSize < kTakeHeaderSize ? 0 : (fileSize - kTakeHeaderSize) / kTakeBlockSize;
}

std::optional<std::uint64_t> TakeFileBlocks(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return TakeBlockCount(static_cast<std::uint64_t>(st.st_size));
}

std::uint64_t TakeLengthMs(std::uint64_t blocks, bool longMode) {
    return blocks * SamplesPerBlock(longMode) * 1000 / SampleRate(longMode);
}

std::string FormatTakeLength(std::uint64_t ms) {
    char text[40];
    std::snprintf(text, sizeof text, "%1llu:%02llu:%02llu:%03llu",
                  static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms % 3600000 / 60000),
                  static_cast<unsigned long long>(ms % 60000 / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

}  // namespace trx5
