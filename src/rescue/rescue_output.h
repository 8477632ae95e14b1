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

struct RescuedTake {
    std::string name;  // under unplaced/: "rescued-0001-HiFi.aud"
    FoundItem found;
};

struct RescueOutcome {
    std::vector<RescuedTake> takes;
    int songFilesFound = 0;
    bool machineFileFound = false;  // else one was made
    std::uint64_t sectors = 0;
    std::uint64_t unreadableSectors = 0;  // while carving
    // Sectors of rescued takes that were read while carving but failed when
    // read again to be written; written as zeros.
    std::uint64_t rereadFailures = 0;
    std::string reportPath;
    std::string report;      // the report's text, as written
    bool cancelled = false;  // stopped by the progress; the report says what was written
};

// "rescued-0001-HiFi.aud" for the first take, in LONG "...-LONG.aud".
std::string RescuedTakeName(int number, bool longMode);

// Carves `reader` and writes what it finds into `dir`, a folder that is
// made when absent and must be empty otherwise (ErrorCode::Exists): a
// machine file, every take with at least one block under unplaced/ with a
// WAV file of its sound beside it, and the report.
Result<RescueOutcome> RescueToFolder(SectorReader& reader, const std::string& dir,
                                     const RescueOptions& options = {});

}  // namespace trx5
