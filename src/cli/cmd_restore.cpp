#include <algorithm>
#include <memory>

#include "cli/cli_common.h"
#include "common/folder.h"

namespace trx5::cli {

namespace {

struct RestoreArgs {
    std::string dir;
    std::string card;
};

}  // namespace

Command AddRestoreCommand(CLI::App& parent) {
    auto args = std::make_shared<RestoreArgs>();
    CLI::App* app = parent.add_subcommand("restore", "copy a backup folder's files onto a card");
    app->footer(
        "DIR must be a card folder (a machine file and songs). Its *.tx5 and *.aud files are\n"
        "copied onto CARD, replacing files there; other files on the card are left alone.\n"
        "Song by song: a song's file and takes take their names together, the machine file\n"
        "last. Links are not copied. It first checks that the backup fits on the card. Ctrl-C\n"
        "or a failure leaves each song wholly old or wholly new.");
    app->add_option("DIR", args->dir, "the backup folder")->required();
    AddCardArgument(*app, args->card);
    return {app, [args] {
                const std::string dir = WithTrailingSlash(args->dir);
                if (int code = CheckCard(dir); code != kExitOk) return code;
                const auto songs = FindEntries(dir, kSongFilePattern);
                if (std::none_of(songs.begin(), songs.end(),
                                 [](const FolderEntry& e) { return !e.isFolder; })) {
                    return Fail(args->dir + ": holds no song files");
                }
                return CopyCardFiles(dir, WithTrailingSlash(args->card),
                                     "Restoring files in " + args->dir + " to " + args->card,
                                     false);
            }};
}

}  // namespace trx5::cli
