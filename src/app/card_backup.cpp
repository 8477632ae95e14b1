#include "app/card_backup.h"

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/drive_combo.h"
#include "app/operation_runner.h"
#include "card/card_info.h"
#include "common/folder.h"
#include "controls/dirtreeview.h"
#include "controls/fileoperation.h"

namespace {

QString WithTrailingSlash(const QString& folder) {
    return QString::fromStdString(trx5::WithTrailingSlash(folder.toStdString()));
}

// A folder as the copy and the user see it: without a trailing "/" (the
// file system's root stays "/").
QString WithoutTrailingSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

}  // namespace

TCardBackup::TCardBackup(QWidget& window, DialogProvider& dialogs, TFileOperation& fileOp,
                         TDriveCombo& drives, TDirTreeView& tree, TOperationRunner& runner)
    : window_(window),
      dialogs_(dialogs),
      fileOp_(fileOp),
      drives_(drives),
      tree_(tree),
      runner_(runner) {}

bool TCardBackup::CardDriveChosen() {
    if (!drives_.Root().isEmpty()) return true;
    dialogs_.MessageBox(&window_, app_text::ChooseCardDrive());
    return false;
}

void TCardBackup::Backup() {
    if (!CardDriveChosen()) return;
    const QString root = WithoutTrailingSlash(drives_.Root());
    if (const trx5::Status card = trx5::CheckCardFolder(root.toStdString()); !card) {
        dialogs_.MessageBox(&window_, QString::fromStdString(card.message()));
        return;
    }
    const QString destination = WithTrailingSlash(tree_.GetDirectory());
    if (destination.isEmpty()) {
        dialogs_.MessageBox(&window_, app_text::ChooseBackupFolder());
        return;
    }
    if (!dialogs_.Confirm(&window_, app_text::ConfirmBackup(root, destination),
                          app_text::BackupConfirmCaption())) {
        return;
    }
    if (Copy(root, destination, app_text::CopyingFiles(root, destination))) {
        // The folder is read again: its songs show and Restore is offered.
        tree_.ReBuild();
    }
}

void TCardBackup::Restore(const QString& cardFolder) {
    if (!CardDriveChosen()) return;
    const QString root = WithoutTrailingSlash(drives_.Root());
    if (!dialogs_.Confirm(&window_, app_text::ConfirmRestore(cardFolder, root),
                          app_text::BackupConfirmCaption())) {
        return;
    }
    // The card must be there: a card taken out leaves no folder to fill.
    fileOp_.SetDestinationMustExist(true);
    Copy(WithoutTrailingSlash(cardFolder), root, app_text::RestoringFiles(cardFolder, root));
}

bool TCardBackup::Copy(const QString& source, const QString& destination, const QString& title) {
    fileOp_.SetFolderCopy(source, {QStringLiteral("*.tx5"), QStringLiteral("*.aud")}, destination);
    fileOp_.SetProgressTitle(title);
    runner_.SetBusy(true);
    const bool copied = fileOp_.Execute();
    runner_.SetBusy(false);
    if (fileOp_.Aborted()) runner_.AddLine(app_text::OperationCanceled());
    // The files left out, and after a cancel which songs were copied.
    for (const QString& line : fileOp_.Notes()) runner_.AddLine(line);
    if (copied) {
        dialogs_.MessageBox(&window_, app_text::Done());
        return true;
    }
    // A failure has been shown already, with the file and the reason; the
    // information box ends with it too.
    if (fileOp_.Aborted()) {
        dialogs_.MessageBox(&window_, app_text::OperationCanceled());
    } else {
        runner_.AddLine(fileOp_.Error());
    }
    return false;
}
