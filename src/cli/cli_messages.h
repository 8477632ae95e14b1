// trx5card's texts for the user: the help, what the commands print, and
// what they say of bad usage and failures. The names of commands and
// options are the command line's syntax and stay with the commands.
#pragma once

#include <cstdint>
#include <string>

namespace trx5::cli {

// The start of every line trx5card writes on stderr of its own.
inline constexpr char kLinePrefix[] = "trx5card: ";

// The program and its commands.
inline constexpr char kHelpProgram[] =
    "Works on the memory card of a TRX-5 four-track recorder (or a backup folder of it).";
inline constexpr char kHelpFooter[] =
    "SONG is the song number (1 to 100). TAKE is T-V: track 1-4, V-Take 1-8.\n"
    "Exit status: 0 success, 1 failed operation, 2 bad usage, 130 interrupted.";
inline constexpr char kHelpCard[] = "the card's folder, or a backup of it";
inline constexpr char kHelpSong[] = "song number, 1 to 100";
inline constexpr char kHelpLevel[] = "T=N: level of track T, 0-127 (default 100, unity)";
inline constexpr char kHelpPan[] = "T=N: pan of track T, 0-100 (default 50, centre)";
inline constexpr char kHelpAudioFile[] =
    "an audio file: WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...";

inline constexpr char kHelpSongs[] = "list the songs: number and mode (HiFi or LONG)";
inline constexpr char kHelpTakes[] = "list the takes of a song with their lengths";

inline constexpr char kHelpExport[] = "write takes to a WAV, AIFF or FLAC file";
inline constexpr char kHelpExportFooter[] =
    "One TAKE gives a mono file with the take's samples unchanged; two to four give a stereo\n"
    "mix through each track's level and pan.";
inline constexpr char kHelpExportTakes[] = "T-V: track 1-4, V-Take 1-8; one per track";
inline constexpr char kHelpExportOutput[] = "the file to write";
inline constexpr char kHelpExportFormat[] =
    "wav, aiff or flac (default: AIFF for a name ending in .aif, FLAC for .flac, else WAV)";

inline constexpr char kHelpImport[] = "code an audio file into takes";
inline constexpr char kHelpImportFooter[] =
    "The first (or only) channel goes to --to, the right channel of a stereo file to\n"
    "--right, coded in the song's mode; takes that are there are replaced and go into the\n"
    "card's history, where undo brings them back. A file at another rate than the song's\n"
    "(32000 Hz HiFi, 16000 Hz LONG) is converted to it, unless --keep-rate. Ctrl-C cancels\n"
    "and leaves the takes as they were.";
inline constexpr char kHelpImportFile[] =
    "the audio file: WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...";
inline constexpr char kHelpImportTo[] = "T-V: the take for the first channel";
inline constexpr char kHelpImportRight[] = "T-V: the take for the right channel";
inline constexpr char kHelpImportKeepRate[] =
    "take the samples as they are, without converting the rate (the recorder's own way: a "
    "44100 Hz file plays slower and lower)";
inline constexpr char kHelpImportMix[] =
    "a stereo file into one take: both channels mixed, each at half (ignored with --right; "
    "refused for a file that is not stereo)";

inline constexpr char kHelpInfo[] = "show an audio file's rate, frames and sample format";
inline constexpr char kHelpDemo[] = "create a demo card folder (DIR must be new or empty)";
inline constexpr char kHelpDemoDir[] = "the folder to create";

inline constexpr char kHelpRescue[] =
    "rescue takes from a card image (made with dd or ddrescue) or a device, read-only";
inline constexpr char kLabelRescuing[] = "Rescuing";
inline constexpr char kMsgRescueOntoSource[] = "lies on ";
inline constexpr char kMsgRescueOntoSourceEnd[] =
    ", the card to be rescued: writing there would overwrite what the rescue looks for; "
    "choose a folder on another disk";
inline constexpr char kMsgRescueCanceled[] =
    "trx5card: rescue interrupted; what was found so far is written, see ";
inline constexpr char kHelpRescueSource[] = "the card image file or block device to read";
inline constexpr char kHelpRescueDir[] =
    "a new or empty folder that becomes a card folder with the rescued takes";
inline constexpr char kHelpRescueCarveOnly[] =
    "find takes only by their headers in the raw sectors, not through the file system";
inline constexpr char kHelpRescueReport[] =
    "where to write the report (default: DIR/rescue-report.txt)";
inline constexpr char kHelpBackup[] = "copy a card's files into a folder";
inline constexpr char kHelpBackupFooter[] =
    "Copies the card's *.tx5 and *.aud files into DIR (made when missing), replacing files\n"
    "there; other files in DIR are left alone. Song by song: a song's file and takes take\n"
    "their names together, the machine file last. Links are not copied. Ctrl-C or a\n"
    "failure leaves each song wholly old or wholly new.";
inline constexpr char kHelpBackupDir[] = "the folder to back the card up into";

inline constexpr char kHelpRestore[] = "copy a backup folder's files onto a card";
inline constexpr char kHelpRestoreFooter[] =
    "DIR must be a card folder (a machine file and songs). Its *.tx5 and *.aud files are\n"
    "copied onto CARD, replacing files there; other files on the card are left alone.\n"
    "Song by song: a song's file and takes take their names together, the machine file\n"
    "last. Links are not copied. It first checks that the backup fits on the card. Ctrl-C\n"
    "or a failure leaves each song wholly old or wholly new.";
inline constexpr char kHelpRestoreDir[] = "the backup folder";

inline constexpr char kHelpStems[] = "write every take as its own mono file";
inline constexpr char kHelpStemsFooter[] =
    "Writes each take of the card's songs (or of one song) into DIR, made when missing, as\n"
    "a mono file with the take's samples unchanged, named SongNN_TrackT_VTakeV.wav (.aif\n"
    "for AIFF, .flac for FLAC), and prints one line per file written. Files already there\n"
    "are replaced only with --force; without it nothing is written. Ctrl-C cancels: the\n"
    "files written so far stay, the one being written is dropped.";
inline constexpr char kHelpStemsDir[] = "the folder to write the files into";
inline constexpr char kHelpStemsSong[] = "only this song, 1 to 100";
inline constexpr char kHelpStemsFormat[] = "wav, aiff or flac (default wav)";
inline constexpr char kHelpStemsForce[] = "replace files of the same names in DIR";

inline constexpr char kHelpPlay[] = "play takes mixed, or an audio file";
inline constexpr char kHelpPlayFooter[] =
    "trx5card play CARD SONG TAKE... [--level T=N]... [--pan T=N]...\n"
    "  plays the takes mixed through the levels and pans, as the window's Audition does.\n"
    "trx5card play FILE\n"
    "  plays an audio file (WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, ...) in its own\n"
    "  channels and rate.\n"
    "Ctrl-C stops at once.";
inline constexpr char kHelpPlayArgs[] = "FILE, or CARD SONG TAKE...";

// Moving takes around the card; what they replace or delete is kept in the
// card's history outside it, where undo finds it.
inline constexpr char kHelpCopy[] = "copy a take to another slot, byte for byte";
inline constexpr char kHelpMove[] = "move a take to another slot";
inline constexpr char kHelpSwap[] = "exchange two takes";
inline constexpr char kHelpDelete[] = "delete takes (they are kept in the history)";
inline constexpr char kHelpCopySong[] = "copy a song with all its takes to a free song number";
inline constexpr char kHelpHistory[] = "list the takes kept in the card's history, newest first";
inline constexpr char kHelpUndo[] = "undo the last change to the takes";
inline constexpr char kHelpRedo[] = "apply again the change last undone";
inline constexpr char kHelpRestoreTake[] = "put a copy of a kept take into a slot";
inline constexpr char kHelpOrganizeFooter[] =
    "A take is SONG:T-V, e.g. 01:2-5. A take that is replaced or deleted goes into the card's\n"
    "history ($XDG_DATA_HOME/trx5-card-manager/history), where undo brings it back. Between a\n"
    "HiFi and a LONG song a take is converted to the other rate.";
inline constexpr char kHelpPlace[] = "SONG:T-V, e.g. 01:2-5";
inline constexpr char kHelpPlaces[] = "SONG:T-V ...";
inline constexpr char kHelpNewSong[] = "the free song number to copy to, 1 to 100";
inline constexpr char kHelpKeptId[] = "the id of a kept take (trx5card history)";
inline constexpr char kHelpNoReplace[] = "fail instead of replacing a take that is in the way";
inline constexpr char kHelpHistoryLimit[] =
    "the most the history keeps, in bytes or with a unit: 500M, 2G (default 2G); older "
    "takes beyond it are dropped";
inline constexpr char kHelpSteps[] = "how many changes to undo (default 1)";

// Bad usage; `what` and `command` are how the command line named it
// ("export: song", "export").
inline std::string TryHelpText(const std::string& message, const std::string& command) {
    return message + " (try '" + command + " --help')";
}
inline constexpr char kUsageMissingCommand[] = "missing command";
inline std::string BadSongText(const std::string& what, const std::string& text) {
    return what + " must be a number from 1 to 100: '" + text + "'";
}
inline std::string BadTakeText(const std::string& command, const std::string& text) {
    return command + ": TAKE '" + text + "' must be T-V with track 1-4 and V-Take 1-8";
}
inline std::string TwoTakesForTrackText(const std::string& command, int track) {
    return command + ": two takes for track " + std::to_string(track);
}
inline std::string BadTrackValueText(const std::string& command, const std::string& option,
                                     const std::string& value, int max) {
    return command + ": " + option + " '" + value + "' must be T=N with track 1-4 and N 0-" +
           std::to_string(max);
}
inline constexpr char kUsageExportNeedsOutput[] = "export: -o needs a file name";
inline constexpr char kUsageSameTake[] = "import: --to and --right name the same take";
inline constexpr char kUsagePlayKnobsWithFile[] =
    "play: --level and --pan go with takes, not with a FILE";
inline constexpr char kUsagePlayMissingTake[] = "play: missing TAKE";

// Failures and notices.
inline std::string BadPlaceText(const std::string& command, const std::string& text) {
    return command + ": '" + text + "' must be SONG:T-V with song 1-100, track 1-4 and V-Take 1-8";
}
inline std::string BadLimitText(const std::string& command, const std::string& text) {
    return command + ": --history-limit '" + text + "' must be a byte count, e.g. 2G or 500M";
}
inline std::string BadStepsText(const std::string& text) {
    return "undo: --steps '" + text + "' must be a number from 1 on";
}

inline std::string NoSongOnCardText(const std::string& song) {
    return "no song " + song + " on this card";
}
inline std::string NoTakeFileText(const std::string& take, const std::string& song) {
    return "no take file for " + take + " in song " + song;
}
inline std::string NoSongFilesText(const std::string& folder) {
    return folder + ": holds no song files";
}
inline constexpr char kHintKeepRate[] = "; --keep-rate takes the samples as they are";
inline constexpr char kHintForce[] = " (--force replaces the files there)";
inline std::string StandardOutputText(const std::string& reason) {
    return "standard output: " + reason;
}
inline std::string NotStereoText(const std::string& take) {
    return "the file is not stereo; only " + take + " was written";
}
inline std::string ExportInterruptedText(const std::string& file, std::uint64_t written,
                                         std::uint64_t blocks) {
    return "interrupted; " + file + " holds the first " + std::to_string(written) + " of " +
           std::to_string(blocks) + " blocks";
}

// What went well, on stdout; a cancel on stderr.
inline constexpr char kMsgDone[] = "Done.";
inline constexpr char kMsgOperationCanceled[] = "Operation canceled";
inline constexpr char kMsgTakesGenerated[] = "Take(s) have been generated.";
inline std::string CreatedText(const std::string& file) { return file + " created."; }

// The labels of the progress bars.
inline std::string CreatingLabel(const std::string& file) { return "Creating " + file; }
inline constexpr char kLabelWritingTakes[] = "Writing to Takes";
inline constexpr char kLabelPlaying[] = "Audio playing...";
inline std::string WritingStemsLabel(const std::string& folder) {
    return "Writing stems to " + folder;
}
inline std::string CopyingLabel(const std::string& card, const std::string& folder) {
    return "Copying files in " + card + " to " + folder;
}
inline std::string RestoringLabel(const std::string& folder, const std::string& card) {
    return "Restoring files in " + folder + " to " + card;
}

// What the take commands print, a line per change.
// "Take 2-5 of song 01", "take 2-1 of song 04" (`capital` at a line's start).
inline std::string PlaceText(const std::string& take, const std::string& song, bool capital) {
    return std::string(capital ? "Take " : "take ") + take + " of song " + song;
}
// "Take 2-5 of song 01 moved to 2-1; the old 2-1 is in the history."
inline std::string TakeChangedText(const std::string& from, const std::string& verb,
                                   const std::string& to, bool oldKept, const std::string& old) {
    return from + " " + verb + " to " + to +
           (oldKept ? "; the old " + old + " is in the history." : ".");
}
inline std::string SwappedText(const std::string& a, const std::string& b) {
    return a + " and " + b + " swapped.";
}
inline std::string DeletedText(const std::string& take) {
    return take + " deleted; it is in the history.";
}
inline std::string SongCopiedText(const std::string& song, const std::string& newSong,
                                  std::size_t takes) {
    return "Song " + song + " copied to song " + newSong + " with " + std::to_string(takes) +
           (takes == 1 ? " take." : " takes.");
}
inline std::string RestoredText(const std::string& id, const std::string& to, bool oldKept) {
    return "Kept take " + id + " put in " + to +
           (oldKept ? "; the take there before is in the history." : ".");
}
inline std::string UndoneText(const std::string& kind, const std::string& when) {
    return "Undone: " + kind + " of " + when + ".";
}
inline std::string RedoneText(const std::string& kind, const std::string& when) {
    return "Redone: " + kind + " of " + when + ".";
}
// After an import: "01:2-5: the old take is in the history."
inline std::string ReplacedKeptText(const std::string& song, const std::string& take) {
    return song + ":" + take + ": the old take is in the history.";
}
inline constexpr char kMsgHistoryEmpty[] = "The history holds no takes.";

}  // namespace trx5::cli
