// A rescue written out: the takes carved from a card image or device put
// into a new card folder, each with a WAV file beside it, and a report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "convert/progress.h"
#include "rescue/carver.h"
#include "rescue/sector_reader.h"

namespace trx5 {

inline constexpr char kRescueReportName[] = "rescue-report.txt";
inline constexpr char kUnplacedFolder[] = "unplaced/";

struct RescueOptions {
    // Where the report goes; empty for DIR/rescue-report.txt. An existing
    // file there is not replaced (ErrorCode::Exists).
    std::string reportPath;
    // Leave the file system aside and carve the whole source.
    bool carveOnly = false;
    // Told the work done of kRescueProgressTotal once per chunk read or
    // written; answers false to cancel.
    Progress* progress = nullptr;
};

// The scale of the progress: reading the source counts for the first 70%,
// writing what was found for the rest.
inline constexpr std::uint64_t kRescueProgressTotal = 1000000;

// How a rescued file was found, best first.
enum class FoundBy {
    Live,     // a file of the file system
    Deleted,  // a directory entry marked deleted, followed from its first cluster
    Carved,   // by its signature in the raw sectors
};

struct RescuedTake {
    // Where it was written, under the rescue's folder: "00-01.aud" when the
    // file system still names it, else "unplaced/rescued-0001-HiFi.aud".
    std::string name;
    FoundBy by = FoundBy::Carved;
    std::string entryName;  // the directory entry's name (live or deleted)
    // Where it is in the source, its blocks and their checks. A take whose
    // source ends within it is not complete().
    FoundItem found;
};

// A song file or the machine file rescued.
struct RescuedInfoFile {
    std::string name;  // "UtyPrm00.tx5", "unplaced/rescued-song-0001.tx5"
    FoundBy by = FoundBy::Carved;
    std::string entryName;
    std::uint64_t offset = 0;  // byte of the source
    std::uint64_t bytes = 0;
    bool damaged = false;  // its signature is not right: kept under unplaced/
};

struct RescueOutcome {
    std::string fileSystem;  // "FAT16 at byte 0", or empty when none was found
    std::vector<RescuedTake> takes;
    std::vector<RescuedInfoFile> infoFiles;
    int songFilesFound = 0;
    bool machineFileFound = false;           // else one was made
    std::vector<std::string> songFilesMade;  // for named takes whose song file was not found
    std::uint64_t sectors = 0;
    std::uint64_t unreadableSectors = 0;  // over the whole rescue
    std::string reportPath;
    std::string report;      // the report's text, as written
    bool cancelled = false;  // stopped by the progress; the report says what was written
};

// "rescued-0001-HiFi.aud" for the first take, in LONG "...-LONG.aud".
std::string RescuedTakeName(int number, bool longMode);
// "fragment-0001-HiFi.aud": take blocks that no header starts.
std::string RescuedFragmentName(int number, bool longMode);

// Finds the recorder's files in `reader` (through its file system, live and
// deleted, then by carving the sectors no such file holds) and writes them
// into `dir`, a folder that is made when absent and must be empty otherwise
// (ErrorCode::Exists), as a card folder: a machine file (made when none is
// found), the song files and takes under their names where the file system
// still gives them, song files made for named takes whose song file is gone,
// the others under unplaced/ (takes with a WAV file of their sound beside
// them), and the report. Nothing in the source is written.
Result<RescueOutcome> RescueToFolder(SectorReader& reader, const std::string& dir,
                                     const RescueOptions& options = {});

}  // namespace trx5
