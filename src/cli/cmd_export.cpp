#include <iostream>

#include "cli/cli_common.h"
#include "convert/export.h"

namespace trx5::cli {

int CmdExport(const Args& args) {
    Args positional;
    std::string output;
    std::optional<ExportFormat> format;
    ExportRequest request;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "-o" || arg.rfind("--output", 0) == 0) {
            if (!OptionValue(args, i, arg == "-o" ? "-o" : "--output", value) || value.empty()) {
                return Usage("export: -o needs a file name");
            }
            output = value;
        } else if (arg.rfind("--level", 0) == 0 || arg.rfind("--pan", 0) == 0) {
            const bool level = arg.rfind("--level", 0) == 0;
            const std::string name = level ? "--level" : "--pan";
            if (!OptionValue(args, i, name, value)) return Usage("export: " + name + " needs T=N");
            const auto tv = ParseTrackValue(value, level ? 127 : 100);
            if (!tv) {
                return Usage("export: " + name + " '" + value +
                             "' must be T=N with track 1-4 and N " + (level ? "0-127" : "0-100"));
            }
            (level ? request.levels : request.pans)[tv->first] = tv->second;
        } else if (arg.rfind("--format", 0) == 0) {
            if (!OptionValue(args, i, "--format", value))
                return Usage("export: --format needs wav or aiff");
            if (value == "wav") {
                format = ExportFormat::Wav;
            } else if (value == "aiff") {
                format = ExportFormat::Aiff;
            } else {
                return Usage("export: unknown format '" + value + "' (wav or aiff)");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("export: unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
            ++i;
        }
    }
    if (positional.size() < 2)
        return Usage(positional.empty() ? "export: missing CARD" : "export: missing SONG");
    if (positional.size() < 3) return Usage("export: missing TAKE");
    if (output.empty()) return Usage("export: missing -o OUT");
    std::vector<TakeSlot> slots;
    for (std::size_t k = 2; k < positional.size(); ++k) {
        const auto slot = ParseTake(positional[k]);
        if (!slot)
            return Usage("export: TAKE '" + positional[k] +
                         "' must be T-V with track 1-4 and V-Take 1-8");
        for (const TakeSlot& other : slots) {
            if (other.track == slot->track) {
                return Usage("export: two takes for track " + std::to_string(slot->track + 1));
            }
        }
        slots.push_back(*slot);
    }
    // Parse the song number before touching the card, so bad usage is exit 2.
    if (!ParseSongNumber(positional[1])) {
        return Usage("export: song must be a number from 1 to 100: '" + positional[1] + "'");
    }
    const SongLookup lookup = FindSong(positional[0], positional[1]);
    if (!lookup.found) return lookup.exitCode;
    const SongOnCard& card = *lookup.found;
    const TakeFiles files = FindTakeFiles(card.folder, card.song.fileNumber);
    for (const TakeSlot& slot : slots) {
        const std::string& path = files[slot.track * kVTakes + slot.vtake];
        if (path.empty()) {
            return Fail("no take file for " + TakeCaption(slot) + " in song " +
                        card.song.ListText().substr(0, card.song.ListText().find(' ')));
        }
        request.takePaths[slot.track] = path;
    }
    request.longMode = card.song.longMode;
    request.outputPath = output;
    request.format = format ? *format : ChooseExportFormat(request.outputPath, false);

    TerminalProgress progress("Creating " + request.outputPath);
    const Result<ExportOutcome> result = ExportTakes(request, progress);
    if (!result) return Fail(request.outputPath + ": " + result.message());
    std::cout << request.outputPath << " created.\n";
    if (result->aborted) {
        std::cerr << "trx5card: interrupted; " << request.outputPath << " holds the first "
                  << result->blocksWritten << " of " << result->blocks << " blocks\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace trx5::cli
