// The window's imports: a file chosen in the import dialog into the one or
// two destinations, or a file dropped on a V-Take into that V-Take. Each
// asks before it replaces what is there, keeps the takes it replaces in the
// card's history (one step, which undo takes back), runs under the window's
// operation runner, and tells the selection of the takes it wrote.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "convert/song_selection.h"

class DialogProvider;
class QWidget;
class TGetWin;
class TOperationRunner;
namespace CustDlgs {
class TCOpenDialog;
}

class TTakeImport {
  public:
    // `showTake` puts a take just written into its slot.
    TTakeImport(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                const trx5::SongSelection& selection,
                std::function<void(int slot, const std::string& path)> showTake);

    // A file chosen in `open`, with `getWin` below it, into the destinations.
    void FromDialog(CustDlgs::TCOpenDialog& open, TGetWin* getWin);
    // A file dropped on a slot's V-Take.
    void Dropped(int slot, const QString& path);

  private:
    void Run(const trx5::ImportRequest& request);
    // Asks before an import replaces a file in a destination's place that
    // is no take; false when the user says no.
    bool ConfirmReplacingDamaged(const std::vector<trx5::TakeSlot>& targets);

    QWidget& window_;
    DialogProvider& dialogs_;
    TOperationRunner& runner_;
    const trx5::SongSelection& selection_;
    std::function<void(int, const std::string&)> showTake_;
};
