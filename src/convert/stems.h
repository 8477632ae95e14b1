// Stems: every take of a song, or of every song on a card, as its own mono
// file with its samples unchanged, named so that a DAW lists them in order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "common/result.h"
#include "convert/export.h"
#include "convert/progress.h"

namespace trx5 {

// "Song01_Track1_VTake3.wav": the song number as the song list shows it
// (1..100: two digits, three for 100), track 1..4 and V-Take 1..8, all
// counted from 1.
std::string StemFileName(int songNumber, int track, int vtake, ExportFormat format);

// "Song01_Mix.wav", the song number counted from 1.
std::string MixFileName(int songNumber, ExportFormat format);

// A selection of takes mixed through the knobs, as the export mixes it.
struct StemMix {
    std::array<int, kTracks> vtakes = EveryTrack(-1);  // per track, from 0; -1 none
    std::array<int, kTracks> levels = EveryTrack(kUnityLevel);
    std::array<int, kTracks> pans = EveryTrack(kCentrePan);
};

struct StemsRequest {
    std::string cardDir;
    std::optional<int> fileNumber;  // one song (the NN of its files), or every song
    std::string outputFolder;       // made with its parents when missing
    ExportFormat format = ExportFormat::Wav;
    // Also each song's mix of this selection, as MixFileName, after the
    // song's stems. Takes of the selection a song lacks play no part; a song
    // with none of them gets no mix.
    std::optional<StemMix> mix;
    // Files of the output folder that the run would write over are replaced
    // only when asked to; otherwise the run refuses before writing anything.
    bool replaceExisting = false;
};

// What a run did. The files it completed are listed in the caller's
// `written` (ExportStems), also when the run fails part way.
struct StemsOutcome {
    std::uint64_t blocks = 0;  // blocks of all files to write
    bool cancelled = false;
};

// The files of the output folder (output folder + name) that the request
// would write over, in the order they would be written.
std::vector<std::string> StemsExistingFiles(const StemsRequest& request);

// Writes the stems of the request's songs in song order, within a song by
// track and V-Take, each through ExportTakes (so each is exactly what an
// export of that one take writes), and appends each file complete under its
// name to `written` (output folder + name). The progress runs once over all
// blocks of all files. A cancel stops between blocks: the files finished
// before stay, and the file being written is dropped, leaving any older file
// of its name as it was. A failure stops the run the same way; it says "The
// file could not be written." and names the file it concerns (a take that
// could not be read, else the file being written, or the output folder) and
// what went wrong. Unless replaceExisting, a run that would write over files
// already there writes nothing and fails (ErrorCode::Exists) naming the
// first of them ("File exists"). A failed card check fails as the check
// does, naming no file.
Result<StemsOutcome> ExportStems(const StemsRequest& request, Progress& progress,
                                 std::vector<std::string>& written);

}  // namespace trx5
