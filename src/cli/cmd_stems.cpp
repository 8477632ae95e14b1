#include <iostream>
#include <memory>
#include <utility>

#include "cli/cli_common.h"
#include "common/folder.h"
#include "convert/stems.h"

namespace trx5::cli {

namespace {

struct StemsArgs {
    std::string card;
    std::string dir;
    std::string song;
    CLI::Option* songOption = nullptr;
    std::string format = kExportFormats.front().name;  // WAV
    bool force = false;
};

int RunStems(const StemsArgs& args) {
    StemsRequest request;
    request.cardDir = WithTrailingSlash(args.card);
    if (args.songOption->count() > 0) {
        // Parse the song number before touching the card, so bad usage is exit 2.
        int code = kExitOk;
        const std::optional<int> song = ParseSong("stems: --song", args.song, code);
        if (!song) return code;
        const SongLookup lookup = FindSong(args.card, *song);
        if (!lookup.found) return lookup.exitCode;
        request.fileNumber = lookup.found->song.fileNumber;
    } else if (const int code = CheckCard(request.cardDir); code != kExitOk) {
        return code;
    }
    PrintCardNotes(request.cardDir);
    request.outputFolder = args.dir;
    request.replaceExisting = args.force;
    request.format = ExportFormatNamed(args.format).value_or(ExportFormat::Wav);

    std::vector<std::string> written;
    const Result<StemsOutcome> result = [&] {
        TerminalProgress progress(WritingStemsLabel(args.dir));
        return ExportStems(request, progress, written);
    }();
    for (const std::string& file : written) std::cout << file << '\n';
    if (!result) {
        if (result.code() == ErrorCode::Exists) {
            return Fail(result.FileAndReason() + kHintForce);
        }
        return Fail(result.FileAndReason());
    }
    if (result->cancelled) {
        std::cerr << kMsgOperationCanceled << '\n';
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace

Command AddStemsCommand(CLI::App& parent) {
    auto args = std::make_shared<StemsArgs>();
    CLI::App* app = parent.add_subcommand("stems", kHelpStems);
    app->footer(kHelpStemsFooter);
    AddCardArgument(*app, args->card);
    app->add_option("DIR", args->dir, kHelpStemsDir)->required();
    args->songOption = app->add_option("--song", args->song, kHelpStemsSong);
    AddFormatOption(*app, args->format, kHelpStemsFormat);
    app->add_flag("--force", args->force, kHelpStemsForce);
    return {app, [args] { return RunStems(*args); }};
}

}  // namespace trx5::cli
