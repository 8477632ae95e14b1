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
    CLI::App* app = parent.add_subcommand("backup", kHelpBackup);
    app->footer(kHelpBackupFooter);
    AddCardArgument(*app, args->card);
    app->add_option("DIR", args->dir, kHelpBackupDir)->required();
    return {app, [args] {
                const std::string card = WithTrailingSlash(args->card);
                if (int code = CheckCard(card); code != kExitOk) return code;
                return CopyCardFiles(card, WithTrailingSlash(args->dir),
                                     CopyingLabel(args->card, args->dir), true);
            }};
}

}  // namespace trx5::cli
