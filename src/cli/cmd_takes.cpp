#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/cli_common.h"

namespace trx5::cli {

namespace {

struct TakesArgs {
    std::string card;
    std::string song;
};

int RunTakes(const TakesArgs& args) {
    int code = kExitOk;
    const std::optional<int> song = ParseSong("song", args.song, code);
    if (!song) return code;
    const SongLookup lookup = FindSong(args.card, *song);
    if (!lookup.found) return lookup.exitCode;
    const SongOnCard& card = *lookup.found;
    PrintCardNotes(card.folder);
    const TakeFiles files = FindTakeFiles(card.folder, card.song.fileNumber);
    for (int t = 0; t < kTracks; ++t) {
        for (int v = 0; v < kVTakes; ++v) {
            const std::string& path = files[SlotIndex(t, v)];
            if (path.empty()) continue;
            const auto blocks = TakeFileBlocks(path);
            if (!blocks) continue;  // gone since the search
            std::cout << TakeCaption({t, v}) << "  "
                      << FormatTakeLength(TakeLengthMs(*blocks, card.song.longMode)) << "  "
                      << std::filesystem::path(path).filename().string() << '\n';
        }
    }
    return kExitOk;
}

}  // namespace

Command AddTakesCommand(CLI::App& parent) {
    auto args = std::make_shared<TakesArgs>();
    CLI::App* app = parent.add_subcommand("takes", kHelpTakes);
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    return {app, [args] { return RunTakes(*args); }};
}

}  // namespace trx5::cli
