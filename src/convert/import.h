// An audio file into one or two takes, coded in the song's mode.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/audio_source.h"
#include "card/take_file.h"
#include "common/result.h"
#include "convert/convert_messages.h"
#include "convert/progress.h"

namespace trx5 {

struct ImportRequest {
    std::string sourcePath;
    std::string cardDir;  // folder of the card, with or without trailing "/"
    int fileNumber = 0;   // song file number 0..99
    bool longMode = false;
    TakeSlot first;                  // mono or left channel
    std::optional<TakeSlot> second;  // right channel of a stereo file
    // What a stop asked for by the progress does: cancel and leave the old
    // takes as they were (the window's Abort, Ctrl-C on the command line),
    // or keep the part imported so far.
    bool keepPartOnAbort = false;
    // Code the samples as they are, whatever the file's rate (the recorder's
    // own import: a 44100 Hz file plays slower and lower). Otherwise a file
    // at another rate than the song's is converted to it first.
    bool keepRate = false;
    // A stereo file into one take: both channels mixed, each at half
    // ((left + right) / 2, rounded toward minus infinity), instead of the
    // left one. Ignored when the right channel has a take of its own; for
    // one take from a file that is not stereo the import is refused ("Only
    // a stereo file can be mixed into one take.").
    bool mixToMono = false;
    // Called once every take is complete under its temporary name, just
    // before the takes are renamed over their targets, with the targets'
    // paths in target order. A failure it returns fails the import with no
    // take replaced. A caller keeps the takes about to be replaced here.
    std::function<Status(const std::vector<std::string>& targetPaths)> beforeCommit;
};

struct ImportOutcome {
    std::vector<std::string> takePaths;  // the take files written, in target order
    // Whole blocks of the frames coded: those the file holds, or with a rate
    // conversion those it gives at the song's rate.
    std::uint64_t blocks = 0;
    // Stopped by the progress; takePaths empty unless keepPartOnAbort.
    bool cancelled = false;
};

// A file's rate and the song's, when an import converts one to the other.
struct RateChange {
    double from = 0;
    std::uint32_t to = 0;
    std::string Describe() const;  // "44100 Hz -> 32000 Hz", "22050.5 Hz -> 16000 Hz"
};

// The conversion an import into a song of this mode makes (unless asked to
// keep the rate): none for a file at the song's rate.
std::optional<RateChange> ImportRateChange(double fileRate, bool longMode);
std::optional<RateChange> ImportRateChange(const AudioSourceInfo& info, bool longMode);

// Reads the file through AudioSource and codes the frames it really holds
// (a header that claims more than the file contains does not make a longer
// take). Where they must be counted first (an MPEG stream, a header that
// cannot be confirmed), the progress is asked as block 0 of 1 between
// pieces of the count; a stop then gives a cancelled outcome with no take
// written. A file at another rate than the song's is converted with libsoxr
// (high quality) unless `keepRate`: the take then holds ConvertedFrames of
// the file's frames, and the progress counts the whole blocks of those. A
// file at the song's rate is coded exactly as it always was. A file that
// cannot be opened fails with "The file could not be opened." and the
// reason; one without a usable frame with "The file is not a WAV/AIFF.";
// a conversion from a rate below 1000 Hz with "The sampling rate could not
// be converted." (the samples can be kept as they are). Before anything is
// written, takes that will not fit in the free space of the card's file
// system are refused ("The take needs 4.0 GB; the card has 120 MB free.").
// Each take is written to an exclusive temporary file in the card folder
// and renamed over its target when complete; on failure or cancel the
// temporary files are removed and the takes that were there before are
// untouched. Temporary files of killed runs are cleared first.
Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress);

}  // namespace trx5
