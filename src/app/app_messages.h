// The window's texts for the user: the lines of the information box, the
// questions it asks and the messages it shows.
#pragma once

#include <QCoreApplication>
#include <QString>

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
