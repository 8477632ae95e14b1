#include "card/card_info.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

#include "card/take_file.h"
#include "common/file_io.h"
#include "common/folder.h"

namespace trx5 {

namespace {

// The text of the signature field runs up to its first zero byte (or over all
// bytes read) and must equal the signature exactly.
bool FieldHoldsSignature(const char* field, std::size_t read, std::string_view signature) {
    const void* zero = std::memchr(field, 0, read);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : read;
    return std::string_view(field, length) == signature;
}

}  // namespace

MachineFileState TestMachineFile(const std::string& folder) {
    const std::string path = FindFileNoCase(folder, kMachineFileName);
    const FilePtr f = path.empty() ? nullptr : OpenRegularFile(path);
    if (!f) return MachineFileState::Missing;
    char field[kSignatureField];
    const std::size_t read = std::fread(field, 1, sizeof field, f.get());
    if (std::ferror(f.get()) != 0) return MachineFileState::Missing;
    return FieldHoldsSignature(field, read, kMachineSignature) ? MachineFileState::Valid
                                                               : MachineFileState::Invalid;
}

bool CheckMachineFile(const std::string& folder) {
    return TestMachineFile(folder) == MachineFileState::Valid;
}

Status CheckCardFolder(const std::string& folder) {
    switch (TestMachineFile(WithTrailingSlash(folder))) {
        case MachineFileState::Valid:
            return Status::Ok();
        case MachineFileState::Missing:
            return Status::Fail(ErrorCode::NoCard, kMsgNoCardInfo);
        case MachineFileState::Invalid:
            break;
    }
    return Status::Fail(ErrorCode::InvalidCard, kMsgInvalidCardInfo);
}

SongFileInfo ReadSongFile(const std::string& path) {
    SongFileInfo info;
    const FilePtr f = OpenRegularFile(path);
    if (!f) return info;
    char field[kSignatureField];
    const std::size_t read = std::fread(field, 1, sizeof field, f.get());
    std::int64_t mode = -1;  // a file too short for the mode counts as LONG
    std::uint8_t b[4];
    if (std::fseek(f.get(), kSongModeOffset, SEEK_SET) == 0 && std::fread(b, 1, 4, f.get()) == 4) {
        mode = b[0] | (b[1] << 8) | (b[2] << 16) | (std::int64_t(b[3]) << 24);
    }
    if (std::ferror(f.get()) != 0) return info;
    info.valid = FieldHoldsSignature(field, read, kSongSignature);
    info.longMode = mode != 0;
    return info;
}

std::optional<int> SongFileNumber(std::string_view name) {
    if (!MatchesPattern(name, kSongFilePattern)) return std::nullopt;
    return FileNumberAt(name, 6);
}

std::string SongNumberText(int songNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", songNumber);
    return text;
}

std::string SongEntry::ListText() const {
    return SongNumberText(SongNumber()) + " " + (longMode ? kTextLong : kTextHiFi);
}

std::vector<SongEntry> ListSongs(const std::string& folder) {
    std::vector<SongEntry> songs;
    for (const FolderEntry& entry : FindFiles(folder, kSongFilePattern)) {
        const std::optional<int> fileNumber = SongFileNumber(entry.name);
        if (!fileNumber) continue;
        const SongFileInfo info = ReadSongFile(entry.path);
        if (!info.valid) continue;
        songs.push_back({*fileNumber, info.longMode, entry.path});
    }
    // The directory listing's order is arbitrary on most file systems; the
    // songs are listed by number, as a backup folder lists them on the
    // platform the recorder's software was written for.
    std::stable_sort(songs.begin(), songs.end(), [](const SongEntry& a, const SongEntry& b) {
        return a.fileNumber < b.fileNumber;
    });
    return songs;
}

std::string CaseTwinNote(const CaseTwin& twin) {
    const char* what = kTextFile;
    if (MatchesPattern(twin.chosen, kMachineFileName)) {
        what = kTextMachineFile;
    } else if (MatchesPattern(twin.chosen, kSongFilePattern)) {
        what = kTextSongFile;
    } else if (MatchesPattern(twin.chosen, kTakeFilePattern)) {
        what = kTextTake;
    }
    return CaseTwinText(twin.name, what, twin.chosen);
}

std::vector<std::string> CardFolderNotes(const std::string& folder) {
    std::vector<CaseTwin> twins;
    static_cast<void>(FindFiles(folder, kMachineFileName, &twins));
    static_cast<void>(FindFiles(folder, kSongFilePattern, &twins));
    const std::vector<FolderEntry> takes = FindFiles(folder, kTakeFilePattern, &twins);
    std::vector<std::string> notes;
    for (const CaseTwin& twin : twins) notes.push_back(CaseTwinNote(twin));

    std::set<int> songs;
    for (const SongEntry& song : ListSongs(folder)) songs.insert(song.fileNumber);
    // Take files of songs that are not there, by song.
    std::map<int, int> withoutSong;
    for (const FolderEntry& take : takes) {
        const std::optional<int> fileNumber = TakeFileNumber(take.name);
        if (!fileNumber) continue;  // no slot has this name
        if (songs.count(*fileNumber) == 0) {
            ++withoutSong[*fileNumber];
        } else if (!IsTakeFile(take.path)) {
            notes.push_back(NotATakeText(take.name));
        }
    }
    for (const auto& [fileNumber, count] : withoutSong) {
        notes.push_back(TakesWithoutSongText(SongNumberText(fileNumber + 1), count));
    }
    return notes;
}

}  // namespace trx5
