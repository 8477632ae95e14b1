#include "app/take_organize.h"

#include <QAction>
#include <QDir>
#include <QKeySequence>
#include <QMenu>
#include <QSettings>
#include <QShortcut>
#include <QWidget>
#include <algorithm>
#include <set>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/history_win.h"
#include "app/info_text.h"
#include "app/operation_runner.h"
#include "app/take_drag_drop.h"
#include "app/take_grid_keys.h"
#include "card/card_info.h"
#include "convert/song_selection.h"

namespace {

using trx5::OrganizeOutcome;
using trx5::TakeHistory;
using trx5::TakePlace;

const QString kLimitKey = QStringLiteral("history/limitBytes");

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// An operation's outcome as the runner takes it: it cannot be stopped.
struct Organized {
    OrganizeOutcome outcome;
    bool cancelled = false;
};

bool SamePlace(TakePlace a, TakePlace b) {
    return a.fileNumber == b.fileNumber && a.slot.track == b.slot.track &&
           a.slot.vtake == b.slot.vtake;
}

bool WasKept(const OrganizeOutcome& outcome, TakePlace place) {
    const std::string name =
        trx5::TakeFileName(place.fileNumber, place.slot.track, place.slot.vtake);
    return std::find(outcome.kept.begin(), outcome.kept.end(), name) != outcome.kept.end();
}

}  // namespace

std::uint64_t HistoryLimitSetting() {
    const QSettings settings(QStringLiteral("trx5-card-manager"), QStringLiteral("window"));
    bool ok = false;
    const qulonglong bytes = settings.value(kLimitKey).toULongLong(&ok);
    // A limit of nothing would drop every take the moment it is kept.
    return ok && bytes > 0 ? bytes : trx5::kDefaultHistoryLimit;
}

void SaveHistoryLimitSetting(std::uint64_t bytes) {
    QSettings settings(QStringLiteral("trx5-card-manager"), QStringLiteral("window"));
    settings.setValue(kLimitKey, static_cast<qulonglong>(bytes));
}

TTakeOrganizer::TTakeOrganizer(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                               TInfoText& info, const trx5::SongSelection& selection,
                               std::function<bool()> ready, std::function<void()> cardChanged)
    : QObject(&window),
      window_(window),
      dialogs_(dialogs),
      runner_(runner),
      info_(info),
      selection_(selection),
      ready_(std::move(ready)),
      cardChanged_(std::move(cardChanged)) {}

void TTakeOrganizer::Listen(TTakeGridKeys& keys, TTakeDragDrop& dragDrop) {
    // The questions and messages of an operation run their own event loops:
    // never inside a key's or a drop's handler.
    connect(
        &keys, &TTakeGridKeys::CommandKey, this,
        [this](int slot, TTakeGridKeys::Command command) {
            switch (command) {
                case TTakeGridKeys::Command::Copy:
                    return Copy(slot);
                case TTakeGridKeys::Command::Paste:
                    return Paste(slot);
                case TTakeGridKeys::Command::Delete:
                    return Delete(slot);
                case TTakeGridKeys::Command::Undo:
                    return Undo();
                case TTakeGridKeys::Command::Redo:
                    return Redo();
            }
        },
        Qt::QueuedConnection);
    connect(&dragDrop, &TTakeDragDrop::TakeDropped, this, &TTakeOrganizer::Dropped,
            Qt::QueuedConnection);
    auto* history = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), &window_);
    connect(history, &QShortcut::activated, this, &TTakeOrganizer::ShowHistory,
            Qt::QueuedConnection);
}

void TTakeOrganizer::AddMenuItems(QMenu& menu, int slot) {
    const bool ready = ready_();
    const bool hasTake = ready && !selection_.TakeFiles[slot].empty();
    const TakePlace here{selection_.FileNumber, trx5::SlotAt(slot)};
    auto add = [&](const QString& text, const QKeySequence& keys, bool enabled,
                   std::function<void()> work) {
        QAction* action = menu.addAction(text);
        action->setShortcut(keys);
        action->setEnabled(enabled);
        // The work starts from the event loop once the menu has closed (and
        // may be gone), never inside the menu's own handler.
        connect(action, &QAction::triggered, this, std::move(work), Qt::QueuedConnection);
    };
    menu.addSeparator();
    add(app_text::CopyItem(), QKeySequence(Qt::CTRL | Qt::Key_C), hasTake,
        [this, slot] { Copy(slot); });
    const bool canPaste =
        ready && clip_ && clip_->card == selection_.CardDir && !SamePlace(clip_->place, here);
    add(app_text::PasteItem(), QKeySequence(Qt::CTRL | Qt::Key_V), canPaste,
        [this, slot] { Paste(slot); });
    add(app_text::DeleteItem(), QKeySequence(Qt::Key_Delete), hasTake,
        [this, slot] { Delete(slot); });
    QMenu* songs = menu.addMenu(app_text::CopySongItem());
    songs->setObjectName(QStringLiteral("CopySongMenu"));
    const std::vector<int> free = ready ? FreeSongNumbers(selection_.CardDir) : std::vector<int>();
    for (const int fileNumber : free) {
        QAction* song = songs->addAction(ToQString(trx5::SongNumberText(fileNumber + 1)));
        connect(
            song, &QAction::triggered, this, [this, fileNumber] { CopySong(fileNumber); },
            Qt::QueuedConnection);
    }
    songs->setEnabled(!free.empty());
    menu.addSeparator();
    add(app_text::HistoryItem(), QKeySequence(Qt::CTRL | Qt::Key_H), ready,
        [this] { ShowHistory(); });
}

std::vector<int> TTakeOrganizer::FreeSongNumbers(const std::string& cardDir) {
    // Any file named as a song file takes its number, valid or not: a copy
    // never writes over it.
    std::set<int> taken;
    for (const QString& name : QDir(ToQString(cardDir)).entryList(QDir::Files | QDir::Hidden)) {
        if (const auto number = trx5::SongFileNumber(name.toStdString())) taken.insert(*number);
    }
    std::vector<int> free;
    for (int fileNumber = 0; fileNumber < 100; ++fileNumber) {
        if (taken.count(fileNumber) == 0) free.push_back(fileNumber);
    }
    return free;
}

trx5::OrganizeOptions TTakeOrganizer::Options() const {
    trx5::OrganizeOptions options;
    options.historyLimit = HistoryLimitSetting();
    return options;
}

std::optional<OrganizeOutcome> TTakeOrganizer::Run(const QString& failed,
                                                   const Operation& operation) {
    TOperationRunner::Lines lines;
    lines.failed = failed;
    const std::string card = selection_.CardDir;
    auto result = runner_.Run(lines, [&](trx5::Progress&) -> trx5::Result<Organized> {
        // The history is held only while the operation runs.
        auto history = TakeHistory::Open(card);
        if (!history) return history.status();
        auto outcome = operation(*history);
        if (!outcome) return outcome.status();
        return Organized{std::move(*outcome)};
    });
    // A failure part-way may have changed files as well.
    cardChanged_();
    if (!result) return std::nullopt;
    return std::move(result->outcome);
}

bool TTakeOrganizer::ReadHistory(const std::function<void(const TakeHistory&)>& read) {
    auto history = TakeHistory::Open(selection_.CardDir);
    if (!history) {
        runner_.Report(app_text::HistoryFailed(), history.status());
        return false;
    }
    read(*history);
    return true;
}

void TTakeOrganizer::Say(const QString& line) {
    info_.clear();
    info_.AddLine(line);
}

void TTakeOrganizer::Tell(const QString& line, const OrganizeOutcome& outcome) {
    info_.AddLine(line);
    if (outcome.converted) {
        info_.AddLine(ToQString(trx5::ConvertedText(outcome.fromLong, outcome.toLong)));
    }
    for (const std::string& note : outcome.notes) info_.AddLine(ToQString(note));
}

QString TTakeOrganizer::PlaceName(TakePlace place) const {
    const QString take = ToQString(trx5::TakeCaption(place.slot));
    if (place.fileNumber == selection_.FileNumber) return take;
    return app_text::OfSong(take, ToQString(trx5::SongNumberText(place.fileNumber + 1)));
}

QString TTakeOrganizer::CardFileName(const std::string& name) const {
    if (const auto number = trx5::TakeFileNumber(name)) {
        if (const auto slot = trx5::ParseTakeFileName(name, *number)) {
            return PlaceName({*number, *slot});
        }
    }
    return ToQString(name);
}

QString TTakeOrganizer::StepText(const trx5::HistoryStep& step) const {
    QStringList names;
    QString song;
    for (const trx5::SlotChange& change : step.changes) {
        if (const auto number = trx5::SongFileNumber(change.name)) {
            song = ToQString(trx5::SongNumberText(*number + 1));
        } else {
            names << CardFileName(change.name);
        }
    }
    const QString all = names.join(QStringLiteral(", "));
    // A move or swap within one mode is a rename; one between modes records
    // its target first, then its source.
    if (!step.renames.empty() && (step.kind == "move" || step.kind == "swap")) {
        const QString from = CardFileName(step.renames.front().from);
        const QString to = CardFileName(step.renames.front().to);
        return step.kind == "move" ? app_text::MoveStep(from, to) : app_text::SwapStep(from, to);
    }
    if (step.kind == "move" && names.size() == 2) return app_text::MoveStep(names[1], names[0]);
    if (step.kind == "swap" && names.size() == 2) return app_text::SwapStep(names[0], names[1]);
    if (step.kind == "copy") return app_text::CopyStep(all);
    if (step.kind == "delete") return app_text::DeleteStep(all);
    if (step.kind == "copy-song" && !song.isEmpty()) return app_text::CopySongStep(song);
    if (step.kind == "restore") return app_text::RestoreStep(all);
    if (step.kind == "import") return app_text::ImportStep(all);
    return app_text::OtherStep(ToQString(step.kind));
}

void TTakeOrganizer::Copy(int slot) {
    if (!ready_() || selection_.TakeFiles[slot].empty()) return;
    clip_ = Clip{selection_.CardDir, {selection_.FileNumber, trx5::SlotAt(slot)}};
    Say(app_text::TakeOnClipboard(PlaceName(clip_->place)));
}

void TTakeOrganizer::Paste(int slot) {
    if (!ready_()) return;
    // A take of another card cannot come over: each card has its own
    // history.
    if (!clip_ || clip_->card != selection_.CardDir) {
        Say(app_text::NothingToPaste());
        return;
    }
    const TakePlace from = clip_->place;
    const TakePlace to{selection_.FileNumber, trx5::SlotAt(slot)};
    if (SamePlace(from, to)) return;
    // Between a HiFi and a LONG song the take is coded anew: asked first.
    for (const trx5::SongEntry& song : trx5::ListSongs(selection_.CardDir)) {
        if (song.fileNumber != from.fileNumber || song.longMode == selection_.LongMode) continue;
        const QString text = ToQString(trx5::ConvertedText(song.longMode, selection_.LongMode));
        if (!dialogs_.Confirm(&window_, text, app_text::QuestionCaption())) return;
    }
    Place(from, to, false);
}

void TTakeOrganizer::Dropped(int from, int to, bool copy) {
    if (!ready_() || from == to || selection_.TakeFiles[from].empty()) return;
    Place({selection_.FileNumber, trx5::SlotAt(from)}, {selection_.FileNumber, trx5::SlotAt(to)},
          !copy);
}

void TTakeOrganizer::Place(TakePlace from, TakePlace to, bool move) {
    const QString fromName = PlaceName(from);
    const QString toName = PlaceName(to);
    bool swap = false;
    if (!selection_.TakeFiles[trx5::SlotIndex(to.slot)].empty()) {
        const QStringList buttons{app_text::ReplaceButton(), app_text::SwapButton(),
                                  app_text::CancelButton()};
        const int choice = dialogs_.Choose(&window_, app_text::TakeInTheWay(toName, fromName),
                                           app_text::QuestionCaption(), buttons);
        if (choice != 0 && choice != 1) return;
        swap = choice == 1;
    }
    const trx5::OrganizeOptions options = Options();
    if (swap) {
        const auto outcome = Run(app_text::SwapFailed(), [&](TakeHistory& history) {
            return trx5::SwapTakes(history, from, to, options);
        });
        if (outcome) Tell(app_text::TakesSwapped(fromName, toName), *outcome);
        return;
    }
    const auto outcome =
        Run(move ? app_text::MoveFailed() : app_text::CopyFailed(), [&](TakeHistory& history) {
            return move ? trx5::MoveTake(history, from, to, options)
                        : trx5::CopyTake(history, from, to, options);
        });
    if (!outcome) return;
    const bool oldKept = WasKept(*outcome, to);
    Tell(move ? app_text::TakeMoved(fromName, toName, oldKept)
              : app_text::TakeCopied(fromName, toName, oldKept),
         *outcome);
}

void TTakeOrganizer::Delete(int slot) {
    if (!ready_() || selection_.TakeFiles[slot].empty()) return;
    const TakePlace place{selection_.FileNumber, trx5::SlotAt(slot)};
    const QString name = PlaceName(place);
    const trx5::OrganizeOptions options = Options();
    const auto outcome = Run(app_text::DeleteFailed(), [&](TakeHistory& history) {
        return trx5::DeleteTakes(history, {place}, options);
    });
    if (outcome) Tell(app_text::TakeDeleted(name), *outcome);
}

void TTakeOrganizer::CopySong(int newFileNumber) {
    if (!ready_()) return;
    const int fileNumber = selection_.FileNumber;
    const trx5::OrganizeOptions options = Options();
    const auto outcome = Run(app_text::CopySongFailed(), [&](TakeHistory& history) {
        return trx5::CopySong(history, fileNumber, newFileNumber, options);
    });
    if (!outcome) return;
    Tell(app_text::SongCopied(ToQString(trx5::SongNumberText(fileNumber + 1)),
                              ToQString(trx5::SongNumberText(newFileNumber + 1))),
         *outcome);
}

void TTakeOrganizer::Undo() { UndoOrRedo(true); }

void TTakeOrganizer::Redo() { UndoOrRedo(false); }

void TTakeOrganizer::UndoOrRedo(bool undo) {
    if (!ready_()) return;
    QString step;
    const trx5::OrganizeOptions options = Options();
    const auto outcome = Run(undo ? app_text::UndoFailed() : app_text::RedoFailed(),
                             [&](TakeHistory& history) -> trx5::Result<OrganizeOutcome> {
                                 // Undo takes back the newest step still applied, redo applies
                                 // the oldest one undone.
                                 const trx5::HistoryStep* next = nullptr;
                                 for (const trx5::HistoryStep& s : history.steps()) {
                                     if (undo ? !s.undone : (s.undone && next == nullptr))
                                         next = &s;
                                 }
                                 OrganizeOutcome done;
                                 if (next == nullptr) return done;
                                 step = StepText(*next);
                                 if (trx5::Status s = undo ? history.Undo(1) : history.Redo(); !s)
                                     return s;
                                 done.notes = history.Trim(options.historyLimit);
                                 return done;
                             });
    if (!outcome) return;
    if (step.isEmpty()) {
        Tell(undo ? app_text::NothingToUndo() : app_text::NothingToRedo(), *outcome);
    } else {
        Tell(undo ? app_text::Undone(step) : app_text::Redone(step), *outcome);
    }
}

void TTakeOrganizer::ShowHistory() {
    if (!ready_()) return;
    auto* win = new THistoryWin(window_, *this);
    win->setAttribute(Qt::WA_DeleteOnClose);
    if (!win->Reload()) {
        delete win;
        return;
    }
    win->open();
}

bool TTakeOrganizer::PutBack(const std::string& id, int slot) {
    if (!ready_()) return false;
    const TakePlace to{selection_.FileNumber, trx5::SlotAt(slot)};
    const QString toName = PlaceName(to);
    trx5::OrganizeOptions options = Options();
    // Only into a free V-Take: nothing is replaced on the way.
    options.noReplace = true;
    QString kept;
    QString when;
    const auto outcome = Run(app_text::PutBackFailed(), [&](TakeHistory& history) {
        if (const trx5::KeptFile* file = history.Find(id)) {
            kept = ToQString(trx5::DescribeCardFile(file->name));
            when = QString::fromStdString(trx5::KeptTimeText(file->time));
        }
        return trx5::RestoreTake(history, id, to, options);
    });
    if (!outcome) return false;
    Tell(app_text::PutBackDone(kept, when, toName), *outcome);
    return true;
}
