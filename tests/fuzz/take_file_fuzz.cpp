// The take file test and length on arbitrary file contents, written under a
// take name in a folder of its own.
#include <cstdint>
#include <cstdio>
#include <string>

#include "card/take_file.h"
#include "fuzz_support.h"

namespace {

struct NameCase {
    const char* name;
    int fileNumber;
    int track;
    int vtake;
};

// Letter case of the name does not matter to the card code.
constexpr NameCase kNames[] = {
    {"00-12.aud", 0, 1, 2},
    {"07-37.AUD", 7, 3, 7},
    {"99-00.Aud", 99, 0, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const NameCase& c = kNames[size % std::size(kNames)];
    const std::string folder = trx5fuzz::FreshFolder("takes");
    const std::string path = folder + c.name;
    trx5fuzz::WriteBytes(path, data, size);

    const bool expectTake = size >= trx5::kTakeHeaderSize && trx5::HasTakeSignature(data);
    FUZZ_CHECK(trx5::IsTakeFile(path) == expectTake);

    const std::uint64_t blocks =
        size < trx5::kTakeHeaderSize ? 0 : (size - trx5::kTakeHeaderSize) / trx5::kTakeBlockSize;
    const auto measured = trx5::TakeFileBlocks(path);
    FUZZ_CHECK(measured.has_value() && *measured == blocks);
    FUZZ_CHECK(trx5::TakeBlockCount(size) == blocks);

    // The length never runs backwards and its text reads back as the same
    // milliseconds.
    for (const bool longMode : {false, true}) {
        const std::uint64_t ms = trx5::TakeLengthMs(blocks, longMode);
        FUZZ_CHECK(trx5::TakeLengthMs(blocks + 1, longMode) > ms);
        unsigned long long h = 0, m = 0, s = 0, milli = 0;
        const std::string text = trx5::FormatTakeLength(ms);
        FUZZ_CHECK(std::sscanf(text.c_str(), "%llu:%llu:%llu:%llu", &h, &m, &s, &milli) == 4);
        FUZZ_CHECK(m < 60 && s < 60 && milli < 1000);
        FUZZ_CHECK(((h * 60 + m) * 60 + s) * 1000 + milli == ms);
    }

    // The folder search finds the file in its slot exactly when it is a take,
    // and nothing anywhere else.
    const trx5::TakeFiles files = trx5::FindTakeFiles(folder, c.fileNumber);
    const std::size_t slot = std::size_t(c.track * trx5::kVTakes + c.vtake);
    for (std::size_t i = 0; i < files.size(); ++i) {
        FUZZ_CHECK(files[i] == (i == slot && expectTake ? path : std::string()));
    }
    const trx5::TakeFiles other = trx5::FindTakeFiles(folder, (c.fileNumber + 1) % 100);
    for (const std::string& p : other) FUZZ_CHECK(p.empty());
    return 0;
}
