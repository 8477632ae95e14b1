// Backup and restore of a card: the files of one folder that match wildcard
// patterns, copied into another folder without ever leaving a half-written
// file under a real name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"

namespace trx5 {

// The files of a card: the machine file and song files (*.tx5) and the takes
// (*.aud).
inline constexpr std::array<const char*, 2> kCardFilePatterns{"*.tx5", "*.aud"};

inline constexpr char kMsgNoCardInfo[] = "No TRX-5 card information";
inline constexpr char kMsgInvalidCardInfo[] = "Invalid TRX-5 card information";
inline constexpr char kReasonNoFilesToCopy[] = "No files to copy";

// The check before a backup (of the card folder) or a restore (from a backup
// folder): the folder's machine file must be there and valid. Fails with
// kMsgNoCardInfo or kMsgInvalidCardInfo.
Status CheckCardFolder(const std::string& folder);

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
};

// Copies the regular files of the source folder whose names match any of the
// patterns (links only when they lead to regular files) into the destination
// folder, in name order, replacing files there; other files there are left
// alone. A file there under another letter case is replaced under its name.
//
// Each file is written to a temporary file in the destination, put on the
// device and only then renamed over its target, which keeps its permission
// bits (a new file gets the source's); the copy keeps the source's
// modification time. A cancel or failure leaves the files copied before it
// complete and the file being replaced as it was. Copying a file onto itself
// (the same folder under another name, or a link to it) leaves it alone and
// counts it as skipped.
//
// Failures name the file and give the reason ("00-12.aud", "No space left on
// device"); a folder that cannot be listed or made names the folder; a source
// without matching files fails with kReasonNoFilesToCopy.
Result<CopyOutcome> CopyFiles(const CopyRequest& request, CopyProgress& progress);

}  // namespace trx5
