#include <iostream>

#include "cli/cli_common.h"
#include "common/folder.h"

namespace trx5::cli {

int CmdSongs(const Args& args) {
    if (args.size() != 1)
        return Usage(args.empty() ? "songs: missing CARD" : "songs: too many arguments");
    const std::string folder = WithTrailingSlash(args[0]);
    if (int code = CheckCard(folder); code != kExitOk) return code;
    for (const SongEntry& song : ListSongs(folder)) std::cout << song.ListText() << '\n';
    return kExitOk;
}

}  // namespace trx5::cli
