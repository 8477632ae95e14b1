// trx5card run as a separate program, its output and exit status caught.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace trx5test {

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string stdoutPath;  // standard output goes here when given
    // Polled while the program runs; when it first answers true the program
    // gets `signal`: SIGINT as from Ctrl-C, SIGKILL as from kill -9.
    std::function<bool()> interruptWhen;
    int signal = SIGINT;
    // A limit on the size of the files the program writes, past which its
    // writes fail with EFBIG (SIGXFSZ ignored); none when 0.
    rlim_t fileSizeLimit = 0;
};

// Runs trx5card with the arguments; standard output and error go to files
// of their own, standard input is empty. A run that does not end within a
// minute is killed and fails the test.
RunResult RunCli(const std::vector<std::string>& args, const RunOptions& options = {});

}  // namespace trx5test
