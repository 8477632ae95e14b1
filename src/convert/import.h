// A WAV/AIFF file into one or two takes, coded in the song's mode.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "common/result.h"
#include "convert/progress.h"

namespace trx5 {

struct ImportRequest {
    std::string sourcePath;
    std::string cardDir;  // folder of the card, with or without trailing "/"
    int fileNumber = 0;   // song file number 0..99
    bool longMode = false;
    TakeSlot first;                 // mono or left channel
    std::optional<TakeSlot> second; // right channel of a stereo file
};

struct ImportOutcome {
    std::vector<std::string> takePaths;  // the take files written, in target order
    std::uint64_t blocks = 0;            // whole blocks of the source
    bool aborted = false;
};

// Writes each take to a temporary file in the card folder and renames it over
// the target when complete; on failure the temporary files are removed and
// the takes that were there before are untouched.
Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress);

}  // namespace trx5
