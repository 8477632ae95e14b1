#include <iostream>
#include <memory>

#include "audiofile/audio_file_text.h"
#include "cli/cli_common.h"
#include "common/messages.h"

namespace trx5::cli {

Command AddInfoCommand(CLI::App& parent) {
    auto file = std::make_shared<std::string>();
    CLI::App* app = parent.add_subcommand("info", kHelpInfo);
    app->add_option("FILE", *file, kHelpAudioFile)->required();
    return {
        app, [file] {
            const auto text = DescribeAudioFile(*file);
            if (!text) return Fail(*file + ": " + text.Describe());
            if (!text->usable) {
                return Fail(
                    *file + ": " +
                    Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, text->reason).Describe());
            }
            std::cout << text->rate << '\n' << text->frames << '\n' << text->bits << '\n';
            return kExitOk;
        }};
}

}  // namespace trx5::cli
