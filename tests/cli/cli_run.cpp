#include "cli/cli_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/test_support.h"

extern char** environ;

namespace trx5test {

namespace {

std::string ReadText(const std::string& path) {
    const Bytes b = trx5test::ReadFile(path);
    return std::string(b.begin(), b.end());
}

}  // namespace

RunResult RunCli(const std::vector<std::string>& args, const RunOptions& options) {
    TempDir capture;
    const std::string outPath = options.stdoutPath.empty() ? capture / "out" : options.stdoutPath;
    const std::string errPath = capture / "err";
    std::vector<std::string> all = {TRX5CARD_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    RunResult run;
    // The program inherits the limit and the ignored signal; this process
    // writes nothing while it has them.
    rlimit savedLimit{};
    struct sigaction savedAction {};
    if (options.fileSizeLimit != 0) {
        getrlimit(RLIMIT_FSIZE, &savedLimit);
        const rlimit limit{options.fileSizeLimit, savedLimit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &savedAction);
    }
    const int spawned = posix_spawn(&pid, TRX5CARD_PATH, &actions, nullptr, argv.data(), environ);
    if (options.fileSizeLimit != 0) {
        setrlimit(RLIMIT_FSIZE, &savedLimit);
        sigaction(SIGXFSZ, &savedAction, nullptr);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << TRX5CARD_PATH;
        return run;
    }
    int status = 0;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "trx5card did not end within a minute";
            return run;
        }
        if (!interrupted && options.interruptWhen && options.interruptWhen()) {
            kill(pid, options.signal);
            interrupted = true;
        }
        usleep(500);
    }
    if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
    if (options.stdoutPath.empty()) run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

}  // namespace trx5test
