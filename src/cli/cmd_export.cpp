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
    if (args.output.empty()) return Usage(kUsageExportNeedsOutput);
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

    TerminalProgress progress(CreatingLabel(request.outputPath));
    const Result<ExportOutcome> result = ExportTakes(request, progress);
    if (!result) return Fail(request.outputPath + ": " + result.Describe());
    std::cout << CreatedText(request.outputPath) << '\n';
    if (result->cancelled) {
        Note(ExportInterruptedText(request.outputPath, result->blocksWritten, result->blocks));
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace

Command AddExportCommand(CLI::App& parent) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App* app = parent.add_subcommand("export", kHelpExport);
    app->footer(kHelpExportFooter);
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    app->add_option("TAKE", args->takes, kHelpExportTakes)->required();
    app->add_option("-o,--output", args->output, kHelpExportOutput)->required();
    app->add_option("--level", args->levels, kHelpLevel);
    app->add_option("--pan", args->pans, kHelpPan);
    AddFormatOption(*app, args->format, kHelpExportFormat);
    return {app, [args] { return RunExport(*args); }};
}

}  // namespace trx5::cli
