// V-Takes to one WAV, AIFF or FLAC file: one take unchanged as mono, two to
// four mixed into stereo.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "codec/track_mix.h"
#include "common/messages.h"
#include "common/result.h"
#include "convert/progress.h"

namespace trx5 {

// FLAC files hold 16-bit samples and are written through libsndfile.
enum class ExportFormat { Wav, Aiff, Flac };

// Each format with its name on the command line and the extension its files
// get.
struct ExportFormatName {
    ExportFormat format;
    const char* name;       // "wav", "aiff", "flac"
    const char* extension;  // ".wav", ".aif", ".flac"
};
inline constexpr std::array<ExportFormatName, 3> kExportFormats{{
    {ExportFormat::Wav, "wav", ".wav"},
    {ExportFormat::Aiff, "aiff", ".aif"},
    {ExportFormat::Flac, "flac", ".flac"},
}};

// The format of a name of kExportFormats; none for any other.
std::optional<ExportFormat> ExportFormatNamed(std::string_view name);

// The extension a file of the format gets: ".wav", ".aif", ".flac".
const char* ExportFileExtension(ExportFormat format);

// The format rule of the save dialog: ".aif" in any case means AIFF and
// ".flac" FLAC; a name without an extension takes the format of the chosen
// filter (and gets ".aif" or ".flac" appended for those); everything else
// is WAV.
ExportFormat ChooseExportFormat(std::string& fileName, ExportFormat chosenFilter);

struct ExportRequest {
    bool longMode = false;
    std::array<std::string, kTracks> takePaths;  // per track; empty = takes no part
    std::array<int, kTracks> levels = EveryTrack(kUnityLevel);
    std::array<int, kTracks> pans = EveryTrack(kCentrePan);
    std::string outputPath;
    ExportFormat format = ExportFormat::Wav;
};

struct ExportOutcome {
    int channels = 0;
    std::uint64_t blocks = 0;         // blocks the take(s) hold
    std::uint64_t blocksWritten = 0;  // fewer after a cancel
    bool cancelled = false;           // stopped by the progress
};

// Writes the file. Takes are opened and the output's size is checked against
// the 4 GB limit of WAV and AIFF (FLAC has none) before anything is written. The output is written
// under a temporary name and renamed over the target when complete, so on
// any failure a file that was there stays as it was.
Result<ExportOutcome> ExportTakes(const ExportRequest& request, Progress& progress);

}  // namespace trx5
