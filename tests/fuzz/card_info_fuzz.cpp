// The machine file and song file tests on arbitrary file contents: the same
// bytes as the machine file and as a song file of a card folder.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "card/card_info.h"
#include "fuzz_support.h"

namespace {

struct NameCase {
    const char* machine;
    const char* song;
    int fileNumber;
};

// Letter case of the names does not matter to the card code.
constexpr NameCase kNames[] = {
    {"SongNo.tx5", "UtyPrm00.tx5", 0},
    {"songno.TX5", "UTYPRM42.tx5", 42},
    {"SONGNO.tx5", "utyprm99.TX5", 99},
};

// What the card code takes as the signature: the text of the first 48 bytes
// up to the first zero byte.
bool HoldsSignature(const std::uint8_t* data, std::size_t size, std::string_view signature) {
    std::string_view field(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 48));
    field = field.substr(0, field.find('\0'));
    return field == signature;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const NameCase& c = kNames[size % std::size(kNames)];
    const std::string folder = trx5fuzz::FreshFolder("card");
    FUZZ_CHECK(trx5::TestMachineFile(folder) == trx5::MachineFileState::Missing);
    trx5fuzz::WriteBytes(folder + c.machine, data, size);
    const std::string songPath = folder + c.song;
    trx5fuzz::WriteBytes(songPath, data, size);

    const bool machineValid = HoldsSignature(data, size, trx5::kMachineSignature);
    const trx5::MachineFileState state = trx5::TestMachineFile(folder);
    FUZZ_CHECK(state ==
               (machineValid ? trx5::MachineFileState::Valid : trx5::MachineFileState::Invalid));
    FUZZ_CHECK(trx5::CheckMachineFile(folder) == machineValid);

    // A mode field of four zero bytes is HiFi; anything else, or a file too
    // short to hold it, is LONG.
    const bool songValid = HoldsSignature(data, size, trx5::kSongSignature);
    const std::size_t modeAt = trx5::kSongModeOffset;
    const bool hifi = size >= modeAt + 4 && std::all_of(data + modeAt, data + modeAt + 4,
                                                        [](std::uint8_t b) { return b == 0; });
    const trx5::SongFileInfo song = trx5::ReadSongFile(songPath);
    FUZZ_CHECK(song.valid == songValid);
    FUZZ_CHECK(song.longMode == !hifi);

    // The song list holds the song exactly when the file is valid; the
    // machine file, whatever it holds, is never listed.
    const auto songs = trx5::ListSongs(folder);
    FUZZ_CHECK(songs.size() == (songValid ? 1u : 0u));
    if (songValid) {
        FUZZ_CHECK(songs[0].fileNumber == c.fileNumber);
        FUZZ_CHECK(songs[0].longMode == !hifi);
        FUZZ_CHECK(songs[0].path == songPath);
        char text[32];
        std::snprintf(text, sizeof text, "%02d %s", c.fileNumber + 1, hifi ? "HiFi" : "LONG");
        FUZZ_CHECK(songs[0].ListText() == text);
    }
    return 0;
}
