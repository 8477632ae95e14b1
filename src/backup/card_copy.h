// Backup and restore of a card: the files of one folder that match wildcard
// patterns, copied into another folder song by song, so that a copy that
// stops part way leaves every song either wholly old or wholly new.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_messages.h"
#include "common/result.h"

namespace trx5 {

// The files of a card: the machine file and song files (*.tx5) and the takes
// (*.aud).
inline constexpr std::array<const char*, 2> kCardFilePatterns{"*.tx5", "*.aud"};

struct CopyRequest {
    std::string sourceFolder;
    std::vector<std::string> patterns;  // wildcards, letter case ignored: "*.tx5", "*.aud"
    std::string destinationFolder;      // made with its parents when missing...
    // ...unless it must be there already: a card that has gone is not to be
    // replaced by a new folder of its name.
    bool createDestination = true;
};

// Asked before every chunk of a file is copied (once for an empty file)
// whether to go on. bytesTotal is the sum of the sizes found before copying.
class CopyProgress {
  public:
    virtual ~CopyProgress() = default;
    virtual bool Step(std::uint64_t bytesDone, std::uint64_t bytesTotal,
                      const std::string& fileName) = 0;
};

class NoCopyProgress final : public CopyProgress {
  public:
    bool Step(std::uint64_t, std::uint64_t, const std::string&) override { return true; }
};

struct CopyOutcome {
    bool cancelled = false;          // stopped by the progress
    std::uint64_t filesCopied = 0;   // files now complete under their names
    std::uint64_t filesSkipped = 0;  // source and destination were the same file
    std::uint64_t bytesCopied = 0;   // bytes of the files copied
    // The source's files left out, a line each, for the user to see:
    // "00-05.aud: a link, not copied", "00-01.AUD: same take as 00-01.aud,
    // ignored".
    std::vector<std::string> notes;
    // After a cancel: "song 01 copied; songs 02, 03 and the machine file left
    // as they were".
    std::string summary;
};

// Copies the regular files of the source folder whose names match any of the
// patterns into the destination folder, replacing files there; other files
// there are left alone.
//
// Only regular files are copied and no link is ever followed: a link among
// the sources is left out with a note (LinkNote), a link in the destination
// is replaced by the copy, never written through. Of source names that
// differ only in letter case the first in byte order is copied, the others
// are left out with a note (CaseTwinNote). A copy replaces the destination's
// file that stands for its name (of the names there equal to it without
// regard to case, the first in byte order), else it takes the source's name.
//
// The files go song by song: a song's file (UtyPrmNN.tx5) with all its takes
// (NN-*.aud), the songs in number order; then the files that belong to no
// song; the machine file (SongNo.tx5) last. The files of a group are written
// to temporary files in the destination and put on the device, and only when
// the whole group is written are they renamed over their targets. So a
// failure, a cancel or a killed run leaves every song either wholly old or
// wholly new; the temporary files a killed run leaves are removed by the next
// copy into that folder.
//
// Before anything is written, the free space of the destination's file
// system is checked against the most the copy will need at any moment (a
// group's new files stand beside the files they replace until its renames);
// when it is short, the copy fails naming both sizes ("Not enough free space
// (4.0 GB needed, 3.2 GB free)") and nothing changes.
//
// A replaced regular file's permission bits stay (a new file gets the
// source's); the copy keeps the source's modification time. Copying a file
// onto itself (the same folder under another name, or another link to the
// same file) leaves it alone and counts it as skipped.
//
// Failures say kMsgCannotCopy, name the file in the path (its name in the
// folders copied) and give the reason; once groups are being written the
// reason goes on to say which songs were copied and which left as they were
// ("00-12.aud", "No space left on device; song 01 copied; song 02 and the
// machine file left as they were"). A folder that cannot be listed or made,
// or a lack of space (ErrorCode::NoSpace), names the folder; a source
// without matching files fails with kReasonNoFilesToCopy.
Result<CopyOutcome> CopyFiles(const CopyRequest& request, CopyProgress& progress);

}  // namespace trx5
