#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"

namespace trx5::cli {

int CmdTakes(const Args& args) {
    if (args.size() < 2) return Usage(args.empty() ? "takes: missing CARD" : "takes: missing SONG");
    if (args.size() > 2) return Usage("takes: too many arguments");
    const SongLookup lookup = FindSong(args[0], args[1]);
    if (!lookup.found) return lookup.exitCode;
    const SongOnCard& card = *lookup.found;
    const TakeFiles files = FindTakeFiles(card.folder, card.song.fileNumber);
    for (int t = 0; t < kTracks; ++t) {
        for (int v = 0; v < kVTakes; ++v) {
            const std::string& path = files[t * kVTakes + v];
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

}  // namespace trx5::cli
