#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "codec/track_mix.h"
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

int RunExport(const ExportArgs& args) {
    ExportRequest request;
    int code = kExitOk;
    std::vector<TakeSlot> slots;
    if (!ApplyTrackValues("export", args.levels, "--level", kMaxLevel, request.levels, code) ||
        !ApplyTrackValues("export", args.pans, "--pan", kMaxPan, request.pans, code) ||
        !ParseTakes("export", args.takes, slots, code)) {
        return code;
    }
    if (args.output.empty()) return Usage("export: -o needs a file name");
    // Parse the song number before touching the card, so bad usage is exit 2.
    const std::optional<int> song = ParseSong("export: song", args.song, code);
    if (!song) return code;
    const SongLookup lookup = FindSong(args.card, *song);
    if (!lookup.found) return lookup.exitCode;
    const SongOnCard& card = *lookup.found;
    if (!FindTakePaths(card, slots, request.takePaths, code)) return code;
    request.longMode = card.song.longMode;
    request.outputPath = args.output;
    request.format = args.format.empty()
                         ? ChooseExportFormat(request.outputPath, ExportFormat::Wav)
                         : ExportFormatNamed(args.format).value_or(ExportFormat::Wav);

    TerminalProgress progress("Creating " + request.outputPath);
    const Result<ExportOutcome> result = ExportTakes(request, progress);
    if (!result) return Fail(request.outputPath + ": " + result.Describe());
    std::cout << request.outputPath << " created.\n";
    if (result->cancelled) {
        std::cerr << "trx5card: interrupted; " << request.outputPath << " holds the first "
                  << result->blocksWritten << " of " << result->blocks << " blocks\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace

Command AddExportCommand(CLI::App& parent) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App* app = parent.add_subcommand("export", "write takes to a WAV, AIFF or FLAC file");
    app->footer(
        "One TAKE gives a mono file with the take's samples unchanged; two to four give a stereo\n"
        "mix through each track's level and pan.");
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    app->add_option("TAKE", args->takes, "T-V: track 1-4, V-Take 1-8; one per track")->required();
    app->add_option("-o,--output", args->output, "the file to write")->required();
    app->add_option("--level", args->levels, "T=N: level of track T, 0-127 (default 100, unity)");
    app->add_option("--pan", args->pans, "T=N: pan of track T, 0-100 (default 50, centre)");
    AddFormatOption(*app, args->format,
                    "wav, aiff or flac (default: AIFF for a name ending in .aif, FLAC for .flac, "
                    "else WAV)");
    return {app, [args] { return RunExport(*args); }};
}

}  // namespace trx5::cli
