#include <memory>

#include "cli/cli_common.h"
#include "convert/demo_card.h"

namespace trx5::cli {

Command AddDemoCommand(CLI::App& parent) {
    auto dir = std::make_shared<std::string>();
    CLI::App* app = parent.add_subcommand("demo", kHelpDemo);
    app->add_option("DIR", *dir, kHelpDemoDir)->required();
    return {app, [dir] {
                if (Status s = MakeDemoCard(*dir); !s) return Fail(s.FileAndReason());
                return kExitOk;
            }};
}

}  // namespace trx5::cli
