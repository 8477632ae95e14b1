#include <memory>

#include "cli/cli_common.h"
#include "common/folder.h"

namespace trx5::cli {

namespace {

struct BackupArgs {
    std::string card;
    std::string dir;
};

}  // namespace

Command AddBackupCommand(CLI::App& parent) {
    auto args = std::make_shared<BackupArgs>();
    CLI::App* app = parent.add_subcommand("backup", "copy a card's files into a folder");
    app->footer(
        "Copies the card's *.tx5 and *.aud files into DIR (made when missing), replacing files\n"
        "there; other files in DIR are left alone. Song by song: a song's file and takes take\n"
        "their names together, the machine file last. Links are not copied. Ctrl-C or a\n"
        "failure leaves each song wholly old or wholly new.");
    AddCardArgument(*app, args->card);
    app->add_option("DIR", args->dir, "the folder to back the card up into")->required();
    return {app, [args] {
                const std::string card = WithTrailingSlash(args->card);
                if (int code = CheckCard(card); code != kExitOk) return code;
                return CopyCardFiles(card, WithTrailingSlash(args->dir),
                                     "Copying files in " + args->card + " to " + args->dir, true);
            }};
}

}  // namespace trx5::cli
