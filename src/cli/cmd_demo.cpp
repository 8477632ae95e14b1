#include "cli/cli_common.h"
#include "convert/demo_card.h"

namespace trx5::cli {

int CmdDemo(const Args& args) {
    if (args.size() != 1)
        return Usage(args.empty() ? "demo: missing DIR" : "demo: too many arguments");
    if (Status s = MakeDemoCard(args[0]); !s) return Fail(s.message());
    return kExitOk;
}

}  // namespace trx5::cli
