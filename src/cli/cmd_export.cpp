#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "convert/export.h"

namespace trx5::cli {

namespace {

struct ExportArgs {
    std::string card;
    std::string song;
    std::vector<std::string> takes;
    std::string output;
    std::vector<std::string> levels;
    std::vector<std::string> pans;
    std::string format;
};

// Applies "T=N" values to the per-track array; false after a usage message.
bool ApplyTrackValues(const std::vector<std::string>& values, const char* name, int max,
                      std::array<int, 4>& out, int& exitCode) {
    for (const std::string& value : values) {
        const auto tv = ParseTrackValue(value, max);
        if (!tv) {
            exitCode = Usage("export: " + std::string(name) + " '" + value +
                             "' must be T=N with track 1-4 and N 0-" + std::to_string(max));
            return false;
        }
        out[tv->first] = tv->second;
    }
    return true;
}

int RunExport(const ExportArgs& args) {
    ExportRequest request;
    int code = kExitOk;
    if (!ApplyTrackValues(args.levels, "--level", 127, request.levels, code) ||
        !ApplyTrackValues(args.pans, "--pan", 100, request.pans, code)) {
        return code;
    }
    if (args.output.empty()) return Usage("export: -o needs a file name");
    std::vector<TakeSlot> slots;
    for (const std::string& text : args.takes) {
        const auto slot = ParseTake(text);
        if (!slot) {
            return Usage("export: TAKE '" + text + "' must be T-V with track 1-4 and V-Take 1-8");
        }
        for (const TakeSlot& other : slots) {
            if (other.track == slot->track) {
                return Usage("export: two takes for track " + std::to_string(slot->track + 1));
            }
        }
        slots.push_back(*slot);
    }
    // Parse the song number before touching the card, so bad usage is exit 2.
    if (!ParseSongNumber(args.song)) {
        return Usage("export: song must be a number from 1 to 100: '" + args.song + "'");
    }
    const SongLookup lookup = FindSong(args.card, args.song);
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
    request.outputPath = args.output;
    if (args.format.empty()) {
        request.format = ChooseExportFormat(request.outputPath, false);
    } else {
        request.format = args.format == "aiff" ? ExportFormat::Aiff : ExportFormat::Wav;
    }

    TerminalProgress progress("Creating " + request.outputPath);
    const Result<ExportOutcome> result = ExportTakes(request, progress);
    if (!result) return Fail(request.outputPath + ": " + result.Describe());
    std::cout << request.outputPath << " created.\n";
    if (result->aborted) {
        std::cerr << "trx5card: interrupted; " << request.outputPath << " holds the first "
                  << result->blocksWritten << " of " << result->blocks << " blocks\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace

Command AddExportCommand(CLI::App& parent) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App* app = parent.add_subcommand("export", "write takes to a WAV or AIFF file");
    app->footer(
        "One TAKE gives a mono file with the take's samples unchanged; two to four give a stereo\n"
        "mix through each track's level and pan.");
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    app->add_option("TAKE", args->takes, "T-V: track 1-4, V-Take 1-8; one per track")->required();
    app->add_option("-o,--output", args->output, "the file to write")->required();
    app->add_option("--level", args->levels, "T=N: level of track T, 0-127 (default 100, unity)");
    app->add_option("--pan", args->pans, "T=N: pan of track T, 0-100 (default 50, centre)");
    app->add_option("--format", args->format,
                    "wav or aiff (default: AIFF for a name ending in .aif, else WAV)")
        ->check(CLI::IsMember({"wav", "aiff"}));
    return {app, [args] { return RunExport(*args); }};
}

}  // namespace trx5::cli
