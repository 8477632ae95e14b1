// The window's texts for the user: the lines of the information box, the
// questions it asks and the messages it shows.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <string>

namespace app_text {

// The window's title before the folder shown.
inline QString TitlePrefix(const QString& version) {
    return QStringLiteral("Card Manager for TRX-5 Ver.") + version + QStringLiteral(" - ");
}
// The caption of the questions the window asks.
inline QString QuestionCaption() { return QCoreApplication::applicationName(); }

// The import destinations and the selection read-outs.
inline QString TrackTake(int track, int vtake) {
    return QStringLiteral("TRACK%1-%2").arg(track + 1).arg(vtake + 1);
}
inline QString Mono() { return QStringLiteral("Mono"); }
inline QString Stereo() { return QStringLiteral("Stereo"); }
inline QString FirstDestination(const QString& take) { return QStringLiteral("L/Mono :") + take; }
inline QString SecondDestination(const QString& take) { return QStringLiteral("R      :") + take; }
// "Track2  1:02.500"
inline QString TrackLength(int track, const QString& length) {
    return QStringLiteral("Track%1  ").arg(track + 1) + length;
}

// Export.
inline QString Creating(const QString& file) {
    return QStringLiteral("Creating ") + file + QStringLiteral("...");
}
inline QString Created(const QString& file) { return file + QStringLiteral(" created."); }
inline QString CreatedUntilAbort(const QString& file) {
    return file + QStringLiteral(" created, with what was written before Abort.");
}
inline QString ExportFailed() { return QStringLiteral("Export failed"); }
inline QString ExportAllTitle() { return QStringLiteral("Export all takes of this song"); }
inline QString ExportAllItem() { return QStringLiteral("Export all takes of this song..."); }
inline QString ExportOneTitle() { return QStringLiteral("Export this take"); }
inline QString ExportOneItem() { return QStringLiteral("Export this take..."); }
inline QString ExportingTakes(const QString& folder) {
    return QStringLiteral("Exporting the takes to ") + folder + QStringLiteral("...");
}
inline QString StemsCanceled() {
    return QStringLiteral("Export canceled; the files written before stay.");
}
inline QString ReplaceExisting(std::size_t files, const QString& folder) {
    return files == 1 ? QStringLiteral("Replace 1 existing file in %1?").arg(folder)
                      : QStringLiteral("Replace %1 existing files in %2?").arg(files).arg(folder);
}
inline QString DragFailed() { return QStringLiteral("Drag failed"); }

// Import.
inline QString WritingTakes() { return QStringLiteral("Writing to Takes"); }
inline QString TakesGenerated() { return QStringLiteral("Take(s) have been generated."); }
inline QString ImportFailed() { return QStringLiteral("Import failed"); }
inline QString KeepRateHint() {
    return QStringLiteral(
        "\"Keep samples as they are\" in the import dialog takes them as they are.");
}
inline QString ReplaceTake(const QString& caption) {
    return QStringLiteral("Replace take %1?").arg(caption);
}
inline QString ReplaceDamaged(const QString& file, const QString& caption) {
    return QStringLiteral("%1 in the place of take %2 is not a take (damaged?). Replace it?")
        .arg(file, caption);
}

// Moving takes around the card, and the history of the takes replaced.
inline QString CopyItem() { return QStringLiteral("Copy"); }
inline QString PasteItem() { return QStringLiteral("Paste"); }
inline QString DeleteItem() { return QStringLiteral("Delete"); }
inline QString CopySongItem() { return QStringLiteral("Copy song to song ..."); }
inline QString HistoryItem() { return QStringLiteral("History..."); }
inline QString ReplaceButton() { return QStringLiteral("Replace"); }
inline QString SwapButton() { return QStringLiteral("Swap"); }
inline QString CancelButton() { return QStringLiteral("Cancel"); }
// "V-Take 2-1 holds a take. / Replace it with take 2-5, or swap the two? /
// The take replaced goes into the history."
inline QString TakeInTheWay(const QString& target, const QString& source) {
    return QStringLiteral(
               "V-Take %1 holds a take.\nReplace it with take %2, or swap the two?\nThe take "
               "replaced goes into the history.")
        .arg(target, source);
}
// "2-5 of song 01": a take of another song than the one shown.
inline QString OfSong(const QString& take, const QString& song) {
    return take + QStringLiteral(" of song ") + song;
}
// "Take 2-5 moved to 2-1; the old 2-1 is in the history."
inline QString TakeMoved(const QString& from, const QString& to, bool oldKept) {
    return QStringLiteral("Take %1 moved to %2").arg(from, to) +
           (oldKept ? QStringLiteral("; the old %1 is in the history.").arg(to)
                    : QStringLiteral("."));
}
inline QString TakeCopied(const QString& from, const QString& to, bool oldKept) {
    return QStringLiteral("Take %1 copied to %2").arg(from, to) +
           (oldKept ? QStringLiteral("; the old %1 is in the history.").arg(to)
                    : QStringLiteral("."));
}
inline QString TakesSwapped(const QString& a, const QString& b) {
    return QStringLiteral("Takes %1 and %2 swapped.").arg(a, b);
}
inline QString TakeDeleted(const QString& take) {
    return QStringLiteral("Take %1 deleted; it is in the history.").arg(take);
}
inline QString SongCopied(const QString& song, const QString& newSong) {
    return QStringLiteral("Song %1 copied to song %2.").arg(song, newSong);
}
inline QString TakeOnClipboard(const QString& take) {
    return QStringLiteral("Take %1 copied; Paste puts it into a V-Take.").arg(take);
}
inline QString NothingToPaste() {
    return QStringLiteral("Nothing to paste: copy a take of this card first.");
}
// "Take 3-2 of song 01, kept 2026-12-10 19:40, put back into 1-4."
inline QString PutBackDone(const QString& kept, const QString& when, const QString& to) {
    return QStringLiteral("%1, kept %2, put back into %3.").arg(kept, when, to);
}
inline QString ImportedOver(const QString& take) {
    return QStringLiteral("The old take %1 is in the history.").arg(take);
}
inline QString Undone(const QString& step) { return QStringLiteral("Undone: ") + step + '.'; }
inline QString Redone(const QString& step) { return QStringLiteral("Redone: ") + step + '.'; }
inline QString NothingToUndo() { return QStringLiteral("Nothing to undo."); }
inline QString NothingToRedo() { return QStringLiteral("Nothing to redo."); }
// A step of the history as undo and redo tell it.
inline QString MoveStep(const QString& from, const QString& to) {
    return QStringLiteral("take %1 moved to %2").arg(from, to);
}
inline QString CopyStep(const QString& to) { return QStringLiteral("a take copied to %1").arg(to); }
inline QString SwapStep(const QString& a, const QString& b) {
    return QStringLiteral("takes %1 and %2 swapped").arg(a, b);
}
inline QString DeleteStep(const QString& takes) {
    return QStringLiteral("take %1 deleted").arg(takes);
}
inline QString CopySongStep(const QString& song) {
    return QStringLiteral("a song copied to song %1").arg(song);
}
inline QString RestoreStep(const QString& to) {
    return QStringLiteral("a kept take put back into %1").arg(to);
}
inline QString ImportStep(const QString& to) {
    return QStringLiteral("a file imported into %1").arg(to);
}
inline QString OtherStep(const QString& kind) { return QStringLiteral("a step (%1)").arg(kind); }
inline QString MoveFailed() { return QStringLiteral("Move failed"); }
inline QString CopyFailed() { return QStringLiteral("Copy failed"); }
inline QString SwapFailed() { return QStringLiteral("Swap failed"); }
inline QString DeleteFailed() { return QStringLiteral("Delete failed"); }
inline QString CopySongFailed() { return QStringLiteral("Copy of the song failed"); }
inline QString UndoFailed() { return QStringLiteral("Undo failed"); }
inline QString RedoFailed() { return QStringLiteral("Redo failed"); }
inline QString PutBackFailed() { return QStringLiteral("Put back failed"); }
inline QString HistoryFailed() { return QStringLiteral("History"); }

// The history window.
inline QString HistoryTitle() { return QStringLiteral("History of replaced takes"); }
inline QString HistoryColumns() { return QStringLiteral("Song|V-Take|Kept|What happened|Length"); }
inline QString SongFileKept() { return QStringLiteral("song file"); }
inline QString Unknown() { return QStringLiteral("\u2014"); }
// What a step did to the take it kept, by the step's kind.
inline QString KeptBecause(const std::string& kind) {
    if (kind == "move") return QStringLiteral("moved over");
    if (kind == "copy" || kind == "copy-song") return QStringLiteral("copied over");
    if (kind == "delete") return QStringLiteral("deleted");
    if (kind == "swap") return QStringLiteral("swapped");
    if (kind == "import") return QStringLiteral("imported over");
    if (kind == "restore") return QStringLiteral("restored over");
    return Unknown();
}
inline QString KeptMovedAway() { return QStringLiteral("moved away"); }
inline QString KeptByUndo() { return QStringLiteral("undone"); }
inline QString HistoryEmpty() { return QStringLiteral("The history holds no takes."); }
inline QString HistoryHolds(int files, const QString& size) {
    return (files == 1 ? QStringLiteral("1 file kept, ")
                       : QStringLiteral("%1 files kept, ").arg(files)) +
           size + '.';
}
inline QString FreeVTakeOf(const QString& song) {
    return QStringLiteral("Free V-Take of song %1:").arg(song);
}
inline QString PutBackButton() { return QStringLiteral("&Put back"); }
inline QString NoFreeVTake(bool longMode) {
    return QStringLiteral("No free V-Take of a %1 song is open.")
        .arg(longMode ? QStringLiteral("LONG") : QStringLiteral("HiFi"));
}
inline QString NotATake() { return QStringLiteral("Only takes can be put back."); }
inline QString KeepAtMost() { return QStringLiteral("Keep at most"); }
inline QString OfReplacedTakes() { return QStringLiteral("of replaced takes"); }
inline QString Megabytes() { return QStringLiteral("MB"); }
inline QString Gigabytes() { return QStringLiteral("GB"); }
inline QString CloseButton() { return QStringLiteral("Close"); }

// Audition.
inline QString AudioPlaying() { return QStringLiteral("Audio playing..."); }

// Backup and restore.
inline QString ChooseCardDrive() {
    return QStringLiteral("Choose the card in the Card Drive list.");
}
inline QString ChooseBackupFolder() {
    return QStringLiteral("Choose a folder for the backup in the folder tree.");
}
inline QString BackupConfirmCaption() { return QStringLiteral("Confirmation for BackUp"); }
inline QString ConfirmBackup(const QString& root, const QString& folder) {
    return QStringLiteral("Backup ") + root + QStringLiteral(" to ") + folder;
}
inline QString ConfirmRestore(const QString& folder, const QString& root) {
    return QStringLiteral("Restore ") + folder + QStringLiteral(" to ") + root;
}
inline QString CopyingFiles(const QString& root, const QString& folder) {
    return QStringLiteral("Copying files in ") + root + QStringLiteral(" to ") + folder;
}
inline QString RestoringFiles(const QString& folder, const QString& root) {
    return QStringLiteral("Restoring files in ") + folder + QStringLiteral(" to ") + root;
}
inline QString Done() { return QStringLiteral("Done."); }
inline QString OperationCanceled() { return QStringLiteral("Operation canceled"); }

// Rescue.
inline QString RescueTitle() { return QStringLiteral("Rescue a card"); }
inline QString RescueIntro() {
    return QStringLiteral(
        "The takes are looked for in every sector of the card, also where its files are damaged "
        "or were deleted. The card is only read.");
}
inline QString ChooseRescueFolder() {
    return QStringLiteral("Choose the folder to keep the rescue in, in the folder tree.");
}
// The new folder of a rescue, made on `day` ("2026-05-01"); the second
// one of the day is "Rescued card 2026-05-01 (2)".
inline QString RescueFolderName(const QString& day, int number) {
    return QStringLiteral("Rescued card ") + day +
           (number > 1 ? QStringLiteral(" (%1)").arg(number) : QString());
}
inline QString CardReaderChoice() { return QStringLiteral("The card in a card &reader:"); }
inline QString NoCardFound() { return QStringLiteral("No card reader with a card was found."); }
inline QString LookAgainButton() { return QStringLiteral("&Look again"); }
inline QString ImageFileChoice() { return QStringLiteral("An &image file of a card:"); }
inline QString BrowseButton() { return QStringLiteral("&Browse..."); }
inline QString ImageFileCaption() { return QStringLiteral("Image file of a card"); }
inline QString RescueInto(const QString& folder) { return QStringLiteral("Into: ") + folder; }
inline QString RescueButton() { return QStringLiteral("Rescue"); }
// "/dev/sdb — 1.0 GB — Generic Card Reader"; a partition "/dev/sdb1 —
// 1.0 GB — partition 1 of /dev/sdb".
inline QString CardDeviceEntry(const QString& path, const QString& size, const QString& reader) {
    const QString dash = QStringLiteral(" \u2014 ");
    return path + dash + size + (reader.isEmpty() ? QString() : dash + reader);
}
inline QString PartitionOf(int number, const QString& disk) {
    return QStringLiteral("partition %1 of %2").arg(number).arg(disk);
}
// The device could not be opened for reading, nor through udisks2.
inline QString DeviceNeedsRights(const QString& device, const QString& reason) {
    return QStringLiteral(
               "%1 cannot be read: %2. Run the program as a user who may read the device, or "
               "start udisks2.")
        .arg(device, reason);
}
// udisks2 is there but refused to open the device (the user was not let).
inline QString DeviceRefused(const QString& device, const QString& reason) {
    return QStringLiteral(
               "%1 cannot be read: %2. Run the program as a user who may read the device.")
        .arg(device, reason);
}
inline QString DiskServiceDoesNotKnow() {
    return QStringLiteral("udisks2 does not know the device");
}
inline QString RescueOntoItsCard(const QString& device) {
    return QStringLiteral(
               "The folder chosen lies on %1, the card to be rescued: writing there would "
               "overwrite what the rescue looks for. Choose a folder on another disk in the "
               "folder tree.")
        .arg(device);
}
inline QString RescuingTheCard() { return QStringLiteral("Rescuing the card..."); }
inline QString RescueFailed() { return QStringLiteral("Rescue failed"); }
inline QString TakesRescued(std::size_t takes, const QString& folder) {
    return (takes == 1 ? QStringLiteral("1 take rescued into ")
                       : QStringLiteral("%1 takes rescued into ").arg(takes)) +
           folder + '.';
}
inline QString RescueCancelled(const QString& folder) {
    return QStringLiteral("Rescue cancelled; what was found so far is in ") + folder + '.';
}
inline QString RescueReportTitle() { return QStringLiteral("Rescue report"); }
inline QString RescueReportKept(const QString& path) {
    return QStringLiteral("The report is kept in ") + path + '.';
}

// Help.
inline QString NoHelpFile() { return QStringLiteral("Help file couldn't be found."); }
inline QString HelpTitle() { return QStringLiteral("Card Manager for TRX-5 - Help"); }

// The import dialog's rate line.
inline QString RateKept(int songRate) {
    return QStringLiteral("Rate : %1 Hz, no conversion").arg(songRate);
}
inline QString RateKeptAsItIs(const QString& fileRate, int playsAt) {
    return QStringLiteral("Rate : %1, kept (plays at %2 Hz)").arg(fileRate).arg(playsAt);
}
inline QString RateTooLow(const QString& fileRate) {
    return QStringLiteral("Rate : %1 Hz, too low to convert").arg(fileRate);
}
inline QString RateConverted(const QString& change) { return QStringLiteral("Rate : ") + change; }

// The save dialog of an export.
inline QString SaveTitle() { return QStringLiteral("Save V-Takes as"); }

// The program's command line.
inline QString ProgramDescription() {
    return QStringLiteral(
        "Card Manager for TRX-5: export, import, play and back up the takes of a TRX-5 memory "
        "card.");
}
inline QString HelpOption() { return QStringLiteral("Displays help on commandline options."); }
inline QString FolderArgument() {
    return QStringLiteral("The card's folder (or a backup of it) to open.");
}
inline QString TooManyArguments() { return QStringLiteral("Too many arguments."); }

}  // namespace app_text
