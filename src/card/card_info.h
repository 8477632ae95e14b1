// The card's information files: the machine file that marks a folder as a
// card (or a backup of one) and the song parameter files with their modes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "card/card_messages.h"
#include "common/folder.h"
#include "common/result.h"

namespace trx5 {

inline constexpr char kMachineFileName[] = "SongNo.tx5";
inline constexpr char kMachineSignature[] = "QORV TX-5 MACHINE INFORMATION VER0001";
inline constexpr char kSongSignature[] = "QORV TX-5 SONG    INFORMATION VER0001";
// The field at the start of the machine and song files that holds the
// signature; the recorder writes its state after it.
inline constexpr std::size_t kSignatureField = 48;
inline constexpr char kSongFilePattern[] = "UtyPrm??.tx5";
inline constexpr int kSongModeOffset = 116;

enum class MachineFileState { Valid, Missing, Invalid };

// Tests folder + "SongNo.tx5" (any letter case): Missing when it cannot be
// opened, Invalid when its signature differs.
MachineFileState TestMachineFile(const std::string& folder);

// True when folder holds a machine file with a valid signature.
bool CheckMachineFile(const std::string& folder);

// The check of a card folder (or a backup of one) before the card is used:
// its machine file must be there and valid. Fails with kMsgNoCardInfo
// (ErrorCode::NoCard) or kMsgInvalidCardInfo (ErrorCode::InvalidCard). The
// folder may end with "/" or not.
Status CheckCardFolder(const std::string& folder);

struct SongFileInfo {
    bool valid = false;
    bool longMode = false;
};

SongFileInfo ReadSongFile(const std::string& path);

// The file number NN of a song file's name "UtyPrmNN.tx5" (any case); none
// for any other name.
std::optional<int> SongFileNumber(std::string_view name);

// A song number as the song list shows it: two digits, three for 100 ("07",
// "100").
std::string SongNumberText(int songNumber);

struct SongEntry {
    int fileNumber = 0;  // 0..99, the NN of UtyPrmNN.tx5
    bool longMode = false;
    std::string path;

    int SongNumber() const { return fileNumber + 1; }
    // The song-list text: "01 HiFi", "12 LONG", "100 HiFi".
    std::string ListText() const;
};

// The valid songs of a card folder, by song number. Of song files whose
// names differ only in letter case the first in byte order is the song's.
std::vector<SongEntry> ListSongs(const std::string& folder);

// "00-01.AUD: same take as 00-01.aud, ignored"; "same song file", "same
// machine file", or "same file" for other names.
std::string CaseTwinNote(const CaseTwin& twin);

// What the program leaves aside in a card folder, a line each: files whose
// names differ only in letter case from the ones it uses; take files of a
// song that has no song file ("Song 02: 3 take files but no song file");
// files named as a song's take that are no take ("00-05.aud: not a take
// (damaged?), kept").
std::vector<std::string> CardFolderNotes(const std::string& folder);

}  // namespace trx5
