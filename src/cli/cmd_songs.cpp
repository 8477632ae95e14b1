#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "common/folder.h"

namespace trx5::cli {

Command AddSongsCommand(CLI::App& parent) {
    auto card = std::make_shared<std::string>();
    CLI::App* app = parent.add_subcommand("songs", kHelpSongs);
    AddCardArgument(*app, *card);
    return {app, [card] {
                const std::string folder = WithTrailingSlash(*card);
                if (int code = CheckCard(folder); code != kExitOk) return code;
                PrintCardNotes(folder);
                for (const SongEntry& song : ListSongs(folder))
                    std::cout << song.ListText() << '\n';
                return kExitOk;
            }};
}

}  // namespace trx5::cli
