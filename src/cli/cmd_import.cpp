#include <iostream>
#include <memory>

#include "audiofile/converted_source.h"
#include "cli/cli_common.h"
#include "common/messages.h"
#include "convert/import.h"

namespace trx5::cli {

namespace {

struct ImportArgs {
    std::string card;
    std::string song;
    std::string file;
    std::string to;
    std::string right;
    bool keepRate = false;
    bool mix = false;
};

int RunImport(const ImportArgs& args) {
    const auto to = ParseTake(args.to);
    if (!to)
        return Usage("import: TAKE '" + args.to + "' must be T-V with track 1-4 and V-Take 1-8");
    std::optional<TakeSlot> right;
    if (!args.right.empty()) {
        right = ParseTake(args.right);
        if (!right) {
            return Usage("import: TAKE '" + args.right +
                         "' must be T-V with track 1-4 and V-Take 1-8");
        }
        if (right->track == to->track && right->vtake == to->vtake) {
            return Usage("import: --to and --right name the same take");
        }
    }
    int code = kExitOk;
    const std::optional<int> song = ParseSong("import: song", args.song, code);
    if (!song) return code;
    const SongLookup lookup = FindSong(args.card, *song);
    if (!lookup.found) return lookup.exitCode;

    ImportRequest request;
    request.sourcePath = args.file;
    request.cardDir = lookup.found->folder;
    request.fileNumber = lookup.found->song.fileNumber;
    request.longMode = lookup.found->song.longMode;
    request.first = *to;
    request.second = right;
    request.keepRate = args.keepRate;
    request.mixToMono = args.mix;

    TerminalProgress progress("Writing to Takes");
    const Result<ImportOutcome> result = ImportTakes(request, progress);
    if (!result) {
        // A rate that cannot be converted can still be taken as it is.
        if (result.code() == ErrorCode::CannotConvert && !args.keepRate) {
            return Fail(result.Describe() + "; --keep-rate takes the samples as they are");
        }
        return Fail(result.Describe());
    }
    if (result->cancelled) {
        std::cerr << kMsgImportCanceled << '\n';
        return kExitInterrupted;
    }
    if (right && result->takePaths.size() < 2) {
        std::cerr << "trx5card: the file is not stereo; only " << TakeCaption(*to)
                  << " was written\n";
    }
    std::cout << "Take(s) have been generated.\n";
    return kExitOk;
}

}  // namespace

Command AddImportCommand(CLI::App& parent) {
    auto args = std::make_shared<ImportArgs>();
    CLI::App* app = parent.add_subcommand("import", "code an audio file into takes");
    app->footer(
        "The first (or only) channel goes to --to, the right channel of a stereo file to\n"
        "--right, coded in the song's mode; takes that are there are replaced. A file at another\n"
        "rate than the song's (32000 Hz HiFi, 16000 Hz LONG) is converted to it, unless\n"
        "--keep-rate. Ctrl-C cancels and leaves the takes as they were.");
    AddCardArgument(*app, args->card);
    AddSongArgument(*app, args->song);
    app->add_option("FILE", args->file,
                    "the audio file: WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...")
        ->required();
    app->add_option("--to", args->to, "T-V: the take for the first channel")->required();
    app->add_option("--right", args->right, "T-V: the take for the right channel");
    app->add_flag("--keep-rate", args->keepRate,
                  "take the samples as they are, without converting the rate (the recorder's "
                  "own way: a 44100 Hz file plays slower and lower)");
    app->add_flag("--mix", args->mix,
                  "a stereo file into one take: both channels mixed, each at half (ignored with "
                  "--right; refused for a file that is not stereo)");
    return {app, [args] { return RunImport(*args); }};
}

}  // namespace trx5::cli
