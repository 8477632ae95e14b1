#include <sys/stat.h>

#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "rescue/card_devices.h"
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

// The nearest folder of `path` that exists: the folder itself, or the one
// it would be made in.
std::string NearestFolder(std::string path) {
    while (!path.empty()) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return path;
        const auto slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
        if (slash == std::string::npos) return ".";
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    return ".";
}

}  // namespace

Command AddRescueCommand(CLI::App& parent) {
    auto args = std::make_shared<RescueArgs>();
    CLI::App* app = parent.add_subcommand("rescue", kHelpRescue);
    app->add_option("SOURCE", args->source, kHelpRescueSource)->required();
    app->add_option("DIR", args->dir, kHelpRescueDir)->required();
    app->add_flag("--carve-only", args->carveOnly, kHelpRescueCarveOnly);
    app->add_option("--report", args->report, kHelpRescueReport);
    return {app, [args] {
                // Writing on the card being read would overwrite what the
                // rescue looks for.
                for (const std::string& target : {args->dir, args->report}) {
                    if (!target.empty() && FolderIsOnDevice(NearestFolder(target), args->source)) {
                        return Fail(target + ": " + kMsgRescueOntoSource + args->source +
                                    kMsgRescueOntoSourceEnd);
                    }
                }
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
