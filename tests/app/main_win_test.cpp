// The main window's start-up state, folder reports, song view, selections,
// read-outs, knobs and busy mode, driven through its real widgets.
#include "app/main_win.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "app/drive_combo.h"
#include "app_test_support.h"
#include "controls/bitpanel.h"
#include "controls/cgauge.h"
#include "controls/dirtreeview.h"
#include "controls/volume.h"
#include "support/test_support.h"

namespace {

using trx5test::MakeMachineFile;
using trx5test::MakeSongFile;
using trx5test::MakeTake;

std::string Folder(const QTemporaryDir& dir) { return dir.path().toStdString() + "/"; }

QStringList Entries(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
    return list;
}

// The next widget that Tab moves to.
QWidget* NextTabStop(QWidget* w) {
    QWidget* next = w->nextInFocusChain();
    while (next != w && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

}  // namespace

class MainWinTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;
    QTemporaryDir dir_;
    std::string card_;

    // Song 01 HiFi with takes 1-1 (63 blocks), 2-3 (10 blocks) and 4-8;
    // song 03 LONG with take 1-2 (63 blocks); song 100 HiFi with take 3-1.
    void MakeCard() {
        card_ = Folder(dir_);
        MakeMachineFile(card_);
        MakeSongFile(card_, 0, false);
        MakeSongFile(card_, 2, true);
        MakeSongFile(card_, 99, false);
        MakeTake(card_, 0, 0, 0, false, 63, 1);
        MakeTake(card_, 0, 1, 2, false, 10, 2);
        MakeTake(card_, 0, 3, 7, false, 1, 3);
        MakeTake(card_, 2, 0, 1, true, 63, 4);
        MakeTake(card_, 99, 2, 0, false, 5, 5);
    }

    void ChooseSong(TMainWin& win, const QString& text) {
        const int index = win.SongNum->findText(text);
        QVERIFY(index >= 0);
        win.SongNum->setCurrentIndex(index);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        MakeCard();
    }

    void startsWithItsControlsInPlace() {
        TMainWin win(dialogs_);
        QCOMPARE(win.size(), QSize(632, 446));
        QCOMPARE(win.minimumSize(), QSize(632, 446));
        QVERIFY(win.windowTitle().isEmpty());
        QCOMPARE(win.TitlePrefix, QString("Card Manager for TRX-5 Ver.0.4.4.0 - "));

        struct Place {
            QWidget* widget;
            QRect rect;
        };
        const Place places[] = {
            {win.Panel1, {0, 0, 465, 446}},
            {win.SongNum, {348, 6, 81, 20}},
            {win.Wav2TakeBtn, {308, 87, 145, 28}},
            {win.Take2WavBtn, {308, 151, 145, 28}},
            {win.AudBtn, {308, 243, 142, 25}},
            {win.BtnsPanel, {46, 38, 245, 187}},
            {win.Sel3Btn, {141, 10, 23, 10}},
            {win.Pan2, {122, 233, 20, 20}},
            {win.Vol4, {242, 253, 20, 20}},
            {win.InfoText, {32, 300, 397, 22}},
            {win.Gauge, {32, 326, 345, 16}},
            {win.AbortBtn, {388, 326, 44, 17}},
            {win.BackBtn, {32, 346, 220, 20}},
            {win.DriveCombo, {276, 364, 145, 18}},
            {win.RestoreBtn, {32, 368, 220, 20}},
            {win.RescueBtn, {32, 390, 220, 20}},
            {win.HelpBtn, {270, 390, 80, 20}},
            {win.ExitBtn, {354, 390, 80, 20}},
            {win.SortBtn, {6, 5, 40, 21}},
            {win.NewFldrBtn, {50, 5, 40, 21}},
            {win.RefBtn, {94, 5, 50, 21}},
            {win.TakeBtns[8 * 2 + 5], {122, 129, 60, 19}},
            {win.TakeBtns[8 * 3 + 7], {182, 167, 60, 19}},
        };
        for (const Place& p : places) QCOMPARE(p.widget->geometry(), p.rect);
        // The card's commands lie within the lower section of the panel's
        // drawing, and on no other control.
        for (QWidget* button : {win.BackBtn, win.RestoreBtn, win.RescueBtn}) {
            QVERIFY(QRect(22, 290, 421, 127).contains(button->geometry()));
            for (QWidget* other : win.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                QVERIFY2(other == button || !other->geometry().intersects(button->geometry()),
                         qPrintable(button->objectName() + " on " + other->objectName()));
            }
        }
        QCOMPARE(win.Label1->pos(), QPoint(305, 9));
        QCOMPARE(win.LMonoLabel->pos(), QPoint(308, 62));
        QCOMPARE(win.RLabel->pos(), QPoint(308, 73));
        QCOMPARE(win.VwMonoLabel->pos(), QPoint(307, 138));
        QCOMPARE(win.V4Label->pos(), QPoint(307, 227));
        QCOMPARE(win.Pan3Label->pos(), QPoint(206, 238));
        QCOMPARE(win.Fade1Label->pos(), QPoint(86, 256));
        QCOMPARE(win.Label2->pos(), QPoint(283, 351));
        QCOMPARE(win.TakeBtns[8 * 2 + 5]->objectName(), QString("SpeedButton26"));
        QCOMPARE(win.TakeBtns[0]->objectName(), QString("SpeedButton1"));

        QCOMPARE(win.Wav2TakeBtn->text(), QString("Wav/AIFF -> &V-Take"));
        QCOMPARE(win.Take2WavBtn->text(), QString("V-Take -> &Wav/AIFF"));
        QCOMPARE(win.BackBtn->text(), QString("&Back up your Card"));
        QCOMPARE(win.RestoreBtn->text(), QString("&Restore your Card"));
        QCOMPARE(win.RescueBtn->text(), QString("Rescue a &card..."));
        QCOMPARE(win.RefBtn->text(), QString("Re&fresh"));
        QCOMPARE(win.SortBtn->toolTip(), QString("Sort Tree by Alphabetical"));
        QCOMPARE(win.NewFldrBtn->toolTip(), QString("Make a new folder"));
        QCOMPARE(win.RefBtn->toolTip(), QString("Refresh folder information"));
        QCOMPARE(win.LMonoLabel->text(), QString("-------------"));
        QCOMPARE(win.VwMonoLabel->text(), QString("------"));
        QCOMPARE(win.Pan1Label->text(), QString("xxx"));
        for (QWidget* w :
             {(QWidget*)win.Wav2TakeBtn, (QWidget*)win.Take2WavBtn, (QWidget*)win.AudBtn,
              (QWidget*)win.AbortBtn, (QWidget*)win.RestoreBtn, (QWidget*)win.NewFldrBtn}) {
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        }
        QVERIFY(win.HelpBtn->isEnabled() && win.ExitBtn->isEnabled() && win.SortBtn->isEnabled());
        QVERIFY(win.RescueBtn->isEnabled());
        QVERIFY(win.DriveCombo->count() > 0);
        QVERIFY(win.AudBtn->isCheckable() && !win.AudBtn->icon().isNull());

        for (QWidget* w :
             {(QWidget*)win.Wav2TakeBtn, (QWidget*)win.Take2WavBtn, (QWidget*)win.AudBtn,
              (QWidget*)win.AbortBtn, (QWidget*)win.ExitBtn, (QWidget*)win.HelpBtn,
              (QWidget*)win.SortBtn, (QWidget*)win.NewFldrBtn}) {
            QVERIFY2(w->font().bold() && w->font().italic(), qPrintable(w->objectName()));
        }
        QVERIFY(win.RefBtn->font().italic() && !win.RefBtn->font().bold());
        QCOMPARE(win.font().pixelSize(), 12);
        QVERIFY(win.V1Label->font().fixedPitch());
        QCOMPARE(win.V1Label->font().pixelSize(), 11);

        QCOMPARE(win.FirstSel, 0);
        QCOMPARE(win.SecondSel, 0);
        QCOMPARE(win.PlayTracks, 0);
        QVERIFY(!win.AbortRequested && !win.LongMode && win.CardDir.empty());
        for (const std::string& path : win.TakeFiles) QVERIFY(path.empty());
        for (int t = 0; t < 4; ++t) {
            QCOMPARE(win.PanKnobs[t]->Position(), 50);
            QCOMPARE(win.PanKnobs[t]->Max(), 100);
            QCOMPARE(win.VolKnobs[t]->Position(), 100);
            QCOMPARE(win.VolKnobs[t]->Max(), 127);
            QCOMPARE(win.SelBtns[t]->geometry().left(), 21 + 60 * t);
        }

        // Tab order through the song, the destinations, the grid, the
        // commands, the knobs and on to the tree.
        std::vector<QWidget*> expected = {win.SongNum, win.Sel1Btn, win.Sel2Btn, win.Sel3Btn,
                                          win.Sel4Btn};
        expected.insert(expected.end(), win.TakeBtns.begin(), win.TakeBtns.end());
        QWidget* const rest[] = {win.Wav2TakeBtn, win.Take2WavBtn, win.AudBtn,     win.InfoText,
                                 win.BackBtn,     win.DriveCombo,  win.RestoreBtn, win.RescueBtn,
                                 win.HelpBtn,     win.ExitBtn,     win.Pan1,       win.Pan2,
                                 win.Pan3,        win.Pan4,        win.Vol1,       win.Vol2,
                                 win.Vol3,        win.Vol4,        win.DirTree};
        for (QWidget* w : rest) expected.push_back(w);
        for (std::size_t i = 1; i < expected.size(); ++i) {
            QCOMPARE(NextTabStop(expected[i - 1]), expected[i]);
        }

        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QCOMPARE(win.focusWidget(), static_cast<QWidget*>(win.DirTree));
    }

    void cardFolderListsSongsAndShowsTheFirst() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        QCOMPARE(win.windowTitle(), win.TitlePrefix + dir_.path());
        QCOMPARE(win.CardDir, card_);
        QCOMPARE(Entries(win.SongNum).size(), 3);
        QVERIFY(Entries(win.SongNum).contains("01 HiFi"));
        QVERIFY(Entries(win.SongNum).contains("03 LONG"));
        QVERIFY(Entries(win.SongNum).contains("100 HiFi"));
        QVERIFY(win.SongNum->isEnabled());
        QCOMPARE(win.SongNum->currentIndex(), 0);
        QVERIFY(win.NewFldrBtn->isEnabled());
        QCOMPARE(win.FirstSel, -1);
        QCOMPARE(win.SecondSel, -1);
        for (int t = 0; t < 4; ++t) {
            QVERIFY(win.SelBtns[t]->isEnabled());
            QVERIFY(win.PanKnobs[t]->isEnabled() && win.VolKnobs[t]->isEnabled());
            QCOMPARE(win.PanLabels[t]->text(), QString("0"));
            QCOMPARE(win.FadeLabels[t]->text(), QString("100"));
        }
        QVERIFY(win.LMonoLabel->text().isEmpty() && win.VwMonoLabel->text().isEmpty());

        ChooseSong(win, "01 HiFi");
        for (int slot = 0; slot < 32; ++slot) {
            const bool present = slot == 0 || slot == 8 + 2 || slot == 24 + 7;
            QToolButton* b = win.TakeBtns[slot];
            QVERIFY(b->isEnabled() && !b->isChecked());
            QCOMPARE(b->autoRaise(), !present);
            QCOMPARE(win.TakeFiles[slot].empty(), !present);
            QCOMPARE(b->text().isEmpty(), !present);
        }
        QCOMPARE(win.TakeBtns[10]->text(), QString("2-3"));
        QCOMPARE(win.TakeFiles[10], card_ + "00-12.aud");
        QVERIFY(!win.LongMode);

        // The folder chosen through the tree itself gives the same report.
        TMainWin viaTree(dialogs_);
        viaTree.DirTree->SetDirectory(dir_.path());
        QCOMPARE(viaTree.CardDir, card_);
        QCOMPARE(viaTree.SongNum->count(), 3);
    }

    void songChoiceFillsTheGridFromItsEntry() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        ChooseSong(win, "01 HiFi");
        win.TakeBtns[0]->click();
        QVERIFY(win.Take2WavBtn->isEnabled());

        ChooseSong(win, "03 LONG");
        QVERIFY(win.LongMode);
        QVERIFY(!win.Take2WavBtn->isEnabled() && !win.Wav2TakeBtn->isEnabled());
        QCOMPARE(win.SelTake[0], -1);
        QCOMPARE(win.TakeBtns[1]->text(), QString("1-2"));
        QVERIFY(win.TakeBtns[0]->text().isEmpty());
        win.TakeBtns[1]->click();
        QCOMPARE(win.V1Label->text(), QString("Track1  0:00:02:008"));

        // Song 100 is file number 99.
        ChooseSong(win, "100 HiFi");
        QVERIFY(!win.LongMode);
        QCOMPARE(win.TakeBtns[16]->text(), QString("3-1"));
        QCOMPARE(win.TakeFiles[16], card_ + "99-20.aud");
    }

    void foldersWithoutACardLeaveTheViewEmpty_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("no machine file") << 0;
        QTest::newRow("bad machine signature") << 1;
        QTest::newRow("machine file without songs") << 2;
    }

    void foldersWithoutACardLeaveTheViewEmpty() {
        QFETCH(int, kind);
        QTemporaryDir dir;
        const std::string folder = Folder(dir);
        if (kind == 1) {
            trx5test::WriteFile(folder + "SongNo.tx5",
                                std::string("QORV TX-5 MACHINE INFORMATION VER0002") + '\0');
        } else if (kind == 2) {
            MakeMachineFile(folder);
        }
        if (kind != 2) MakeSongFile(folder, 0, false);

        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());  // a card first, so the report must blank it
        win.TakeBtns[0]->click();
        win.DirTreeChange(dir.path());
        QCOMPARE(win.SongNum->count(), 0);
        QVERIFY(!win.SongNum->isEnabled());
        QVERIFY(!win.RestoreBtn->isEnabled());
        QVERIFY(win.NewFldrBtn->isEnabled());
        for (int slot = 0; slot < 32; ++slot) {
            QVERIFY(!win.TakeBtns[slot]->isEnabled() && win.TakeBtns[slot]->autoRaise());
            QVERIFY(win.TakeBtns[slot]->text().isEmpty() && win.TakeFiles[slot].empty());
        }
        for (int t = 0; t < 4; ++t) {
            QVERIFY(!win.SelBtns[t]->isEnabled() && !win.PanKnobs[t]->isEnabled());
            QVERIFY(win.PanLabels[t]->text().isEmpty() && win.VLabels[t]->text().isEmpty());
            QCOMPARE(win.SelTake[t], -1);
        }
        QVERIFY(!win.Take2WavBtn->isEnabled() && !win.Wav2TakeBtn->isEnabled());
    }

    void virtualItemLooksAtTheRootFolder() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        win.DirTreeChange(QString());
        QCOMPARE(win.windowTitle(), win.TitlePrefix);
        QCOMPARE(win.CardDir, std::string("/"));
        QVERIFY(!win.NewFldrBtn->isEnabled() && !win.BackBtn->isEnabled());
        QCOMPARE(win.SongNum->count(), 0);
    }

    void takeSelectionFollowsTheColumnGroups() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        ChooseSong(win, "01 HiFi");
        QToolButton** b = win.TakeBtns.data();

        b[0]->click();
        QCOMPARE(win.SelTake[0], 0);
        QCOMPARE(win.V1Label->text(), QString("Track1  0:00:01:002"));
        QCOMPARE(win.VwMonoLabel->text(), QString("Mono"));
        QCOMPARE(win.PlayTracks, 1);
        QVERIFY(win.Take2WavBtn->isEnabled());
        QVERIFY(win.AudBtn->isEnabled());

        b[3]->click();  // an empty slot of the same column
        QVERIFY(!b[0]->isChecked());
        QCOMPARE(win.SelTake[0], 3);
        QVERIFY(win.V1Label->text().isEmpty());
        QCOMPARE(win.PlayTracks, 0);
        QVERIFY(!win.Take2WavBtn->isEnabled());
        QVERIFY(!win.AudBtn->isEnabled());

        b[3]->click();  // up again: the column has none
        QCOMPARE(win.SelTake[0], -1);

        b[0]->click();
        b[10]->click();
        QCOMPARE(win.PlayTracks, 2);
        QCOMPARE(win.VwMonoLabel->text(), QString("Stereo"));
        QCOMPARE(win.V2Label->text(), QString("Track2  0:00:00:159"));
        QVERIFY(win.LMonoLabel->text().isEmpty());
        QVERIFY(!win.Wav2TakeBtn->isEnabled());

        // A take that vanished shows no length and does not count.
        b[31]->click();
        QCOMPARE(win.PlayTracks, 3);
        QFile::rename(QString::fromStdString(win.TakeFiles[31]),
                      QString::fromStdString(win.TakeFiles[31] + ".gone"));
        win.UpdateInfo();
        QCOMPARE(win.PlayTracks, 2);
        QVERIFY(win.V4Label->text().isEmpty());
        QFile::rename(QString::fromStdString(win.TakeFiles[31] + ".gone"),
                      QString::fromStdString(win.TakeFiles[31]));
    }

    void selectionButtonsKeepTwoDestinations() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        ChooseSong(win, "01 HiFi");
        QToolButton** b = win.TakeBtns.data();
        b[2]->click();       // track 1, V-Take 3
        b[8 + 0]->click();   // track 2, V-Take 1
        b[16 + 4]->click();  // track 3, V-Take 5
        b[24 + 7]->click();  // track 4, V-Take 8

        win.Sel1Btn->click();
        QCOMPARE(win.FirstSel, 0);
        QCOMPARE(win.LMonoLabel->text(), QString("Mono"));
        QVERIFY(win.RLabel->text().isEmpty());
        QVERIFY(win.Wav2TakeBtn->isEnabled());

        win.Sel2Btn->click();
        QCOMPARE(win.LMonoLabel->text(), QString("L/Mono :TRACK1-3"));
        QCOMPARE(win.RLabel->text(), QString("R      :TRACK2-1"));

        // Buttons 1, 3 and 4 in turn: the oldest, 1, is released.
        win.Sel2Btn->click();
        win.Sel3Btn->click();
        win.Sel4Btn->click();
        QVERIFY(!win.Sel1Btn->isChecked());
        QCOMPARE(win.FirstSel, 2);
        QCOMPARE(win.SecondSel, 3);
        QCOMPARE(win.LMonoLabel->text(), QString("L/Mono :TRACK3-5"));
        QCOMPARE(win.RLabel->text(), QString("R      :TRACK4-8"));

        win.Sel3Btn->click();  // release: track 4 moves up
        QCOMPARE(win.FirstSel, 3);
        QCOMPARE(win.SecondSel, -1);
        QCOMPARE(win.LMonoLabel->text(), QString("Mono"));

        // A destination without a selected V-Take does not count.
        win.Sel4Btn->click();
        b[2]->click();  // track 1 now has none
        win.Sel1Btn->click();
        win.Sel2Btn->click();
        QCOMPARE(win.FirstSel, 0);
        QCOMPARE(win.SecondSel, 1);
        QCOMPARE(win.LMonoLabel->text(), QString("Mono"));
        QVERIFY(win.RLabel->text().isEmpty());
        QVERIFY(win.Wav2TakeBtn->isEnabled());
        QCOMPARE(win.ImportDestinations().size(), std::size_t(1));
        QCOMPARE(win.ImportDestinations()[0].track, 1);
        QCOMPARE(win.ImportDestinations()[0].vtake, 0);

        // No destination with a V-Take: nothing to import into.
        b[8]->click();
        QVERIFY(!win.Wav2TakeBtn->isEnabled());
        QVERIFY(win.LMonoLabel->text().isEmpty());
    }

    void takeLengthsFollowTheFileSize_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("longMode");
        QTest::addColumn<QString>("label");
        QTest::newRow("511 bytes") << 511 << false << QString();
        QTest::newRow("header only") << 512 << false << QString("Track1  0:00:00:000");
        QTest::newRow("63 blocks HiFi") << 512 * 64 << false << QString("Track1  0:00:01:002");
        QTest::newRow("63 blocks LONG") << 512 * 64 << true << QString("Track1  0:00:02:008");
    }

    void takeLengthsFollowTheFileSize() {
        QFETCH(int, bytes);
        QFETCH(bool, longMode);
        QFETCH(QString, label);
        QTemporaryDir dir;
        const std::string folder = Folder(dir);
        MakeMachineFile(folder);
        MakeSongFile(folder, 4, longMode);
        MakeTake(folder, 4, 0, 0, longMode, 63, 1);
        trx5test::Bytes data = trx5test::ReadFile(folder + "04-00.aud");
        data.resize(bytes);
        trx5test::WriteFile(folder + "04-00.aud", data);

        TMainWin win(dialogs_);
        win.DirTreeChange(dir.path());
        QCOMPARE(win.TakeBtns[0]->autoRaise(), label.isEmpty());
        win.TakeBtns[0]->click();
        QCOMPARE(win.V1Label->text(), label);
        QCOMPARE(win.Take2WavBtn->isEnabled(), !label.isEmpty());
    }

    void knobLabelsShowPanAndLevel_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("pan");
        QTest::newRow("0") << 0 << QString("L50");
        QTest::newRow("49") << 49 << QString("L1");
        QTest::newRow("50") << 50 << QString("0");
        QTest::newRow("51") << 51 << QString("R1");
        QTest::newRow("100") << 100 << QString("R50");
    }

    void knobLabelsShowPanAndLevel() {
        QFETCH(int, position);
        QFETCH(QString, pan);
        QCOMPARE(TMainWin::PanText(position), pan);
        QCOMPARE(TMainWin::LevelText(127), QString("127"));
        QCOMPARE(TMainWin::LevelText(0), QString("0"));

        // Positions set by code show up at the next song choice, and stay
        // from folder to folder.
        TMainWin win(dialogs_);
        win.Pan3->SetPosition(position);
        win.Vol3->SetPosition(127);
        win.DirTreeChange(dir_.path());
        QCOMPARE(win.Pan3Label->text(), pan);
        QCOMPARE(win.Fade3Label->text(), QString("127"));
        win.DirTreeChange(QString());
        QCOMPARE(win.Pan3->Position(), position);
    }

    void draggingAKnobUpdatesItsLabel() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        win.DirTree->SetDirectory(dir_.path());

        struct Drag {
            TVolume* knob;
            QPoint to;
            QLabel* label;
            QString text;
        };
        const Drag drags[] = {
            {win.Pan2, {0, 10}, win.Pan2Label, "L33"},   // 17
            {win.Pan2, {20, 10}, win.Pan2Label, "R33"},  // 83
            {win.Pan4, {0, 20}, win.Pan4Label, "L50"},   // 0
            {win.Vol1, {10, 0}, win.Fade1Label, "64"},  {win.Vol1, {20, 20}, win.Fade1Label, "127"},
        };
        for (const Drag& d : drags) {
            QTest::mousePress(d.knob, Qt::LeftButton, {}, QPoint(10, 10));
            QMouseEvent move(QEvent::MouseMove, QPointF(d.to), d.knob->mapToGlobal(QPointF(d.to)),
                             Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(d.knob, &move);
            QTest::mouseRelease(d.knob, Qt::LeftButton, {}, d.to);
            QCOMPARE(d.label->text(), d.text);
        }
        QCOMPARE(win.Pan2->Position(), 83);
    }

    void knobsTakeThePanelPictureAsBackground() {
        TMainWin win(dialogs_);
        QPixmap bg(20, 20);
        bg.fill(Qt::magenta);
        win.Pan1GetParentBG(win.Pan2, bg);
        const QImage expected = win.Panel1->Bitmap().copy(122, 233, 20, 20).toImage();
        QCOMPARE(bg.toImage().convertToFormat(expected.format()), expected);
    }

    void busyModeLeavesOnlyAbortAndTheKnobs() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        ChooseSong(win, "01 HiFi");
        win.TakeBtns[0]->click();
        win.Sel1Btn->click();
        QVERIFY(win.Take2WavBtn->isEnabled() && win.Wav2TakeBtn->isEnabled());

        win.SetBusy(true);
        for (QWidget* w :
             {(QWidget*)win.Take2WavBtn, (QWidget*)win.Wav2TakeBtn, (QWidget*)win.TreePanel,
              (QWidget*)win.ExitBtn, (QWidget*)win.BtnsPanel, (QWidget*)win.SortBtn,
              (QWidget*)win.NewFldrBtn, (QWidget*)win.SongNum, (QWidget*)win.BackBtn,
              (QWidget*)win.RestoreBtn, (QWidget*)win.RescueBtn, (QWidget*)win.DriveCombo,
              (QWidget*)win.RefBtn, (QWidget*)win.HelpBtn, (QWidget*)win.DirTree,
              (QWidget*)win.TakeBtns[5], (QWidget*)win.Sel2Btn}) {
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        }
        QVERIFY(win.Pan1->isEnabled() && win.Vol4->isEnabled());
        QVERIFY(win.TakeBtns[5]->isEnabledTo(win.BtnsPanel));

        win.SetBusy(false);
        for (QWidget* w :
             {(QWidget*)win.Take2WavBtn, (QWidget*)win.Wav2TakeBtn, (QWidget*)win.DirTree,
              (QWidget*)win.ExitBtn, (QWidget*)win.TakeBtns[5], (QWidget*)win.SortBtn,
              (QWidget*)win.NewFldrBtn, (QWidget*)win.SongNum, (QWidget*)win.DriveCombo,
              (QWidget*)win.RefBtn, (QWidget*)win.HelpBtn, (QWidget*)win.RescueBtn}) {
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        }
        // A card folder is shown: it can be backed up into and restored from.
        QVERIFY(win.BackBtn->isEnabled() && win.RestoreBtn->isEnabled());

        // Without a destination, leaving busy mode keeps the import off.
        win.Sel1Btn->click();
        win.SetBusy(true);
        win.SetBusy(false);
        QVERIFY(!win.Wav2TakeBtn->isEnabled());
    }

    void escapeClosesTheWindowUnlessBusy() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        win.SetBusy(true);
        QTest::keyClick(&win, Qt::Key_Escape);
        QVERIFY(!win.close());
        QVERIFY(win.isVisible());
        win.SetBusy(false);
        QTest::keyClick(&win, Qt::Key_Escape);
        QVERIFY(!win.isVisible());
    }

    // A larger window keeps the front panel as it is and gives the folder
    // tree the extra width and height.
    void resizedWindowGivesTheTreeTheRoom() {
        TMainWin win(dialogs_);
        win.DirTreeChange(dir_.path());
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        const QRect panel = win.Panel1->geometry();
        const QRect grid = win.BtnsPanel->geometry();
        const QRect exit = win.ExitBtn->geometry();
        win.resize(900, 640);
        QTRY_COMPARE(win.size(), QSize(900, 640));
        QCOMPARE(win.Panel1->geometry(), panel);
        QCOMPARE(win.BtnsPanel->geometry(), grid);
        QCOMPARE(win.ExitBtn->geometry(), exit);
        QCOMPARE(win.Panel2->geometry(), QRect(465, 0, 900 - 465, 640));
        QCOMPARE(win.TreePanel->geometry(), QRect(0, 30, 900 - 465, 610));
        QCOMPARE(win.DirTree->geometry(), QRect(1, 1, 900 - 465 - 2, 608));
        QCOMPARE(win.Panel3->width(), 900 - 465);
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(win.grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/resized-window.png")));
        // It never gets smaller than the panel's layout.
        win.resize(400, 300);
        QTRY_COMPARE(win.size(), QSize(632, 446));
        QCOMPARE(win.DirTree->geometry(), QRect(1, 1, 165, 414));
    }

    // The information box shows whole lines only, the newest after each
    // addition, whatever the wheel or the keys did.
    void infoTextShowsWholeLines() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        TInfoText* box = win.InfoText;
        const int line = box->fontMetrics().lineSpacing();
        QCOMPARE(box->viewport()->height() % line, 0);
        QCOMPARE(box->VisibleLines(), 1);
        auto firstShown = [box] { return std::make_pair(box->TopLine(), box->TopLineOffset()); };
        for (int i = 1; i <= 5; ++i) box->AddLine(QStringLiteral("line %1").arg(i));
        QCOMPARE(firstShown(), std::make_pair(QString("line 5"), 0.0));

        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 60),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &wheel);
        QCOMPARE(firstShown().second, 0.0);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        QCOMPARE(firstShown(), std::make_pair(QString("line 1"), 0.0));
        box->AddLine(QStringLiteral("line 6"));
        QCOMPARE(firstShown(), std::make_pair(QString("line 6"), 0.0));
    }

    // Busy mode disables the button that started the operation; the focus
    // goes back to it afterwards instead of staying in the information box.
    void focusReturnsAfterAnExport() {
        QTemporaryDir out;
        TMainWin win(dialogs_);
        win.show();
        QApplication::setActiveWindow(&win);
        QVERIFY(QTest::qWaitForWindowActive(&win));
        win.DirTreeChange(dir_.path());
        ChooseSong(win, "01 HiFi");
        win.TakeBtns[0]->click();
        win.Take2WavBtn->setFocus();
        QCOMPARE(QApplication::focusWidget(), win.Take2WavBtn);
        dialogs_.save = SaveChoice{out.path() + "/take.wav", false};
        QWidget* focusDuring = nullptr;
        connect(&win, &TMainWin::ProgressStep, this,
                [&focusDuring] { focusDuring = QApplication::focusWidget(); });
        QTest::keyClick(win.Take2WavBtn, Qt::Key_Space);
        QVERIFY(focusDuring != nullptr && focusDuring != win.Take2WavBtn);
        QCOMPARE(QApplication::focusWidget(), win.Take2WavBtn);
        QVERIFY(QFileInfo::exists(out.path() + "/take.wav"));
    }

    // Every entry fits the closed list, "100 LONG" too.
    void songListEntriesFit() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        win.DirTreeChange(dir_.path());
        QCOMPARE(win.SongNum->geometry(), QRect(348, 6, 81, 20));
        for (int i = 0; i < win.SongNum->count(); ++i) {
            win.SongNum->setCurrentIndex(i);
            const QString text = win.SongNum->currentText();
            QVERIFY2(QFontMetrics(win.SongNum->FittingFont()).horizontalAdvance(text) <=
                         win.SongNum->TextRect().width(),
                     qPrintable(text));
            QVERIFY(win.SongNum->FittingFont().pixelSize() >= 8);
        }
        QVERIFY(win.SongNum->findText("100 HiFi") >= 0);
    }

    // The wheel changes the song only when the list has the focus.
    void songListTakesTheWheelOnlyWithFocus() {
        TMainWin win(dialogs_);
        win.show();
        QApplication::setActiveWindow(&win);
        QVERIFY(QTest::qWaitForWindowActive(&win));
        win.DirTreeChange(dir_.path());
        win.TakeBtns[0]->click();
        auto turn = [&win] {
            QWheelEvent wheel(QPointF(10, 10), win.SongNum->mapToGlobal(QPointF(10, 10)), QPoint(),
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(win.SongNum, &wheel);
        };
        win.DirTree->setFocus();
        turn();
        QCOMPARE(win.SongNum->currentIndex(), 0);
        QCOMPARE(win.SelTake[0], 0);  // the selection is kept
        win.SongNum->setFocus();
        turn();
        QCOMPARE(win.SongNum->currentIndex(), 1);
    }
};

QTEST_MAIN(MainWinTest)
#include "main_win_test.moc"
