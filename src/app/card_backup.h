// The window's backup and restore: the card chosen in the Card Drive list
// copied into the folder chosen in the tree, or that folder's card files
// copied back onto the card; each after its checks and the user's
// confirmation, under the copy's own progress dialog.
#pragma once

#include <QString>

class DialogProvider;
class TDirTreeView;
class TDriveCombo;
class TFileOperation;
class TOperationRunner;
class QWidget;

class TCardBackup {
  public:
    TCardBackup(QWidget& window, DialogProvider& dialogs, TFileOperation& fileOp,
                TDriveCombo& drives, TDirTreeView& tree, TOperationRunner& runner);

    // The card into the folder chosen in the tree; the folder is read again
    // afterwards, so that its songs show.
    void Backup();
    // The card files of `cardFolder` (the folder shown) onto the card.
    void Restore(const QString& cardFolder);

  private:
    // Whether a card is chosen in the Card Drive list; tells the user when
    // not.
    bool CardDriveChosen();
    // Copies the card files of `source` into `destination` and shows how it
    // went; true when it succeeded.
    bool Copy(const QString& source, const QString& destination, const QString& title);

    QWidget& window_;
    DialogProvider& dialogs_;
    TFileOperation& fileOp_;
    TDriveCombo& drives_;
    TDirTreeView& tree_;
    TOperationRunner& runner_;
};
