// The window's popups used the way a user uses them: mouse events go through
// the window system's path, so a right click opens the V-Take's context
// menu as it does on a desktop, and items are picked by keys or clicks on
// the popup itself.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "app/drive_combo.h"
#include "app/main_win.h"
#include "app/song_list.h"
#include "app_test_support.h"
#include "controls/dirtreeview.h"
#include "support/test_support.h"

class PopupsTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;

    static std::string MakeCard(const QTemporaryDir& card) {
        const std::string folder = card.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        trx5test::MakeSongFile(folder, 4, true);
        trx5test::MakeTake(folder, 0, 0, 0, false, 40, 1);  // 1-1
        trx5test::MakeTake(folder, 0, 2, 4, false, 30, 2);  // 3-5
        trx5test::MakeTake(folder, 4, 1, 1, true, 3, 3);    // song 05, 2-2
        return folder;
    }

    // The window shown, active, on the card folder.
    static bool ShowOnCard(TMainWin& win, const QTemporaryDir& card) {
        win.show();
        win.activateWindow();
        if (!QTest::qWaitForWindowActive(&win)) return false;
        win.DirTreeChange(card.path());
        return true;
    }

  private slots:
    // The export runs after the menu has closed and gone; the window lives
    // on and works (under the sanitizers, a menu deleted under its own
    // handler shows here).
    void takeMenuPickedWithKeys() {
        QTemporaryDir card, out;
        MakeCard(card);
        TMainWin win(dialogs_);
        QVERIFY(ShowOnCard(win, card));
        dialogs_.folder = out.path();

        QPointer<QMenu> menu = RightClickMenu(win.TakeBtns[8 * 2 + 4]);  // 3-5
        QVERIFY(menu);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Down);  // the second item: this take
        QTest::keyClick(menu, Qt::Key_Return);
        QTRY_VERIFY(menu.isNull());
        QTRY_VERIFY(win.InfoText->toPlainText().endsWith("Song01_Track3_VTake5.wav created."));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"Song01_Track3_VTake5.wav"});
        QVERIFY(dialogs_.messages.isEmpty());

        // The window goes on working: another menu, picked by a click.
        QDir().mkpath(out.path() + "/all");
        dialogs_.folder = out.path() + "/all";
        menu = RightClickMenu(win.TakeBtns[0]);
        QVERIFY(menu);
        QAction* all = menu->actions().value(0);
        QVERIFY(all != nullptr && all->text() == "Export all takes of this song...");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(all).center());
        QTRY_VERIFY(menu.isNull());
        QTRY_COMPARE(QDir(dialogs_.folder).entryList(QDir::Files),
                     QStringList({"Song01_Track1_VTake1.wav", "Song01_Track3_VTake5.wav"}));
        QTRY_VERIFY(win.ExitBtn->isEnabled());
    }

    // The song list's popup, opened by a click and closed by a pick with
    // the keys, shows the song picked.
    void songListPopupPicksASong() {
        QTemporaryDir card;
        MakeCard(card);
        TMainWin win(dialogs_);
        QVERIFY(ShowOnCard(win, card));
        QCOMPARE(win.SongNum->currentText(), QString("01 HiFi"));

        QTest::mouseClick(win.SongNum, Qt::LeftButton);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        // The keys go where the popup's list has them: to its view.
        QTest::keyClick(win.SongNum->view(), Qt::Key_Down);
        QTest::keyClick(win.SongNum->view(), Qt::Key_Return);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QCOMPARE(win.SongNum->currentText(), QString("05 LONG"));
        QVERIFY(win.LongMode);
        QCOMPARE(win.TakeBtns[8 * 1 + 1]->text(), QString("2-2"));
        QVERIFY(win.TakeBtns[0]->text().isEmpty());
    }

    // A whole export by keys alone: Tab to the grid, arrows and Space to pick
    // the takes, Tab on to the export button, Enter; focus shows on the way.
    void exportByKeysAlone() {
        QTemporaryDir card, out;
        MakeCard(card);
        TMainWin win(dialogs_);
        QVERIFY(ShowOnCard(win, card));
        auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        };
        auto inGrid = [&win] {
            const auto& b = win.TakeBtns;
            return std::find(b.begin(), b.end(), QApplication::focusWidget()) != b.end();
        };
        win.SongNum->setFocus(Qt::TabFocusReason);
        int presses = 0;
        while (!inGrid() && presses++ < 10) press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(win.TakeBtns[0]));
        press(Qt::Key_Space);  // 1-1
        press(Qt::Key_Right);
        press(Qt::Key_Right);
        for (int i = 0; i < 4; ++i) press(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(win.TakeBtns[8 * 2 + 4]));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(win.grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/keyboard-focus.png")));
        press(Qt::Key_Return);  // 3-5
        QCOMPARE(win.SelTake[0], 0);
        QCOMPARE(win.SelTake[2], 4);
        // The grid is one stop: Tab leaves it for the commands (the import
        // is off without a destination).
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(win.Take2WavBtn));
        // Back into the grid, where it was left, and out again.
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(win.TakeBtns[8 * 2 + 4]));
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(win.Take2WavBtn));

        const QString file = out.path() + "/mix.wav";
        dialogs_.save = SaveChoice{file, false, false};
        press(Qt::Key_Space);
        QTRY_VERIFY(win.InfoText->toPlainText().endsWith(file + " created."));
        QVERIFY(QFileInfo(file).size() > 46);
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // Esc on an open list closes the list only; on the window it closes the
    // window, as Exit does.
    void escapeClosesTheOpenListOnly() {
        QTemporaryDir card;
        MakeCard(card);
        TMainWin win(dialogs_);
        QVERIFY(ShowOnCard(win, card));
        for (QComboBox* list :
             {static_cast<QComboBox*>(win.SongNum), static_cast<QComboBox*>(win.DriveCombo)}) {
            QTest::mouseClick(list, Qt::LeftButton);
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            QTest::keyClick(list->view(), Qt::Key_Escape);
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
            QTest::qWait(50);
            QVERIFY2(win.isVisible(), qPrintable(list->objectName()));
        }
        // From a control that has no use for Esc, it reaches the window.
        QTest::keyClick(win.DirTree, Qt::Key_Escape);
        QTRY_VERIFY(!win.isVisible());
    }
};

QTEST_MAIN(PopupsTest)
#include "popups_win_test.moc"
