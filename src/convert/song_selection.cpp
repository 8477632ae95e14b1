#include "convert/song_selection.h"

#include <utility>

#include "common/folder.h"

namespace trx5 {

namespace {

bool IsTrack(int track) { return track >= 0 && track < kTracks; }
bool IsSlot(int slot) { return slot >= 0 && slot < kTracks * kVTakes; }

}  // namespace

void SongSelection::ShowSong(std::string cardDir, int fileNumber, bool longMode,
                             ::trx5::TakeFiles takeFiles) {
    Clear(std::move(cardDir));
    TakeFiles = std::move(takeFiles);
    FileNumber = fileNumber;
    LongMode = longMode;
}

void SongSelection::Clear(std::string cardDir) {
    CardDir = WithTrailingSlash(std::move(cardDir));
    for (std::string& path : TakeFiles) path.clear();
    SelTake = EveryTrack(-1);
    FirstSel = -1;
    SecondSel = -1;
    LongMode = false;
    FileNumber = 0;
}

void SongSelection::SelectTake(int track, int vtake) {
    if (!IsTrack(track)) return;
    SelTake[track] = vtake >= 0 && vtake < kVTakes ? vtake : -1;
}

std::optional<int> SongSelection::SetDestination(int track, bool on) {
    if (!IsTrack(track)) return std::nullopt;
    if (on) {
        // A track is a destination once; a second press of it changes nothing.
        if (track == FirstSel || track == SecondSel) return std::nullopt;
        if (FirstSel == -1) {
            FirstSel = track;
        } else if (SecondSel == -1) {
            SecondSel = track;
        } else {
            // A third choice drops the oldest.
            const int dropped = FirstSel;
            FirstSel = SecondSel;
            SecondSel = track;
            return dropped;
        }
    } else if (SecondSel == track) {
        SecondSel = -1;
    } else if (FirstSel == track) {
        FirstSel = SecondSel;
        SecondSel = -1;
    }
    return std::nullopt;
}

void SongSelection::SetTakeFile(int slot, std::string path) {
    if (IsSlot(slot)) TakeFiles[slot] = std::move(path);
}

std::optional<TakeSlot> SongSelection::SelectedSlot(int track) const {
    if (!IsTrack(track) || SelTake[track] < 0 || SelTake[track] >= kVTakes) return std::nullopt;
    return TakeSlot{track, SelTake[track]};
}

std::vector<TakeSlot> SongSelection::ImportDestinations() const {
    std::vector<TakeSlot> targets;
    for (int track : {FirstSel, SecondSel}) {
        if (const auto slot = SelectedSlot(track)) targets.push_back(*slot);
    }
    return targets;
}

std::array<std::string, kTracks> SongSelection::SelectedTakePaths() const {
    std::array<std::string, kTracks> paths;
    for (int t = 0; t < kTracks; ++t) {
        if (const auto slot = SelectedSlot(t)) paths[t] = TakeFiles[SlotIndex(*slot)];
    }
    return paths;
}

int SongSelection::PlayTracks() const {
    int tracks = 0;
    for (const std::string& path : SelectedTakePaths()) {
        if (!path.empty() && TakeFileBlocks(path)) ++tracks;
    }
    return tracks;
}

ExportRequest SongSelection::Export(const KnobPositions& knobs, std::string outputPath,
                                    ExportFormat format) const {
    ExportRequest request;
    request.outputPath = std::move(outputPath);
    request.format = ChooseExportFormat(request.outputPath, format);
    request.longMode = LongMode;
    request.takePaths = SelectedTakePaths();
    request.levels = knobs.levels;
    request.pans = knobs.pans;
    return request;
}

ExportRequest SongSelection::ExportOne(int slot, const std::string& folder) const {
    ExportRequest request;
    request.longMode = LongMode;
    request.format = ExportFormat::Wav;
    if (!IsSlot(slot)) return request;
    const TakeSlot take = SlotAt(slot);
    request.takePaths[take.track] = TakeFiles[slot];
    request.outputPath = WithTrailingSlash(folder) + StemFileName(FileNumber + 1, take.track + 1,
                                                                  take.vtake + 1, request.format);
    return request;
}

ImportRequest SongSelection::ImportRequestFor(TakeSlot first) const {
    ImportRequest request;
    request.cardDir = CardDir;
    request.fileNumber = FileNumber;
    request.longMode = LongMode;
    request.first = first;
    return request;
}

std::optional<ImportRequest> SongSelection::Import(std::string sourcePath, bool keepRate,
                                                   bool mix) const {
    const std::vector<TakeSlot> destinations = ImportDestinations();
    if (destinations.empty()) return std::nullopt;
    ImportRequest request = ImportRequestFor(destinations[0]);
    if (destinations.size() > 1) request.second = destinations[1];
    request.sourcePath = std::move(sourcePath);
    request.keepRate = keepRate;
    // Two destinations take the channels apart; only one can take a mix.
    request.mixToMono = destinations.size() == 1 && mix;
    return request;
}

ImportRequest SongSelection::ImportInto(int slot, std::string sourcePath) const {
    ImportRequest request = ImportRequestFor(SlotAt(slot));
    request.sourcePath = std::move(sourcePath);
    return request;
}

StemsRequest SongSelection::Stems(std::string outputFolder) const {
    StemsRequest request;
    request.cardDir = CardDir;
    request.fileNumber = FileNumber;
    request.outputFolder = std::move(outputFolder);
    return request;
}

}  // namespace trx5
