// The folder-pane commands, Help, the "New Folder" dialog, the preview form
// and a picture of the window with a card shown.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "app/get_win.h"
#include "app/help_win.h"
#include "app/main_win.h"
#include "app/nf_win.h"
#include "app_test_support.h"
#include "controls/cgauge.h"
#include "controls/dirtreeview.h"
#include "controls/volume.h"
#include "convert/demo_card.h"
#include "support/test_support.h"

class CommandsTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;

  private slots:
    void init() { dialogs_ = FakeDialogs(); }

    void newFolderMakesOneFolderAndSelectsIt() {
        QTemporaryDir dir;
        TMainWin win(dialogs_);
        TNfWin nfWin(&win);
        win.AttachForms(nullptr, &nfWin);
        win.DirTree->SetDirectory(dir.path());
        QCOMPARE(win.CardDir, dir.path().toStdString() + "/");
        QVERIFY(win.NewFldrBtn->isEnabled());

        dialogs_.folderName = QStringLiteral("Session 2");
        win.NewFldrBtn->click();
        QVERIFY(QFileInfo(dir.path() + "/Session 2").isDir());
        QCOMPARE(win.CardDir, dir.path().toStdString() + "/Session 2/");
        QCOMPARE(win.windowTitle(), win.TitlePrefix + dir.path() + "/Session 2/");
    }

    void newFolderWithABadNameMakesNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << QString(".");
        QTest::newRow("dot dot") << QString("..");
        QTest::newRow("slash") << QString("sub/deeper");
        QTest::newRow("absolute") << QString("/tmp/elsewhere-trx5");
    }

    void newFolderWithABadNameMakesNothing() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QDir().mkdir(dir.path() + "/sub");
        const std::string folder = dir.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        trx5test::MakeTake(folder, 0, 0, 0, false, 2, 1);

        TMainWin win(dialogs_);
        TNfWin nfWin(&win);
        win.AttachForms(nullptr, &nfWin);
        win.DirTree->SetDirectory(dir.path());
        win.TakeBtns[0]->click();
        QCOMPARE(win.SelTake[0], 0);

        dialogs_.folderName = name;
        win.NewFldrBtn->click();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"sub"});
        QVERIFY(QDir(dir.path() + "/sub").isEmpty());
        QVERIFY(!QFileInfo::exists("/tmp/elsewhere-trx5"));
        // The tree was rebuilt and the folder read afresh.
        QCOMPARE(win.CardDir, folder);
        QCOMPARE(win.SelTake[0], -1);
        QCOMPARE(win.TakeBtns[0]->text(), QString("1-1"));
    }

    void newFolderWithAnExistingNameSelectsIt() {
        QTemporaryDir dir;
        QDir().mkdir(dir.path() + "/sub");
        TMainWin win(dialogs_);
        TNfWin nfWin(&win);
        win.AttachForms(nullptr, &nfWin);
        win.DirTree->SetDirectory(dir.path());
        dialogs_.folderName = QStringLiteral("sub");
        win.NewFldrBtn->click();
        QCOMPARE(win.CardDir, dir.path().toStdString() + "/sub/");
    }

    void newFolderCancelledChangesNothing() {
        QTemporaryDir dir;
        TMainWin win(dialogs_);
        TNfWin nfWin(&win);
        win.AttachForms(nullptr, &nfWin);
        win.DirTree->SetDirectory(dir.path());
        win.NewFldrBtn->click();
        QVERIFY(QDir(dir.path()).isEmpty());
        QCOMPARE(win.CardDir, dir.path().toStdString() + "/");
    }

    void newFolderDialogCancelsOnEnterAndKeepsTheName() {
        TNfWin dialog;
        QCOMPARE(dialog.windowTitle(), QString("New Folder"));
        QCOMPARE(dialog.size(), QSize(257, 74));
        QCOMPARE(dialog.FolderEdit->geometry(), QRect(16, 40, 117, 20));
        QCOMPARE(dialog.OkBtn->geometry(), QRect(164, 16, 75, 20));
        QCOMPARE(dialog.CanBtn->geometry(), QRect(164, 40, 75, 20));
        QCOMPARE(dialog.Label1->text(), QString("Enter Folder Name"));
        QCOMPARE(dialog.CanBtn->text(), QString("CANCEL"));

        dialog.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.FolderEdit));
        QTest::keyClicks(dialog.FolderEdit, "Takes");
        QTest::keyClick(dialog.FolderEdit, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());

        // The real dialog provider runs it modally; OK gives the name kept
        // from last time.
        QtDialogProvider real;
        QTimer::singleShot(0, &dialog, [&dialog] {
            QCOMPARE(dialog.FolderEdit->text(), QString("Takes"));
            dialog.OkBtn->click();
        });
        QCOMPARE(real.NewFolderName(dialog), std::optional<QString>("Takes"));
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); });
        QCOMPARE(real.NewFolderName(dialog), std::nullopt);
    }

    // A message box is wide enough for its title, however short its text.
    void messageBoxesShowTheirWholeTitle() {
        QtDialogProvider real;
        const QString testName = QCoreApplication::applicationName();
        const QString title = QStringLiteral("Card Manager for TRX-5");
        QCoreApplication::setApplicationName(title);
        int width = 0;
        int needed = 0;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), title);
            width = box->width();
            needed = box->fontMetrics().horizontalAdvance(title) + 100;
            box->button(QMessageBox::Ok)->click();
        });
        real.MessageBox(nullptr, QStringLiteral("Done."));
        QCoreApplication::setApplicationName(testName);
        QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
    }

    // The save dialog gives a name typed without an extension the one of the
    // chosen filter, so the overwrite prompt sees the file really written.
    void saveDialogNamesTheFileAfterTheChosenFilter_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("aiff");
        QTest::addColumn<bool>("flac");
        QTest::newRow("wave") << 0 << QString("mix") << QString("mix.wav") << false << false;
        QTest::newRow("aiff") << 1 << QString("mix") << QString("mix.aif") << true << false;
        QTest::newRow("own extension")
            << 1 << QString("song.AIF") << QString("song.AIF") << true << false;
        QTest::newRow("flac") << 2 << QString("mix") << QString("mix.flac") << false << true;
    }

    void saveDialogNamesTheFileAfterTheChosenFilter() {
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QFETCH(bool, aiff);
        QFETCH(bool, flac);
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->nameFilters(),
                     QStringList({"Windows Wave(*.wav)", "AIFF(*.aif)", "FLAC(*.flac)"}));
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(types != nullptr);
            for (int i = 0; i < filter; ++i) QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(types->currentIndex(), filter);
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(edit != nullptr);
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QtDialogProvider real;
        const std::optional<SaveChoice> choice = real.GetSaveFileName(nullptr);
        QDir::setCurrent(previous);
        QVERIFY(choice.has_value());
        QCOMPARE(QFileInfo(choice->fileName).fileName(), name);
        QCOMPARE(QFileInfo(choice->fileName).absolutePath(),
                 QFileInfo(dir.path()).absoluteFilePath());
        QCOMPARE(choice->aiffFilter, aiff);
        QCOMPARE(choice->flacFilter, flac);
    }

    void helpOpensThePageBesideTheProgram() {
        TMainWin win(dialogs_);
        win.SetProgramFolder(QStringLiteral(TRX5_PROGRAM_DIR));
        win.HelpBtn->click();
        QCOMPARE(dialogs_.documents.size(), 1);
        QCOMPARE(dialogs_.documents[0],
                 QUrl::fromLocalFile(QStringLiteral(TRX5_PROGRAM_DIR "/OnLineHelp/index.html")));
        QVERIFY(QFileInfo(dialogs_.documents[0].toLocalFile()).isFile());
        QVERIFY(dialogs_.messages.isEmpty());

        QVERIFY(win.HelpWin == nullptr);
    }

    // A desktop that cannot open the page: the program's own window shows it,
    // and its links and Back/Forward work.
    void helpFallsBackToItsOwnWindow() {
        TMainWin win(dialogs_);
        win.SetProgramFolder(QStringLiteral(TRX5_PROGRAM_DIR));
        dialogs_.documentOpens = false;
        win.HelpBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(win.HelpWin != nullptr && win.HelpWin->isVisible());
        QTextBrowser* browser = win.HelpWin->Browser;
        QCOMPARE(browser->source(), dialogs_.documents[0]);
        QVERIFY(browser->toPlainText().contains("Getting started"));
        QVERIFY(!win.HelpWin->BackBtn->isEnabled());

        QUrl anchor = browser->source();
        anchor.setFragment(QStringLiteral("import"));
        browser->setSource(anchor);  // as a click on a link does
        QCOMPARE(browser->source().fragment(), QString("import"));
        QVERIFY(win.HelpWin->BackBtn->isEnabled());
        win.HelpWin->BackBtn->click();
        QCOMPARE(browser->source(), dialogs_.documents[0]);
        QVERIFY(win.HelpWin->ForwardBtn->isEnabled());
        win.HelpWin->ForwardBtn->click();
        QCOMPARE(browser->source().fragment(), QString("import"));
    }

    // The desktop's opener is watched: one that exits with an error (no
    // browser) or is missing counts as a failure, one that succeeds does not.
    void openerFailureIsNoticed_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("fails");
        QTest::newRow("no browser") << QString("#!/bin/sh\nexit 3\n") << true;
        QTest::newRow("opened") << QString("#!/bin/sh\nexit 0\n") << false;
        QTest::newRow("no opener") << QString() << true;
    }

    void openerFailureIsNoticed() {
        QFETCH(QString, script);
        QFETCH(bool, fails);
        QTemporaryDir bin;
        if (!script.isEmpty()) {
            QFile opener(bin.path() + "/xdg-open");
            QVERIFY(opener.open(QIODevice::WriteOnly));
            opener.write(script.toUtf8());
            opener.close();
            opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());
        QtDialogProvider dialogs;
        bool failed = false;
        dialogs.OpenDocument(QUrl::fromLocalFile("/tmp/page.html"), [&failed] { failed = true; });
        qputenv("PATH", path);
        // The opener's exit is seen through the event loop.
        QTest::qWait(fails ? 0 : 500);
        QTRY_COMPARE_WITH_TIMEOUT(failed, fails, 5000);
    }

    // Installed, the program is in bin/ and its help in share/.
    void helpIsFoundWhereItIsInstalled() {
        QTemporaryDir prefix;
        const QString help = prefix.path() + "/share/trx5-card-manager/OnLineHelp";
        QVERIFY(QDir().mkpath(help) && QDir().mkpath(prefix.path() + "/bin"));
        QVERIFY(QFile::copy(QStringLiteral(TRX5_PROGRAM_DIR "/OnLineHelp/index.html"),
                            help + "/index.html"));
        TMainWin win(dialogs_);
        win.SetProgramFolder(prefix.path() + "/bin");
        win.HelpBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(dialogs_.documents, QList<QUrl>{QUrl::fromLocalFile(help + "/index.html")});
    }

    void helpMissingIsReported() {
        QTemporaryDir dir;
        TMainWin win(dialogs_);
        win.SetProgramFolder(dir.path());
        win.HelpBtn->click();
        QVERIFY(dialogs_.documents.isEmpty());
        QCOMPARE(dialogs_.messages, QStringList{"Help file couldn't be found."});
    }

    void refreshReadsTheFolderAfresh() {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        TMainWin win(dialogs_);
        win.DirTree->SetDirectory(dir.path());
        QVERIFY(win.TakeBtns[5]->text().isEmpty());

        trx5test::MakeTake(folder, 0, 0, 5, false, 2, 1);
        win.RefBtn->click();
        QCOMPARE(win.TakeBtns[5]->text(), QString("1-6"));
        win.SortBtn->click();
        QCOMPARE(win.DirTree->GetDirectory(), dir.path() + "/");
    }

    void previewFormIsThere() {
        TGetWin form;
        QCOMPARE(form.windowTitle(), QString("GetWin"));
        // The file's three lines, then the rate line and the import's choices.
        QCOMPARE(form.size(), QSize(416, 146));
        QCOMPARE(form.KeepRateBox->text(),
                 QString("Keep samples as they are (no rate conversion)"));
        QVERIFY(!form.KeepRateBox->isChecked() && !form.MixBox->isEnabled());
        QVERIFY(form.RateLabel->text().isEmpty());
        for (QWidget* w : std::initializer_list<QWidget*>{form.RateLabel, form.KeepRateBox,
                                                          form.MixBox, form.AudBtn}) {
            QVERIFY(form.rect().contains(w->geometry()));
        }
        QCOMPARE(form.FsLabel->text(), QString("Sampling Rate :").leftJustified(36));
        QCOMPARE(form.FramesLabel->text(), QString("Sampling Frames :").leftJustified(34));
        QCOMPARE(form.BitLabel->text(), QString("Bits / Word :").leftJustified(16));
        QCOMPARE(form.AudBtn->toolTip(), QString("Hear the Sound"));
        QVERIFY(form.Bevel1->geometry().contains(form.FramesLabel->geometry()));
        QVERIFY(form.SelectedFile.isEmpty());
    }

    // A picture of the window with the demo card, a stereo selection, two
    // import destinations, turned knobs and an export just made.
    void screenshotOfAShownCard() {
        QTemporaryDir dir;
        const QString card = dir.path() + "/TRX5 card";
        QVERIFY(trx5::MakeDemoCard(card.toStdString()).ok());

        TMainWin win(dialogs_);
        win.Pan1->SetPosition(30);
        win.Pan2->SetPosition(72);
        win.Vol3->SetPosition(88);
        win.DirTree->SetDirectory(card);
        win.SongNum->setCurrentIndex(win.SongNum->findText("01 HiFi"));
        QVERIFY(win.SongNum->currentIndex() >= 0);
        for (int slot : {0, 8, 16, 24 + 2}) win.TakeBtns[slot]->click();
        win.Sel1Btn->click();
        win.Sel4Btn->click();
        dialogs_.save = SaveChoice{dir.path() + "/mix.wav", false};
        win.Take2WavBtn->click();
        QVERIFY(QFileInfo(dir.path() + "/mix.wav").size() > 0);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QTest::qWait(50);

        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        const QString file = QStringLiteral(TRX5_SCREENSHOT_DIR "/main-window.png");
        QVERIFY(win.grab().save(file));
        QVERIFY(QFileInfo(file).size() > 0);
        QVERIFY(!win.VwMonoLabel->text().isEmpty());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
