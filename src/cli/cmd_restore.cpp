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
    CLI::App* app = parent.add_subcommand("restore", kHelpRestore);
    app->footer(kHelpRestoreFooter);
    app->add_option("DIR", args->dir, kHelpRestoreDir)->required();
    AddCardArgument(*app, args->card);
    return {app, [args] {
                const std::string dir = WithTrailingSlash(args->dir);
                if (int code = CheckCard(dir); code != kExitOk) return code;
                const auto songs = FindEntries(dir, kSongFilePattern);
                if (std::none_of(songs.begin(), songs.end(),
                                 [](const FolderEntry& e) { return !e.isFolder; })) {
                    return Fail(NoSongFilesText(args->dir));
                }
                return CopyCardFiles(dir, WithTrailingSlash(args->card),
                                     RestoringLabel(args->dir, args->card), false);
            }};
}

}  // namespace trx5::cli
