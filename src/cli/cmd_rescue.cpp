#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "rescue/rescue_output.h"
#include "rescue/sector_reader.h"

namespace trx5::cli {

namespace {

struct RescueArgs {
    std::string source;
    std::string dir;
    bool carveOnly = false;
    std::string report;
};

}  // namespace

Command AddRescueCommand(CLI::App& parent) {
    auto args = std::make_shared<RescueArgs>();
    CLI::App* app = parent.add_subcommand("rescue", kHelpRescue);
    app->add_option("SOURCE", args->source, kHelpRescueSource)->required();
    app->add_option("DIR", args->dir, kHelpRescueDir)->required();
    app->add_flag("--carve-only", args->carveOnly, kHelpRescueCarveOnly);
    app->add_option("--report", args->report, kHelpRescueReport);
    return {app, [args] {
                auto source = OpenByteSource(args->source);
                if (!source) return FailWith(source.status());
                RetryingSectorReader reader(**source);
                RescueOptions options;
                options.reportPath = args->report;
                options.carveOnly = args->carveOnly;
                Result<RescueOutcome> out = [&] {
                    TerminalProgress progress(kLabelRescuing);
                    options.progress = &progress;
                    return RescueToFolder(reader, args->dir, options);
                }();
                if (!out) return FailWith(out.status());
                std::cout << out->report;
                if (out->cancelled) {
                    std::cerr << kMsgRescueCanceled << out->reportPath << '\n';
                    return kExitInterrupted;
                }
                std::cout << "Takes rescued: " << out->takes.size()
                          << ", unreadable sectors: " << out->unreadableSectors
                          << "\nReport: " << out->reportPath << "\n";
                return kExitOk;
            }};
}

}  // namespace trx5::cli
