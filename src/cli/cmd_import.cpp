#include <iostream>

#include "cli/cli_common.h"
#include "convert/import.h"

namespace trx5::cli {

int CmdImport(const Args& args) {
    Args positional;
    std::optional<TakeSlot> to;
    std::optional<TakeSlot> right;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        std::string value;
        if (arg.rfind("--to", 0) == 0 || arg.rfind("--right", 0) == 0) {
            const std::string name = arg.rfind("--to", 0) == 0 ? "--to" : "--right";
            if (!OptionValue(args, i, name, value))
                return Usage("import: " + name + " needs a TAKE");
            const auto slot = ParseTake(value);
            if (!slot)
                return Usage("import: TAKE '" + value +
                             "' must be T-V with track 1-4 and V-Take 1-8");
            (name == "--to" ? to : right) = slot;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("import: unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
            ++i;
        }
    }
    if (positional.size() < 3) {
        return Usage(positional.empty()       ? "import: missing CARD"
                     : positional.size() == 1 ? "import: missing SONG"
                                              : "import: missing FILE");
    }
    if (positional.size() > 3) return Usage("import: too many arguments");
    if (!to) return Usage("import: missing --to TAKE");
    if (right && right->track == to->track && right->vtake == to->vtake) {
        return Usage("import: --to and --right name the same take");
    }
    if (!ParseSongNumber(positional[1])) {
        return Usage("import: song must be a number from 1 to 100: '" + positional[1] + "'");
    }
    const SongLookup lookup = FindSong(positional[0], positional[1]);
    if (!lookup.found) return lookup.exitCode;

    ImportRequest request;
    request.sourcePath = positional[2];
    request.cardDir = lookup.found->folder;
    request.fileNumber = lookup.found->song.fileNumber;
    request.longMode = lookup.found->song.longMode;
    request.first = *to;
    request.second = right;

    TerminalProgress progress("Writing to Takes");
    const Result<ImportOutcome> result = ImportTakes(request, progress);
    if (!result) return Fail(result.message());
    if (right && result->takePaths.size() < 2) {
        std::cerr << "trx5card: the file is not stereo; only " << TakeCaption(*to)
                  << " was written\n";
    }
    std::cout << "Take(s) have been generated.\n";
    return result->aborted ? kExitInterrupted : kExitOk;
}

}  // namespace trx5::cli
