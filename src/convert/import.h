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
    TakeSlot first;                  // mono or left channel
    std::optional<TakeSlot> second;  // right channel of a stereo file
    // What a stop asked for by the progress does: keep the part imported so
    // far (the window's Abort), or cancel and leave the old takes as they
    // were (Ctrl-C on the command line).
    bool keepPartOnAbort = true;
};

struct ImportOutcome {
    std::vector<std::string> takePaths;  // the take files written, in target order
    std::uint64_t blocks = 0;            // whole blocks of the frames the file holds
    bool aborted = false;                // stopped early; takePaths empty when cancelled
};

// Codes the frames the file really holds (a header that claims more than
// the file contains does not make a longer take). A file that is not a
// usable WAV/AIFF, or holds no frame, is refused with "The file is not a
// WAV/AIFF.". Each take is written to an exclusive temporary file in the
// card folder and renamed over its target when complete; on failure or
// cancel the temporary files are removed and the takes that were there
// before are untouched. Temporary files of killed runs are cleared first.
Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress);

}  // namespace trx5
