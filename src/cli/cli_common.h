// Shared pieces of the trx5card commands: exit codes, the command-line
// parser's registration, value parsing, looking up a card's song, and the
// terminal progress bar.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/card_copy.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "cli/cli_messages.h"
#include "common/result.h"
#include "convert/export.h"
#include "convert/progress.h"

namespace trx5::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Commands return these codes after printing the message.
int Fail(const std::string& message);   // message on stderr, exit 1
int Usage(const std::string& message);  // message on stderr, exit 2
// A line of trx5card's own on stderr ("trx5card: " + line).
void Note(const std::string& line);

// A subcommand of the parser and what runs when it was given.
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

// The CARD and SONG arguments that most commands start with.
void AddCardArgument(CLI::App& app, std::string& card);
void AddSongArgument(CLI::App& app, std::string& song);
// The --format option of the commands that write audio files: a name of
// kExportFormats.
void AddFormatOption(CLI::App& app, std::string& format, const std::string& description);

Command AddSongsCommand(CLI::App& parent);
Command AddTakesCommand(CLI::App& parent);
Command AddExportCommand(CLI::App& parent);
Command AddImportCommand(CLI::App& parent);
Command AddInfoCommand(CLI::App& parent);
Command AddDemoCommand(CLI::App& parent);
Command AddBackupCommand(CLI::App& parent);
Command AddRestoreCommand(CLI::App& parent);
Command AddStemsCommand(CLI::App& parent);
Command AddRescueCommand(CLI::App& parent);
// copy, move, swap, delete, copy-song, history, undo, redo, restore-take.
std::vector<Command> AddOrganizeCommands(CLI::App& parent);
#ifdef TRX5_HAVE_PLAY
Command AddPlayCommand(CLI::App& parent);
#endif

// SONG, the song number as the window shows it, 1..100 ("07" and "7"
// alike); none after the usage message "<what> must be a number from 1 to
// 100: '<text>'" (what: "export: song", "stems: --song").
std::optional<int> ParseSong(const std::string& what, const std::string& text, int& exitCode);
// "T-V" with track 1..4 and V-Take 1..8, counted from 0 in the result.
std::optional<TakeSlot> ParseTake(const std::string& text);
// A TAKE argument of `command`; none after the usage message.
std::optional<TakeSlot> ParseTake(const std::string& command, const std::string& text,
                                  int& exitCode);
// "T=N" with track 1..4 and N in 0..max.
std::optional<std::pair<int, int>> ParseTrackValue(const std::string& text, int max);

// TAKE arguments, at most one per track; false after a usage message.
bool ParseTakes(const std::string& command, const std::vector<std::string>& texts,
                std::vector<TakeSlot>& slots, int& exitCode);
// "T=N" values of --level (max 127) or --pan (max 100) into per-track
// positions; false after a usage message.
bool ApplyTrackValues(const std::string& command, const std::vector<std::string>& values,
                      const std::string& option, int max, std::array<int, kTracks>& positions,
                      int& exitCode);

// --history-limit: a byte count, digits with an optional decimal unit K, M,
// G or T (and an optional B), as FormatByteSize shows sizes; the default
// limit when `text` is empty; none after the usage message.
std::optional<std::uint64_t> ParseHistoryLimit(const std::string& command, const std::string& text,
                                               int& exitCode);
// Fails with "path: message: reason" (the message alone without a path).
int FailWith(const Status& status);

// The card folder and one of its songs, or an exit code after the message.
struct SongOnCard {
    std::string folder;  // ends with "/"
    SongEntry song;
};
struct SongLookup {
    std::optional<SongOnCard> found;
    int exitCode = kExitOk;
};
// Checks the machine file: kExitOk, or the exit code after the message.
int CheckCard(const std::string& folder);
// What the card folder holds that the program leaves aside, a line each on
// stderr ("trx5card: 00-01.AUD: same take as 00-01.aud, ignored").
void PrintCardNotes(const std::string& folder);
// Checks the machine file and finds song `songNumber` (1..100, ParseSong).
SongLookup FindSong(const std::string& folder, int songNumber);
// The take file of each slot, by track; false after the message.
bool FindTakePaths(const SongOnCard& card, const std::vector<TakeSlot>& slots,
                   std::array<std::string, kTracks>& paths, int& exitCode);

// Progress for export and import: a bar on stderr when it is a terminal;
// Ctrl-C asks the loop to stop after the current block.
class TerminalProgress final : public Progress {
  public:
    explicit TerminalProgress(std::string label);
    ~TerminalProgress() override;
    bool Step(std::uint64_t block, std::uint64_t blocks) override;
    bool interrupted() const;

  private:
    void Draw(int percent);
    std::string label_;
    bool terminal_;
    int shown_ = -1;
};

// The same bar for a copy, by bytes.
class TerminalCopyProgress final : public CopyProgress {
  public:
    explicit TerminalCopyProgress(std::string label) : bar_(std::move(label)) {}
    bool Step(std::uint64_t done, std::uint64_t total, const std::string&) override {
        return bar_.Step(done, total);
    }

  private:
    TerminalProgress bar_;
};

// Copies the card files of `source` into `destination` with a bar on a
// terminal: "Done." on success, "Operation canceled" and which songs were
// copied and exit 130 on Ctrl-C, the file and the reason on a failure. The
// files left out (links, names differing only in case) are named on stderr.
// The destination is made when missing only if `createDestination`.
int CopyCardFiles(const std::string& source, const std::string& destination,
                  const std::string& label, bool createDestination);

}  // namespace trx5::cli
