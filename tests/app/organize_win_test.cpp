// Takes moved around the card from the window, as a user does it: dragged
// from V-Take to V-Take, copied, pasted and deleted by keys and by the
// V-Take menu, a song copied, undone and redone, and put back from the
// history window. Mouse events go through the window system; every case
// has a history of its own in a temporary XDG_DATA_HOME.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <map>

#include "app/app_messages.h"
#include "app/history_win.h"
#include "app/main_win.h"
#include "app/song_list.h"
#include "app_test_support.h"
#include "organize/take_history.h"
#include "support/test_support.h"

namespace {

using trx5test::Bytes;
using Files = std::map<QString, Bytes>;

constexpr int k1_1 = 0;
constexpr int k1_2 = 1;
constexpr int k2_1 = 8;
constexpr int k2_5 = 12;
constexpr int k3_1 = 16;
constexpr int k3_3 = 18;

// Every regular file of a folder, by name, with its bytes.
Files Snapshot(const QString& folder) {
    Files files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        files[name] = trx5test::ReadFile((folder + '/' + name).toStdString());
    }
    return files;
}

// The last line of the information box.
QString LastLine(const TMainWin& win) {
    return win.InfoText->toPlainText().split('\n').constLast();
}

// Drags `data` over the button and drops it there with `modifiers` held:
// the events a drag gives the button it ends on. Whether the button took
// the drop.
bool DropOn(QToolButton* button, const QMimeData* data, Qt::KeyboardModifiers modifiers) {
    const QPoint at = button->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(button, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(button, &move);
    QDropEvent drop(QPointF(at), actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(button, &drop);
    return drop.isAccepted();
}

}  // namespace

class OrganizeWinTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;
    QTemporaryDir work_;
    std::unique_ptr<QTemporaryDir> data_;
    std::unique_ptr<QTemporaryDir> card_;
    QString folder_;
    std::string cardDir_;

    QString Path(const QString& name) const { return folder_ + '/' + name; }
    Bytes Take(const QString& name) const { return trx5test::ReadFile(Path(name).toStdString()); }

    // The window shown, active, on the card.
    bool Show(TMainWin& win) {
        win.show();
        win.activateWindow();
        if (!QTest::qWaitForWindowActive(&win)) return false;
        win.DirTreeChange(folder_);
        return true;
    }

    // A press on the V-Take and a move past the drag distance, as the mouse
    // gives them; the data of the drag that starts, or none.
    const QMimeData* DragFrom(TMainWin& win, int slot) {
        QToolButton* take = win.TakeBtns[slot];
        const QPoint start = take->rect().center();
        const QPoint away = start + QPoint(QApplication::startDragDistance() + 4, 0);
        const std::size_t before = dialogs_.dragged.size();
        QTest::mousePress(take, Qt::LeftButton, {}, start);
        QTest::mouseMove(take, away);
        QTest::mouseRelease(take, Qt::LeftButton, {}, away);
        return dialogs_.dragged.size() > before ? dialogs_.dragged.back().get() : nullptr;
    }

    // A key on the V-Take button with the focus; the work it starts has run.
    static void Key(TMainWin& win, int slot, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        win.TakeBtns[slot]->setFocus();
        QTest::keyClick(win.TakeBtns[slot], key, modifiers);
        QTest::qWait(0);
        QCoreApplication::processEvents();
    }

    static QAction* Item(const QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) return action;
        }
        return nullptr;
    }

    // Ctrl+H: the history window that opens.
    static THistoryWin* OpenHistory(TMainWin& win) {
        QTest::keyClick(win.TakeBtns[0], Qt::Key_H, Qt::ControlModifier);
        THistoryWin* history = nullptr;
        for (int waited = 0; waited < 5000 && history == nullptr; waited += 10) {
            QTest::qWait(10);
            history = win.findChild<THistoryWin*>();
            if (history != nullptr && !history->isVisible()) history = nullptr;
        }
        return history;
    }

  private slots:
    // A card of its own for every case: songs 01 (HiFi) and 02 (LONG), and
    // a history of its own.
    void init() {
        dialogs_ = FakeDialogs();
        data_ = std::make_unique<QTemporaryDir>();
        card_ = std::make_unique<QTemporaryDir>();
        QVERIFY(data_->isValid() && card_->isValid());
        qputenv("XDG_DATA_HOME", data_->path().toLocal8Bit());
        QSettings(QStringLiteral("trx5-card-manager"), QStringLiteral("window")).clear();
        folder_ = card_->path();
        cardDir_ = folder_.toStdString() + "/";
        trx5test::MakeMachineFile(cardDir_);
        trx5test::MakeSongFile(cardDir_, 0, false);
        trx5test::MakeSongFile(cardDir_, 1, true);
        trx5test::MakeTake(cardDir_, 0, 0, 0, false, 4, 1);     // 1-1
        trx5test::MakeTake(cardDir_, 0, 0, 1, false, 4000, 2);  // 1-2, 1:03
        trx5test::MakeTake(cardDir_, 0, 1, 4, false, 3, 3);     // 2-5
        trx5test::MakeTake(cardDir_, 1, 0, 0, true, 5, 4);      // song 02, 1-1
    }

    // A drag onto an empty V-Take moves the take there, byte for byte; with
    // Ctrl it copies. A take dropped where it is does nothing.
    void dragMovesOrCopies_data() {
        QTest::addColumn<bool>("copy");
        QTest::newRow("move") << false;
        QTest::newRow("copy") << true;
    }

    void dragMovesOrCopies() {
        QFETCH(bool, copy);
        const Bytes take = Take("00-14.aud");
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        const QMimeData* data = DragFrom(win, k2_5);
        QVERIFY(data != nullptr);
        QVERIFY(!DropOn(win.TakeBtns[k2_5], data, {}));
        QVERIFY(DropOn(win.TakeBtns[k2_1], data, copy ? Qt::ControlModifier : Qt::NoModifier));
        QTRY_VERIFY(trx5test::FileExists(Path("00-10.aud").toStdString()));
        QCOMPARE(Take("00-10.aud"), take);
        QCOMPARE(trx5test::FileExists(Path("00-14.aud").toStdString()), copy);
        QCOMPARE(LastLine(win),
                 copy ? QString("Take 2-5 copied to 2-1.") : QString("Take 2-5 moved to 2-1."));
        QVERIFY(dialogs_.choices.isEmpty());
        // The grid shows the card as it is now.
        QCOMPARE(win.TakeBtns[k2_1]->text(), QString("2-1"));
        QCOMPARE(win.TakeBtns[k2_5]->text(), copy ? QString("2-5") : QString());
        QCOMPARE(win.TakeFiles[k2_5].empty(), !copy);
    }

    // A drop on a V-Take that holds a take asks; Replace keeps the old take
    // in the history, Swap exchanges the two, Cancel changes nothing.
    void dropOnATakeAsks_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("line");
        QTest::newRow("replace") << "Replace"
                                 << "Take 1-2 moved to 1-1; the old 1-1 is in the history.";
        QTest::newRow("swap") << "Swap"
                              << "Takes 1-2 and 1-1 swapped.";
        QTest::newRow("cancel") << "Cancel" << QString();
    }

    void dropOnATakeAsks() {
        QFETCH(QString, answer);
        QFETCH(QString, line);
        const Files before = Snapshot(folder_);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        dialogs_.choice = answer;
        QVERIFY(DropOn(win.TakeBtns[k1_1], DragFrom(win, k1_2), {}));
        QTRY_COMPARE(dialogs_.choices.size(), 1);
        QCOMPARE(dialogs_.choices[0],
                 QCoreApplication::applicationName() +
                     ": V-Take 1-1 holds a take.\nReplace it with take 1-2, or swap the two?\n"
                     "The take replaced goes into the history.");
        QTest::qWait(0);
        Files expected = before;
        if (answer == "Replace") {
            expected["00-00.aud"] = before.at("00-01.aud");
            expected.erase("00-01.aud");
        } else if (answer == "Swap") {
            std::swap(expected["00-00.aud"], expected["00-01.aud"]);
        }
        QCOMPARE(Snapshot(folder_), expected);
        if (!line.isEmpty()) QCOMPARE(LastLine(win), line);

        auto history = trx5::TakeHistory::Open(cardDir_);
        QVERIFY(history.ok());
        if (answer == "Replace") {
            const auto& kept = history->kept();
            const auto old = std::find_if(kept.begin(), kept.end(),
                                          [](const auto& k) { return k.name == "00-00.aud"; });
            QVERIFY(old != kept.end());
            QCOMPARE(trx5test::ReadFile(history->KeptPath(old->id)), before.at("00-00.aud"));
        }
        QCOMPARE(history->steps().empty(), answer == "Cancel");
    }

    // The keys on the V-Take with the focus: copy, paste (onto a take too),
    // delete, then undo all of it and redo some; every file as it was.
    void keysCopyPasteDeleteUndoRedo() {
        const Files before = Snapshot(folder_);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));

        Key(win, k1_1, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Take 1-1 copied; Paste puts it into a V-Take."));
        Key(win, k3_3, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Take("00-22.aud"), before.at("00-00.aud"));
        QCOMPARE(LastLine(win), QString("Take 1-1 copied to 3-3."));
        QCOMPARE(win.TakeBtns[k3_3]->text(), QString("3-3"));
        dialogs_.choice = "Replace";
        Key(win, k2_5, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(dialogs_.choices.size(), 1);
        QCOMPARE(Take("00-14.aud"), before.at("00-00.aud"));
        QCOMPARE(LastLine(win), QString("Take 1-1 copied to 2-5; the old 2-5 is in the history."));
        Key(win, k1_2, Qt::Key_Delete);
        QVERIFY(!trx5test::FileExists(Path("00-01.aud").toStdString()));
        QCOMPARE(LastLine(win), QString("Take 1-2 deleted; it is in the history."));
        QVERIFY(win.TakeBtns[k1_2]->text().isEmpty());

        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Undone: take 1-2 deleted."));
        QCOMPARE(Take("00-01.aud"), before.at("00-01.aud"));
        QCOMPARE(win.TakeBtns[k1_2]->text(), QString("1-2"));
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Undone: a take copied to 2-5."));
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Undone: a take copied to 3-3."));
        QCOMPARE(Snapshot(folder_), before);
        QVERIFY(win.TakeBtns[k3_3]->text().isEmpty());
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Nothing to undo."));

        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(LastLine(win), QString("Redone: a take copied to 3-3."));
        QCOMPARE(Take("00-22.aud"), before.at("00-00.aud"));
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Snapshot(folder_), before);
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // A take pasted into a song of the other mode is converted, and the
    // user is asked first.
    void pasteIntoTheOtherModeAsksFirst() {
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        Key(win, k1_1, Qt::Key_C, Qt::ControlModifier);
        win.SongNum->setCurrentIndex(1);  // 02 LONG
        QVERIFY(win.LongMode);
        dialogs_.confirmAnswer = false;
        Key(win, k2_1, Qt::Key_V, Qt::ControlModifier);
        const QString question = QCoreApplication::applicationName() +
                                 ": The take is converted from HiFi to LONG; its quality drops.";
        QCOMPARE(dialogs_.confirmations, QStringList{question});
        QVERIFY(!trx5test::FileExists(Path("01-10.aud").toStdString()));
        dialogs_.confirmAnswer = true;
        Key(win, k2_1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(dialogs_.confirmations.size(), 2);
        // Four HiFi blocks take a little less room at the LONG rate.
        QCOMPARE(Take("01-10.aud").size(), std::size_t(512 + 2 * 512));
        QCOMPARE(Take("01-10.aud")[0], std::uint8_t(1));
        QCOMPARE(win.TakeBtns[k2_1]->text(), QString("2-1"));
        QVERIFY(win.InfoText->toPlainText().contains("Take 1-1 of song 01 copied to 2-1."));
        QVERIFY(win.InfoText->toPlainText().contains("its quality drops."));
    }

    // The V-Take menu's Delete and Copy song to song, chosen on the real
    // popups; the menu has gone when they run.
    void menuDeletesAndCopiesTheSong() {
        const Files before = Snapshot(folder_);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));

        QPointer<QMenu> menu = RightClickMenu(win.TakeBtns[k2_5]);
        QVERIFY(menu);
        QAction* del = Item(menu, "Delete");
        QVERIFY(del != nullptr && del->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(del).center());
        QTRY_VERIFY(menu.isNull());
        QTRY_VERIFY(!trx5test::FileExists(Path("00-14.aud").toStdString()));
        QCOMPARE(LastLine(win), QString("Take 2-5 deleted; it is in the history."));

        menu = RightClickMenu(win.TakeBtns[k1_1]);
        QVERIFY(menu);
        QAction* copySong = Item(menu, "Copy song to song ...");
        QVERIFY(copySong != nullptr && copySong->menu() != nullptr);
        // The free numbers, as the song list writes them.
        const QList<QAction*> free = copySong->menu()->actions();
        QCOMPARE(free.size(), 98);
        QCOMPARE(free.first()->text(), QString("03"));
        QCOMPARE(free.last()->text(), QString("100"));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(copySong).center());
        QTRY_VERIFY(QApplication::activePopupWidget() == copySong->menu());
        QMenu* songs = copySong->menu();
        QTest::mouseClick(songs, Qt::LeftButton, {}, songs->actionGeometry(free.first()).center());
        QTRY_VERIFY(menu.isNull());
        QTRY_VERIFY(trx5test::FileExists(Path("UtyPrm02.tx5").toStdString()));
        QCOMPARE(Take("UtyPrm02.tx5"), before.at("UtyPrm00.tx5"));
        QCOMPARE(Take("02-00.aud"), before.at("00-00.aud"));
        QCOMPARE(Take("02-01.aud"), before.at("00-01.aud"));
        QVERIFY(!trx5test::FileExists(Path("02-14.aud").toStdString()));
        QCOMPARE(LastLine(win), QString("Song 01 copied to song 03."));
        // The song list has it; song 01 is still the one shown.
        QCOMPARE(win.SongNum->count(), 3);
        QCOMPARE(win.SongNum->itemText(2), QString("03 HiFi"));
        QCOMPARE(win.SongNum->currentText(), QString("01 HiFi"));

        // Undone, the song goes again.
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Undone: a song copied to song 03."));
        QCOMPARE(win.SongNum->count(), 2);
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // The history window lists the kept takes, newest first, and puts one
    // back into a free V-Take of the song shown, byte for byte.
    void historyListsAndPutsBack() {
        const Files before = Snapshot(folder_);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        Key(win, k1_1, Qt::Key_C, Qt::ControlModifier);
        dialogs_.choice = "Replace";
        Key(win, k2_5, Qt::Key_V, Qt::ControlModifier);  // 2-5 copied over
        QVERIFY(DropOn(win.TakeBtns[k1_1], DragFrom(win, k2_5), {}));
        QTRY_VERIFY(win.TakeBtns[k2_5]->text().isEmpty());  // 1-1 moved over
        Key(win, k1_2, Qt::Key_Delete);                     // 1-2 deleted

        QPointer<THistoryWin> history = OpenHistory(win);
        QVERIFY(history);
        QTreeWidget* list = history->List;
        QCOMPARE(list->topLevelItemCount(), 3);
        const QStringList what{"deleted", "moved over", "copied over"};
        const QStringList places{"1-2", "1-1", "2-5"};
        const QRegularExpression when("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$");
        for (int row = 0; row < 3; ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            QCOMPARE(item->text(THistoryWin::SongColumn), QString("01"));
            QCOMPARE(item->text(THistoryWin::SlotColumn), places[row]);
            QVERIFY(when.match(item->text(THistoryWin::KeptColumn)).hasMatch());
            QCOMPARE(item->text(THistoryWin::WhatColumn), what[row]);
        }
        QCOMPARE(list->topLevelItem(0)->text(THistoryWin::LengthColumn), QString("01:03"));
        QCOMPARE(list->topLevelItem(1)->text(THistoryWin::LengthColumn), QString("00:00"));
        QVERIFY(history->Summary->text().startsWith("3 files kept, 2."));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(history->grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/history-window.png")));

        // The deleted 1-2 back into its own V-Take, free now.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(0)).center());
        QCOMPARE(list->currentItem(), list->topLevelItem(0));
        QVERIFY(history->PutBackBtn->isEnabled());
        QVERIFY(history->NoSlotLabel->text().isEmpty());
        QCOMPARE(history->FreeSlotsLabel->text(), QString("Free V-Take of song 01:"));
        // Of the 32 V-Takes, only 1-1 holds a take.
        QCOMPARE(history->FreeSlots->count(), 31);
        history->FreeSlots->setCurrentIndex(history->FreeSlots->findText("1-2"));
        QTest::mouseClick(history->PutBackBtn, Qt::LeftButton);
        QCOMPARE(Take("00-01.aud"), before.at("00-01.aud"));
        QVERIFY(LastLine(win).startsWith("Take 1-2 of song 01, kept "));
        QVERIFY(LastLine(win).endsWith(", put back into 1-2."));
        QCOMPARE(win.TakeBtns[k1_2]->text(), QString("1-2"));
        // The kept take stays kept; the V-Take is no longer offered.
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(history->FreeSlots->findText("1-2"), -1);
        QTest::mouseClick(history->CloseBtn, Qt::LeftButton);
        QTRY_VERIFY(history.isNull());

        // With the LONG song shown, a HiFi take has nowhere to go.
        win.SongNum->setCurrentIndex(1);
        win.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&win));
        history = OpenHistory(win);
        QVERIFY(history);
        QCOMPARE(history->NoSlotLabel->text(), QString("No free V-Take of a HiFi song is open."));
        QVERIFY(!history->PutBackBtn->isEnabled());
        QVERIFY(dialogs_.messages.isEmpty());
        history->close();
    }

    // The limit set in the history window is kept in the settings and
    // holds for the next operation: a kept take over it is dropped, and
    // the line says so. A change of unit keeps the limit.
    void historyLimitIsSetInTheWindow() {
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        QPointer<THistoryWin> history = OpenHistory(win);
        QVERIFY(history);
        QCOMPARE(history->Limit->value(), 2);
        QCOMPARE(history->LimitUnit->currentText(), QString("GB"));
        history->LimitUnit->setCurrentIndex(0);
        QCOMPARE(history->Limit->value(), 2000);
        auto saved = [] {
            return QSettings(QStringLiteral("trx5-card-manager"), QStringLiteral("window"))
                .value("history/limitBytes")
                .toULongLong();
        };
        QCOMPARE(saved(), 2'000'000'000ULL);
        QTest::keyClick(history->Limit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(history->Limit, "1");
        QCOMPARE(saved(), 1'000'000ULL);
        history->close();
        QTRY_VERIFY(history.isNull());

        Key(win, k1_2, Qt::Key_Delete);  // 2 MB
        QVERIFY(win.InfoText->toPlainText().contains("Take 1-2 deleted; it is in the history."));
        QVERIFY(LastLine(win).endsWith("dropped from the history to stay under 1.0 MB."));
    }

    // A file dropped on a V-Take that holds a take: the take replaced is
    // kept, the line says so, and undo brings it back.
    void importOverATakeKeepsIt() {
        const Bytes old = Take("00-00.aud");
        const QString wav = work_.path() + "/drop.wav";
        WriteWav(wav.toStdString(), 1, 32000, 2 * 509, [](int f, int) { return std::int16_t(f); });
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(wav)});
        const std::unique_ptr<QMimeData> owned(data);
        QVERIFY(DropOn(win.TakeBtns[k1_1], data, {}));
        QTRY_COMPARE(Take("00-00.aud").size(), std::size_t(512 + 2 * 512));
        QCOMPARE(dialogs_.confirmations.size(), 1);
        QCOMPARE(LastLine(win), QString("The old take 1-1 is in the history."));
        Key(win, k1_1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(LastLine(win), QString("Undone: a file imported into 1-1."));
        QCOMPARE(Take("00-00.aud"), old);
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // A history another run holds: the operation is not done, and the
    // message says why.
    void historyInUseElsewhere() {
        const Files before = Snapshot(folder_);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        auto held = trx5::TakeHistory::Open(cardDir_);
        QVERIFY(held.ok());
        Key(win, k1_2, Qt::Key_Delete);
        QCOMPARE(dialogs_.messages.size(), 1);
        QVERIFY(
            dialogs_.messages[0].startsWith("The history of this card is in use by another run."));
        QVERIFY(LastLine(win).startsWith("Delete failed: "));
        QCOMPARE(Snapshot(folder_), before);
        QCOMPARE(win.TakeBtns[k1_2]->text(), QString("1-2"));
    }

    // The question as the real box asks it: its three buttons, Esc for
    // Cancel; and a picture of it.
    void questionBoxOfATakeInTheWay() {
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        const QStringList buttons{"Replace", "Swap", "Cancel"};
        const QString text = app_text::TakeInTheWay("1-1", "1-2");
        const auto box = MakeChoiceBox(&win, text, app_text::QuestionCaption(), buttons);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(box->grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/take-in-the-way.png")));
        box->close();

        QtDialogProvider real;
        auto answer = [&](const std::function<void(QMessageBox&)>& press) {
            QTimer timer;
            connect(&timer, &QTimer::timeout, [&] {
                if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    timer.stop();
                    press(*shown);
                }
            });
            timer.start(10);
            return real.Choose(&win, text, app_text::QuestionCaption(), buttons);
        };
        QCOMPARE(answer([](QMessageBox& shown) {
                     for (QAbstractButton* b : shown.buttons()) {
                         if (b->text() == "Swap") QTest::mouseClick(b, Qt::LeftButton);
                     }
                 }),
                 1);
        QCOMPARE(answer([](QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Escape); }), 2);
        QCOMPARE(answer([](QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Return); }), 0);
    }
};

QTEST_MAIN(OrganizeWinTest)
#include "organize_win_test.moc"
