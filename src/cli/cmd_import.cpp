#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "convert/convert_messages.h"
#include "convert/import.h"
#include "organize/history_import.h"

namespace trx5::cli {

namespace {

struct ImportArgs {
    std::string card;
    std::string song;
    std::string file;
    std::string to;
    std::string right;
    std::string limit;
    bool keepRate = false;
    bool mix = false;
};

int RunImport(const ImportArgs& args) {
    int code = kExitOk;
    const auto to = ParseTake("import", args.to, code);
    if (!to) return code;
    std::optional<TakeSlot> right;
    if (!args.right.empty()) {
        right = ParseTake("import", args.right, code);
        if (!right) return code;
        if (right->track == to->track && right->vtake == to->vtake) {
            return Usage(kUsageSameTake);
        }
    }
    const std::optional<int> song = ParseSong("import: song", args.song, code);
    if (!song) return code;
    OrganizeOptions options;
    const auto limit = ParseHistoryLimit("import", args.limit, code);
    if (!limit) return code;
    options.historyLimit = *limit;
    const SongLookup lookup = FindSong(args.card, *song);
    if (!lookup.found) return lookup.exitCode;
    // The takes replaced go into the card's history, where undo finds them.
    auto history = TakeHistory::Open(lookup.found->folder);
    if (!history) return FailWith(history.status());

    ImportRequest request;
    request.sourcePath = args.file;
    request.cardDir = lookup.found->folder;
    request.fileNumber = lookup.found->song.fileNumber;
    request.longMode = lookup.found->song.longMode;
    request.first = *to;
    request.second = right;
    request.keepRate = args.keepRate;
    request.mixToMono = args.mix;

    TerminalProgress progress(kLabelWritingTakes);
    const Result<HistoryImport> result =
        ImportKeepingReplaced(*history, request, progress, options);
    if (!result) {
        // A rate that cannot be converted can still be taken as it is.
        if (result.code() == ErrorCode::CannotConvert && !args.keepRate) {
            return Fail(result.Describe() + kHintKeepRate);
        }
        return Fail(result.Describe());
    }
    if (result->import.cancelled) {
        std::cerr << kMsgImportCanceled << '\n';
        return kExitInterrupted;
    }
    if (right && result->import.takePaths.size() < 2) {
        Note(NotStereoText(TakeCaption(*to)));
    }
    for (const std::string& note : result->kept.notes) Note(note);
    std::cout << kMsgTakesGenerated << '\n';
    const std::vector<std::string>& kept = result->kept.kept;
    for (const std::optional<TakeSlot>& slot : {to, right}) {
        if (slot &&
            std::find(kept.begin(), kept.end(),
                      TakeFileName(request.fileNumber, slot->track, slot->vtake)) != kept.end()) {
            std::cout << ReplacedKeptText(SongNumberText(*song), TakeCaption(*slot)) << '\n';
        }
    }
    return kExitOk;
}

}  // namespace

Command AddImportCommand(CLI::App& parent) {
    auto args = std::make_shared<ImportArgs>();
    CLI::App* app = parent.add_subcommand("import", kHelpImport);
    app->footer(kHelpImportFooter);
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    app->add_option("FILE", args->file, kHelpImportFile)->required();
    app->add_option("--to", args->to, kHelpImportTo)->required();
    app->add_option("--right", args->right, kHelpImportRight);
    app->add_flag("--keep-rate", args->keepRate, kHelpImportKeepRate);
    app->add_flag("--mix", args->mix, kHelpImportMix);
    app->add_option("--history-limit", args->limit, kHelpHistoryLimit);
    return {app, [args] { return RunImport(*args); }};
}

}  // namespace trx5::cli
