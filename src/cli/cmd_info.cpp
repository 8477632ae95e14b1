#include <iostream>

#include "audiofile/audio_file_text.h"
#include "cli/cli_common.h"
#include "convert/export.h"

namespace trx5::cli {

int CmdInfo(const Args& args) {
    if (args.size() != 1)
        return Usage(args.empty() ? "info: missing FILE" : "info: too many arguments");
    const auto text = DescribeAudioFile(args[0]);
    if (!text) return Fail(args[0] + ": " + kMsgCannotOpen);
    if (!text->usable) return Fail(args[0] + ": " + kMsgNotAudioFile);
    std::cout << text->rate << '\n' << text->frames << '\n' << text->bits << '\n';
    return kExitOk;
}

}  // namespace trx5::cli
