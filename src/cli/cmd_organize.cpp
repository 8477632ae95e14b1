// The commands that move takes around the card, and the history that keeps
// what they replace or delete: copy, move, swap, delete, copy-song, history,
// undo, redo, restore-take.
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>

#include "cli/cli_common.h"
#include "common/byte_size.h"
#include "common/folder.h"
#include "organize/take_organizer.h"

namespace trx5::cli {

namespace {

struct OrganizeArgs {
    std::string card;
    std::string first;
    std::string second;
    std::vector<std::string> places;
    std::string id;
    std::string song;
    std::string newSong;
    std::string steps = "1";
    std::string limit;
    bool noReplace = false;
};

// "SONG:T-V", e.g. "01:2-5".
std::optional<TakePlace> ParsePlace(const std::string& command, const std::string& text,
                                    int& exitCode) {
    const auto colon = text.find(':');
    std::optional<TakeSlot> slot;
    char* end = nullptr;
    long song = 0;
    if (colon != std::string::npos && colon > 0) {
        const std::string number = text.substr(0, colon);
        song = std::strtol(number.c_str(), &end, 10);
        if (*end == '\0' && number.find_first_not_of("0123456789") == std::string::npos) {
            slot = ParseTake(text.substr(colon + 1));
        }
    }
    if (!slot || song < 1 || song > 100) {
        exitCode = Usage(BadPlaceText(command, text));
        return std::nullopt;
    }
    return TakePlace{static_cast<int>(song) - 1, *slot};
}

std::string PlaceCaption(TakePlace place, bool capital) {
    return PlaceText(TakeCaption(place.slot), SongNumberText(place.fileNumber + 1), capital);
}

// The target of a copy or move as a line names it: "2-1" within the song,
// "2-1 of song 04" in another.
std::string TargetCaption(TakePlace from, TakePlace to) {
    if (from.fileNumber == to.fileNumber) return TakeCaption(to.slot);
    return TakeCaption(to.slot) + " of song " + SongNumberText(to.fileNumber + 1);
}

bool WasKept(const OrganizeOutcome& outcome, TakePlace place) {
    const std::string name = TakeFileName(place.fileNumber, place.slot.track, place.slot.vtake);
    for (const std::string& kept : outcome.kept) {
        if (kept == name) return true;
    }
    return false;
}

void PrintNotes(const OrganizeOutcome& outcome) {
    if (outcome.converted) Note(ConvertedText(outcome.fromLong, outcome.toLong));
    for (const std::string& note : outcome.notes) Note(note);
}

// The card checked, its history opened and the options read: what every
// command starts with. Returns kExitOk or the exit code after the message.
struct Session {
    std::optional<TakeHistory> history;
    OrganizeOptions options;
};
int Begin(const std::string& command, const OrganizeArgs& args, Session& session) {
    int code = kExitOk;
    const auto limit = ParseHistoryLimit(command, args.limit, code);
    if (!limit) return code;
    session.options.historyLimit = *limit;
    session.options.noReplace = args.noReplace;
    const std::string folder = WithTrailingSlash(args.card);
    if (const int code = CheckCard(folder); code != kExitOk) return code;
    auto history = TakeHistory::Open(folder);
    if (!history) return FailWith(history.status());
    session.history.emplace(std::move(*history));
    return kExitOk;
}

int RunCopyOrMove(const OrganizeArgs& args, bool move) {
    const std::string command = move ? "move" : "copy";
    int code = kExitOk;
    const auto from = ParsePlace(command, args.first, code);
    if (!from) return code;
    const auto to = ParsePlace(command, args.second, code);
    if (!to) return code;
    Session session;
    if ((code = Begin(command, args, session)) != kExitOk) return code;
    const auto result = move ? MoveTake(*session.history, *from, *to, session.options)
                             : CopyTake(*session.history, *from, *to, session.options);
    if (!result) return FailWith(result.status());
    PrintNotes(*result);
    std::cout << TakeChangedText(PlaceCaption(*from, true), move ? "moved" : "copied",
                                 TargetCaption(*from, *to), WasKept(*result, *to),
                                 TakeCaption(to->slot))
              << '\n';
    return kExitOk;
}

int RunSwap(const OrganizeArgs& args) {
    int code = kExitOk;
    const auto a = ParsePlace("swap", args.first, code);
    if (!a) return code;
    const auto b = ParsePlace("swap", args.second, code);
    if (!b) return code;
    Session session;
    if ((code = Begin("swap", args, session)) != kExitOk) return code;
    const auto result = SwapTakes(*session.history, *a, *b, session.options);
    if (!result) return FailWith(result.status());
    PrintNotes(*result);
    std::cout << SwappedText(PlaceCaption(*a, true), PlaceCaption(*b, false)) << '\n';
    return kExitOk;
}

int RunDelete(const OrganizeArgs& args) {
    int code = kExitOk;
    std::vector<TakePlace> places;
    for (const std::string& text : args.places) {
        const auto place = ParsePlace("delete", text, code);
        if (!place) return code;
        places.push_back(*place);
    }
    Session session;
    if ((code = Begin("delete", args, session)) != kExitOk) return code;
    const auto result = DeleteTakes(*session.history, places, session.options);
    if (!result) return FailWith(result.status());
    PrintNotes(*result);
    for (const TakePlace& place : places) {
        if (WasKept(*result, place)) std::cout << DeletedText(PlaceCaption(place, true)) << '\n';
    }
    return kExitOk;
}

int RunCopySong(const OrganizeArgs& args) {
    int code = kExitOk;
    const auto song = ParseSong("copy-song: SONG", args.song, code);
    if (!song) return code;
    const auto newSong = ParseSong("copy-song: NEW_SONG", args.newSong, code);
    if (!newSong) return code;
    Session session;
    if ((code = Begin("copy-song", args, session)) != kExitOk) return code;
    const auto result = CopySong(*session.history, *song - 1, *newSong - 1, session.options);
    if (!result) return FailWith(result.status());
    PrintNotes(*result);
    const TakeFiles takes = FindTakeFiles(session.history->cardFolder(), *newSong - 1);
    std::size_t count = 0;
    for (const std::string& take : takes) count += take.empty() ? 0 : 1;
    std::cout << SongCopiedText(SongNumberText(*song), SongNumberText(*newSong), count) << '\n';
    return kExitOk;
}

int RunHistory(const OrganizeArgs& args) {
    Session session;
    if (const int code = Begin("history", args, session); code != kExitOk) return code;
    const auto& kept = session.history->kept();
    if (kept.empty()) {
        std::cout << kMsgHistoryEmpty << '\n';
        return kExitOk;
    }
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        std::cout << it->id << '\t' << KeptTimeText(it->time, true) << '\t'
                  << DescribeCardFile(it->name) << '\t' << FormatByteSize(it->size) << '\n';
    }
    return kExitOk;
}

int RunUndo(const OrganizeArgs& args) {
    char* end = nullptr;
    const long steps = std::strtol(args.steps.c_str(), &end, 10);
    if (args.steps.empty() || *end != '\0' || steps < 1 || steps > 1000000) {
        return Usage(BadStepsText(args.steps));
    }
    Session session;
    if (const int code = Begin("undo", args, session); code != kExitOk) return code;
    TakeHistory& history = *session.history;
    for (long i = 0; i < steps; ++i) {
        const HistoryStep* newest = nullptr;
        for (const HistoryStep& step : history.steps()) {
            if (!step.undone) newest = &step;
        }
        if (newest == nullptr && i > 0) break;
        const std::string line =
            newest ? UndoneText(newest->kind, KeptTimeText(newest->time, true)) : std::string();
        if (Status s = history.Undo(1); !s) return FailWith(s);
        std::cout << line << '\n';
    }
    for (const std::string& note : history.Trim(session.options.historyLimit)) Note(note);
    return kExitOk;
}

int RunRedo(const OrganizeArgs& args) {
    Session session;
    if (const int code = Begin("redo", args, session); code != kExitOk) return code;
    TakeHistory& history = *session.history;
    std::string line;
    for (const HistoryStep& step : history.steps()) {
        if (step.undone) {
            line = RedoneText(step.kind, KeptTimeText(step.time, true));
            break;
        }
    }
    if (Status s = history.Redo(); !s) return FailWith(s);
    std::cout << line << '\n';
    for (const std::string& note : history.Trim(session.options.historyLimit)) Note(note);
    return kExitOk;
}

int RunRestoreTake(const OrganizeArgs& args) {
    int code = kExitOk;
    const auto to = ParsePlace("restore-take", args.first, code);
    if (!to) return code;
    Session session;
    if ((code = Begin("restore-take", args, session)) != kExitOk) return code;
    const auto result = RestoreTake(*session.history, args.id, *to, session.options);
    if (!result) return FailWith(result.status());
    PrintNotes(*result);
    std::cout << RestoredText(args.id, PlaceCaption(*to, false), WasKept(*result, *to)) << '\n';
    return kExitOk;
}

CLI::App* AddOrganizeApp(CLI::App& parent, const char* name, const char* help, OrganizeArgs& args) {
    CLI::App* app = parent.add_subcommand(name, help);
    app->footer(kHelpOrganizeFooter);
    AddCardArgument(*app, args.card);
    return app;
}

void AddKeepOptions(CLI::App& app, OrganizeArgs& args, bool noReplace) {
    if (noReplace) app.add_flag("--no-replace", args.noReplace, kHelpNoReplace);
    app.add_option("--history-limit", args.limit, kHelpHistoryLimit);
}

}  // namespace

std::vector<Command> AddOrganizeCommands(CLI::App& parent) {
    std::vector<Command> commands;
    for (const bool move : {false, true}) {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app =
            AddOrganizeApp(parent, move ? "move" : "copy", move ? kHelpMove : kHelpCopy, *args);
        app->add_option("FROM", args->first, kHelpPlace)->required();
        app->add_option("TO", args->second, kHelpPlace)->required();
        AddKeepOptions(*app, *args, true);
        commands.push_back({app, [args, move] { return RunCopyOrMove(*args, move); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "swap", kHelpSwap, *args);
        app->add_option("A", args->first, kHelpPlace)->required();
        app->add_option("B", args->second, kHelpPlace)->required();
        AddKeepOptions(*app, *args, false);
        commands.push_back({app, [args] { return RunSwap(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "delete", kHelpDelete, *args);
        app->add_option("TAKE", args->places, kHelpPlaces)->required();
        AddKeepOptions(*app, *args, false);
        commands.push_back({app, [args] { return RunDelete(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "copy-song", kHelpCopySong, *args);
        AddSongArgument(*app, args->song);
        app->add_option("NEW_SONG", args->newSong, kHelpNewSong)->required();
        AddKeepOptions(*app, *args, true);
        commands.push_back({app, [args] { return RunCopySong(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "history", kHelpHistory, *args);
        commands.push_back({app, [args] { return RunHistory(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "undo", kHelpUndo, *args);
        app->add_option("--steps", args->steps, kHelpSteps);
        AddKeepOptions(*app, *args, false);
        commands.push_back({app, [args] { return RunUndo(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "redo", kHelpRedo, *args);
        AddKeepOptions(*app, *args, false);
        commands.push_back({app, [args] { return RunRedo(*args); }});
    }
    {
        auto args = std::make_shared<OrganizeArgs>();
        CLI::App* app = AddOrganizeApp(parent, "restore-take", kHelpRestoreTake, *args);
        app->add_option("ID", args->id, kHelpKeptId)->required();
        app->add_option("TO", args->first, kHelpPlace)->required();
        AddKeepOptions(*app, *args, true);
        commands.push_back({app, [args] { return RunRestoreTake(*args); }});
    }
    return commands;
}

}  // namespace trx5::cli
