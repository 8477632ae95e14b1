// trx5card: the card manager's work from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#ifdef TRX5_HAVE_PLAY
#include "playback/qt_sound_output.h"
#endif

namespace {

using namespace trx5::cli;

// One line on stderr naming the command that was being parsed.
int ParseFailure(const CLI::App& app, const CLI::ParseError& e) {
    std::string what = e.what();
    for (char& c : what) {
        if (c == '\n') c = ' ';
    }
    std::string command = "trx5card";
    const std::vector<CLI::App*> given = app.get_subcommands();
    if (!given.empty()) {
        what = given.front()->get_name() + ": " + what;
        command += " " + given.front()->get_name();
    }
    Note(TryHelpText(what, command));
    return kExitUsage;
}

// Output that did not reach its file (a full disk, a closed pipe) makes the
// run a failure.
int FinishStandardOutput(int code) {
    errno = 0;
    std::cout.flush();
    int error = errno;
    const bool failed = !std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (error == 0) error = errno;
    const bool closeFailed = std::fclose(stdout) != 0;
    if (error == 0) error = errno;
    if (!failed && !closeFailed) return code;
    if (error == 0) error = EIO;
    Note(StandardOutputText(std::strerror(error)));
    return code == kExitOk ? kExitFailed : code;
}

int Run(int argc, char** argv) {
    CLI::App app(kHelpProgram, "trx5card");
    app.footer(kHelpFooter);
    app.set_version_flag("--version", std::string("trx5card ") + TRX5_VERSION);
    app.require_subcommand(1);
    std::vector<Command> commands = {
        AddSongsCommand(app), AddTakesCommand(app), AddExportCommand(app), AddImportCommand(app),
        AddInfoCommand(app),  AddDemoCommand(app),  AddBackupCommand(app), AddRestoreCommand(app),
        AddStemsCommand(app), AddRescueCommand(app)};
    for (Command& command : AddOrganizeCommands(app)) commands.push_back(std::move(command));
#ifdef TRX5_HAVE_PLAY
    commands.push_back(AddPlayCommand(app));
#endif
    if (argc == 2 && std::strcmp(argv[1], "help") == 0) {
        std::cout << app.help();
        return kExitOk;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help or --version
    } catch (const CLI::ParseError& e) {
        return ParseFailure(app, e);
    }
    for (const Command& command : commands) {
        if (command.app->parsed()) return command.run();
    }
    return Usage(kUsageMissingCommand);
}

}  // namespace

int main(int argc, char** argv) {
    const int code = FinishStandardOutput(Run(argc, argv));
#ifdef TRX5_HAVE_PLAY
    // After play, by now shut down, the process ends here.
    trx5::EndProcessAfterSound(code);
#endif
    return code;
}
