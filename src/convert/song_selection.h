// What the user has picked in the window, without the window: the card
// folder and song shown, the take file of every grid slot, the V-Take
// selected per track and the one or two import destinations. It runs the
// selection rules and builds every request the window's commands send to
// the engines, so the window only shows it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "codec/track_mix.h"
#include "convert/export.h"
#include "convert/import.h"
#include "convert/stems.h"

namespace trx5 {

// The knob positions of the four tracks.
struct KnobPositions {
    std::array<int, kTracks> levels{kUnityLevel, kUnityLevel, kUnityLevel, kUnityLevel};
    std::array<int, kTracks> pans{kCentrePan, kCentrePan, kCentrePan, kCentrePan};
};

class SongSelection {
  public:
    // A card folder (ending with "/") and the song shown in it, its takes
    // found; every selection cleared.
    void ShowSong(std::string cardDir, int fileNumber, bool longMode, ::trx5::TakeFiles takeFiles);
    // No song shown: the folder alone, every slot and selection cleared.
    void Clear(std::string cardDir);
    // The V-Take selected on `track` (-1 for none).
    void SelectTake(int track, int vtake);
    // A track's import destination button pressed (on) or released. A third
    // destination drops the oldest; returns the track so dropped, if any.
    std::optional<int> SetDestination(int track, bool on);
    // A take file that now stands in a slot (after an import).
    void SetTakeFile(int slot, std::string path);
    // The import destinations: the destination tracks that have a V-Take
    // selected, the first chosen before the second.
    std::vector<TakeSlot> ImportDestinations() const;
    // The take file of each track's selected V-Take (empty where none).
    std::array<std::string, kTracks> SelectedTakePaths() const;
    // Tracks whose selected V-Take has a take file that can be measured (a
    // regular file, as the length read-out needs): those an export or an
    // audition plays.
    int PlayTracks() const;

    // The requests of the window's commands.

    // The mix of the selected takes through the knobs, into the file the
    // save dialog gave with the format of its chosen filter (the name then
    // settles the format, as ChooseExportFormat says).
    ExportRequest Export(const KnobPositions& knobs, std::string outputPath,
                         ExportFormat format) const;
    // One slot's take alone, named as the stems name it, into `folder`.
    ExportRequest ExportOne(int slot, const std::string& folder) const;  // WAV
    // An import of `sourcePath` into the destinations (none when there is no
    // destination).
    std::optional<ImportRequest> Import(std::string sourcePath, bool keepRate, bool mix) const;
    // An import into one slot (a file dropped on it).
    ImportRequest ImportInto(int slot, std::string sourcePath) const;
    // Every take of the song, each as its own file, into `outputFolder`.
    StemsRequest Stems(std::string outputFolder) const;

    std::string CardDir;          // ends with "/"
    ::trx5::TakeFiles TakeFiles;  // by SlotIndex; empty where no take
    std::array<int, kTracks> SelTake{-1, -1, -1, -1};
    int FirstSel = -1;   // first destination track (L/Mono), -1 none
    int SecondSel = -1;  // second destination track (R), -1 none
    bool LongMode = false;
    int FileNumber = 0;  // the song's file number, 00..99

  private:
    // The slot of a track's selected V-Take; none when no V-Take is.
    std::optional<TakeSlot> SelectedSlot(int track) const;
    // An import of the song into `first`, the rest left as the request has
    // it.
    ImportRequest ImportRequestFor(TakeSlot first) const;
};

}  // namespace trx5
