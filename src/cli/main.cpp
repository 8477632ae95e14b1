// trx5card: the card manager's work from the command line.
#include <cstring>
#include <iostream>
#include <string>

#include "cli/cli_common.h"

namespace {

constexpr char kUsage[] =
    "Usage: trx5card COMMAND ARGS...\n"
    "Works on the memory card of a TRX-5 four-track recorder (or a backup folder of it).\n"
    "\n"
    "Commands:\n"
    "  songs CARD                      list the songs: number and mode (HiFi or LONG)\n"
    "  takes CARD SONG                 list the takes of a song with their lengths\n"
    "  export CARD SONG TAKE... -o OUT [--level T=N]... [--pan T=N]... [--format wav|aiff]\n"
    "                                  one TAKE: mono file with the samples unchanged;\n"
    "                                  two to four: stereo mix (level 0-127, default 100;\n"
    "                                  pan 0-100, default 50)\n"
    "  import CARD SONG FILE --to TAKE [--right TAKE]\n"
    "                                  code a WAV/AIFF file into take(s) in the song's mode\n"
    "  info FILE                       show a WAV/AIFF file's rate, frames and sample width\n"
    "  demo DIR                        create a demo card folder\n"
    "\n"
    "SONG is the song number (1 to 100). TAKE is T-V: track 1-4, V-Take 1-8.\n"
    "Exit status: 0 success, 1 failed operation, 2 bad usage, 130 interrupted.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace trx5::cli;
    if (argc < 2) return Usage("missing command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "trx5card " << TRX5_VERSION << '\n';
        return kExitOk;
    }
    Args args(argv + 2, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return kExitOk;
        }
    }
    if (command == "songs") return CmdSongs(args);
    if (command == "takes") return CmdTakes(args);
    if (command == "export") return CmdExport(args);
    if (command == "import") return CmdImport(args);
    if (command == "info") return CmdInfo(args);
    if (command == "demo") return CmdDemo(args);
    return Usage("unknown command '" + command + "'");
}
