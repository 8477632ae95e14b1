// The window's operations on takes that can be undone: a take moved or
// copied by a drag, copied and pasted, deleted, a song copied whole, undo
// and redo, a kept take put back. Each opens the card's history for itself
// alone and lets it go at once (the command line may want it next), asks
// first where a take is in the way or is to be converted, tells in the
// information box what it did, and has the window show the card anew.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "organize/take_organizer.h"

class DialogProvider;
class QMenu;
class QWidget;
class TInfoText;
class TOperationRunner;
class TTakeDragDrop;
class TTakeGridKeys;
namespace trx5 {
class SongSelection;
}

// The most the history may keep, as the history window sets it.
std::uint64_t HistoryLimitSetting();
void SaveHistoryLimitSetting(std::uint64_t bytes);

class TTakeOrganizer : public QObject {
    Q_OBJECT

  public:
    // `ready` says whether a song is shown and no operation runs;
    // `cardChanged` shows the card's songs and takes anew.
    TTakeOrganizer(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                   TInfoText& info, const trx5::SongSelection& selection,
                   std::function<bool()> ready, std::function<void()> cardChanged);

    // Takes the grid's command keys and the takes dropped on its buttons.
    // The work starts once their handlers have returned.
    void Listen(TTakeGridKeys& keys, TTakeDragDrop& dragDrop);
    // Adds the V-Take menu's items for `slot`: Copy, Paste, Delete, the
    // free songs to copy the song to, History. They run once the menu has
    // closed.
    void AddMenuItems(QMenu& menu, int slot);

    // A slot's take onto the window's own clipboard.
    void Copy(int slot);
    // The take on the clipboard into `slot` of the song shown.
    void Paste(int slot);
    void Delete(int slot);
    // The take of `from` dropped on `to`, both of the song shown.
    void Dropped(int from, int to, bool copy);
    // The song shown, with its takes, to the free file number `newFileNumber`.
    void CopySong(int newFileNumber);
    void Undo();
    void Redo();
    // The history window, over the main window.
    void ShowHistory();

    // Opens the card's history, hands it to `read` and lets it go; false,
    // with the failure told, when it cannot be opened.
    bool ReadHistory(const std::function<void(const trx5::TakeHistory&)>& read);
    // The kept take `id` into the free `slot` of the song shown.
    bool PutBack(const std::string& id, int slot);
    const trx5::SongSelection& Selection() const { return selection_; }

    // The file numbers (0..99) of the card in `cardDir` that have no song
    // file.
    static std::vector<int> FreeSongNumbers(const std::string& cardDir);

  private:
    struct Clip {
        std::string card;
        trx5::TakePlace place;
    };

    using Operation = std::function<trx5::Result<trx5::OrganizeOutcome>(trx5::TakeHistory&)>;
    // Runs `operation` on the card's history under the window's runner, then
    // shows the card anew; the outcome, or none after a failure told as
    // `failed`.
    std::optional<trx5::OrganizeOutcome> Run(const QString& failed, const Operation& operation);
    trx5::OrganizeOptions Options() const;
    // The take of `from` into `to` (of the song shown), moved or copied;
    // asks first when a take is there.
    void Place(trx5::TakePlace from, trx5::TakePlace to, bool move);
    // Clears the information box and writes `line`.
    void Say(const QString& line);
    // The lines that close an operation: `line`, the conversion's note and
    // the history's notes.
    void Tell(const QString& line, const trx5::OrganizeOutcome& outcome);
    // "2-5", or "2-5 of song 01" for a take of another song than the one
    // shown.
    QString PlaceName(trx5::TakePlace place) const;
    QString CardFileName(const std::string& name) const;
    // A step of the history as undo and redo tell it.
    QString StepText(const trx5::HistoryStep& step) const;
    void UndoOrRedo(bool undo);

    QWidget& window_;
    DialogProvider& dialogs_;
    TOperationRunner& runner_;
    TInfoText& info_;
    const trx5::SongSelection& selection_;
    std::function<bool()> ready_;
    std::function<void()> cardChanged_;
    std::optional<Clip> clip_;
};
