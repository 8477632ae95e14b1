#include "cli/cli_common.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/folder.h"
#include "organize/take_history.h"

namespace trx5::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) { gInterrupted = 1; }

std::optional<int> ParseNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

void Note(const std::string& line) { std::cerr << kLinePrefix << line << '\n'; }

int Fail(const std::string& message) {
    Note(message);
    return kExitFailed;
}

int Usage(const std::string& message) {
    Note(TryHelpText(message, "trx5card"));
    return kExitUsage;
}

void AddCardArgument(CLI::App& app, std::string& card) {
    app.add_option("CARD", card, kHelpCard)->required();
}

void AddSongArgument(CLI::App& app, std::string& song) {
    app.add_option("SONG", song, kHelpSong)->required();
}

void AddFormatOption(CLI::App& app, std::string& format, const std::string& description) {
    std::vector<std::string> names;
    for (const ExportFormatName& f : kExportFormats) names.emplace_back(f.name);
    app.add_option("--format", format, description)->check(CLI::IsMember(names));
}

std::optional<int> ParseSong(const std::string& what, const std::string& text, int& exitCode) {
    const std::optional<int> number = ParseNumber(text, 1, 100);
    if (!number) exitCode = Usage(BadSongText(what, text));
    return number;
}

std::optional<TakeSlot> ParseTake(const std::string& text) {
    const auto dash = text.find('-');
    if (dash == std::string::npos) return std::nullopt;
    const auto track = ParseNumber(text.substr(0, dash), 1, kTracks);
    const auto vtake = ParseNumber(text.substr(dash + 1), 1, kVTakes);
    if (!track || !vtake) return std::nullopt;
    return TakeSlot{*track - 1, *vtake - 1};
}

std::optional<TakeSlot> ParseTake(const std::string& command, const std::string& text,
                                  int& exitCode) {
    const std::optional<TakeSlot> slot = ParseTake(text);
    if (!slot) exitCode = Usage(BadTakeText(command, text));
    return slot;
}

std::optional<std::pair<int, int>> ParseTrackValue(const std::string& text, int max) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) return std::nullopt;
    const auto track = ParseNumber(text.substr(0, eq), 1, kTracks);
    const auto value = ParseNumber(text.substr(eq + 1), 0, max);
    if (!track || !value) return std::nullopt;
    return std::pair{*track - 1, *value};
}

bool ParseTakes(const std::string& command, const std::vector<std::string>& texts,
                std::vector<TakeSlot>& slots, int& exitCode) {
    for (const std::string& text : texts) {
        const auto slot = ParseTake(command, text, exitCode);
        if (!slot) return false;
        for (const TakeSlot& other : slots) {
            if (other.track == slot->track) {
                exitCode = Usage(TwoTakesForTrackText(command, slot->track + 1));
                return false;
            }
        }
        slots.push_back(*slot);
    }
    return true;
}

bool ApplyTrackValues(const std::string& command, const std::vector<std::string>& values,
                      const std::string& option, int max, std::array<int, kTracks>& positions,
                      int& exitCode) {
    for (const std::string& value : values) {
        const auto tv = ParseTrackValue(value, max);
        if (!tv) {
            exitCode = Usage(BadTrackValueText(command, option, value, max));
            return false;
        }
        positions[tv->first] = tv->second;
    }
    return true;
}

std::optional<std::uint64_t> ParseHistoryLimit(const std::string& command, const std::string& text,
                                               int& exitCode) {
    if (text.empty()) return kDefaultHistoryLimit;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    std::string unit = LowerCase(text.substr(digits));
    if (!unit.empty() && unit.back() == 'b') unit.pop_back();
    std::uint64_t scale = 0;
    if (unit.empty()) {
        scale = 1;
    } else if (unit == "k") {
        scale = 1000;
    } else if (unit == "m") {
        scale = 1000'000;
    } else if (unit == "g") {
        scale = 1000'000'000;
    } else if (unit == "t") {
        scale = 1000'000'000'000;
    }
    const std::uint64_t value =
        digits == 0 || digits > 15 ? 0 : std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    if (digits == 0 || digits > 15 || scale == 0 || value > UINT64_MAX / scale) {
        exitCode = Usage(BadLimitText(command, text));
        return std::nullopt;
    }
    return value * scale;
}

int FailWith(const Status& status) {
    return Fail(status.path().empty() ? status.Describe()
                                      : status.path() + ": " + status.Describe());
}

int CheckCard(const std::string& folder) {
    const Status card = CheckCardFolder(folder);
    return card ? kExitOk : Fail(card.message());
}

void PrintCardNotes(const std::string& folder) {
    for (const std::string& note : CardFolderNotes(folder)) Note(note);
}

SongLookup FindSong(const std::string& folderText, int songNumber) {
    SongLookup lookup;
    const std::string folder = WithTrailingSlash(folderText);
    if ((lookup.exitCode = CheckCard(folder)) != kExitOk) return lookup;
    for (const SongEntry& song : ListSongs(folder)) {
        if (song.SongNumber() == songNumber) {
            lookup.found = SongOnCard{folder, song};
            return lookup;
        }
    }
    lookup.exitCode = Fail(NoSongOnCardText(SongNumberText(songNumber)));
    return lookup;
}

bool FindTakePaths(const SongOnCard& card, const std::vector<TakeSlot>& slots,
                   std::array<std::string, kTracks>& paths, int& exitCode) {
    const TakeFiles files = FindTakeFiles(card.folder, card.song.fileNumber);
    for (const TakeSlot& slot : slots) {
        const std::string& path = files[SlotIndex(slot)];
        if (path.empty()) {
            exitCode =
                Fail(NoTakeFileText(TakeCaption(slot), SongNumberText(card.song.SongNumber())));
            return false;
        }
        paths[slot.track] = path;
    }
    return true;
}

int CopyCardFiles(const std::string& source, const std::string& destination,
                  const std::string& label, bool createDestination) {
    CopyRequest request;
    request.createDestination = createDestination;
    request.sourceFolder = source;
    request.patterns.assign(kCardFilePatterns.begin(), kCardFilePatterns.end());
    request.destinationFolder = destination;
    Result<CopyOutcome> result = [&] {
        TerminalCopyProgress progress(label);
        return CopyFiles(request, progress);
    }();
    if (!result) return Fail(result.FileAndReason());
    for (const std::string& note : result->notes) std::cerr << note << '\n';
    if (result->cancelled) {
        std::cerr << kMsgOperationCanceled << '\n' << result->summary << '\n';
        return kExitInterrupted;
    }
    std::cout << kMsgDone << '\n';
    return kExitOk;
}

TerminalProgress::TerminalProgress(std::string label)
    : label_(std::move(label)), terminal_(isatty(STDERR_FILENO) == 1) {
    gInterrupted = 0;
    std::signal(SIGINT, OnInterrupt);
}

TerminalProgress::~TerminalProgress() {
    std::signal(SIGINT, SIG_DFL);
    if (!terminal_ || shown_ < 0) return;
    if (!gInterrupted) Draw(100);
    std::fputs("\n", stderr);
}

bool TerminalProgress::Step(std::uint64_t block, std::uint64_t blocks) {
    if (gInterrupted) return false;
    if (terminal_) {
        const int percent = blocks == 0 ? 100 : static_cast<int>(block * 100 / blocks);
        if (percent != shown_) Draw(percent);
    }
    return true;
}

bool TerminalProgress::interrupted() const { return gInterrupted != 0; }

void TerminalProgress::Draw(int percent) {
    shown_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), percent);
    std::fflush(stderr);
}

}  // namespace trx5::cli
