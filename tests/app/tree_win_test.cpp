// The window's folder tree: nothing chosen at start-up, and a card deep in
// folders with long names shown whole, with a picture of it.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include "app/drive_combo.h"
#include "app/main_win.h"
#include "app_test_support.h"
#include "controls/dirtreeview.h"
#include "support/test_support.h"

class TreeWinTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;

  private slots:
    void startsWithNoFolderChosen() {
        QTemporaryDir dir;
        TMainWin win(dialogs_);
        win.show();
        win.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&win));
        QVERIFY(win.DirTree->hasFocus());
        QTest::qWait(50);

        QCOMPARE(win.DirTree->currentItem(), nullptr);
        QVERIFY(win.DirTree->selectedItems().isEmpty());
        QCOMPARE(win.DirTree->GetDirectory(), QString());
        // No folder report yet, so the caption is still unset (the platform
        // shows the program's name); the folder comes with the first report.
        QCOMPARE(win.windowTitle(), QString());
        QVERIFY(win.CardDir.empty());

        QVERIFY(win.DirTree->SetDirectory(dir.path()));
        QCOMPARE(win.windowTitle(), win.TitlePrefix + dir.path() + "/");
    }

    void deepCardFolderShowsItsWholeName() {
        QTemporaryDir dir;
        QString card = dir.path();
        for (const char* name :
             {"Music Projects", "TRX-5 Four-Track Recorder", "Card Backups 2024",
              "Summer Band Sessions", "Rehearsal Room Takes", "Card of 14 July 2024"}) {
            card += QLatin1Char('/') + QString::fromLatin1(name);
        }
        QVERIFY(QDir().mkpath(card));
        const std::string folder = card.toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        trx5test::MakeSongFile(folder, 1, true);
        trx5test::MakeTake(folder, 0, 0, 0, false, 20, 1);
        trx5test::MakeTake(folder, 0, 1, 2, false, 20, 2);

        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QVERIFY(win.DirTree->SetDirectory(card));
        QCOMPARE(win.CardDir, folder);
        QCOMPARE(win.SongNum->count(), 2);

        TDirTreeView* tree = win.DirTree;
        QTRY_VERIFY(tree->horizontalScrollBar()->isVisible());
        QTreeWidgetItem* selected = tree->currentItem();
        QCOMPARE(selected->text(0), QStringLiteral("Card of 14 July 2024"));
        QRect name = tree->visualItemRect(selected);
        name.setWidth(tree->style()->pixelMetric(QStyle::PM_SmallIconSize) +
                      tree->fontMetrics().horizontalAdvance(selected->text(0)));
        QVERIFY(tree->viewport()->rect().contains(name));

        QTest::qWait(50);
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        const QString file = QStringLiteral(TRX5_SCREENSHOT_DIR "/deep-tree.png");
        QVERIFY(win.grab().save(file));
        QVERIFY(QFileInfo(file).size() > 0);
    }

    // The card drive list leaves out pseudo and system file systems and the
    // system's own folders, and keeps places a card can be mounted.
    void driveListKeepsPlacesForACard_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("kept");
        QTest::newRow("media") << "/media/user/CARD"
                               << "vfat" << true;
        QTest::newRow("run/media") << "/run/media/user/CARD"
                                   << "exfat" << true;
        QTest::newRow("mnt") << "/mnt/card"
                             << "vfat" << true;
        QTest::newRow("home") << "/home"
                              << "ext4" << true;
        QTest::newRow("varx is no /var") << "/varx"
                                         << "ext4" << true;
        QTest::newRow("proc") << "/proc"
                              << "proc" << false;
        QTest::newRow("cgroup") << "/sys/fs/cgroup"
                                << "cgroup2" << false;
        QTest::newRow("shm") << "/dev/shm"
                             << "tmpfs" << false;
        QTest::newRow("tmpfs anywhere") << "/tmp"
                                        << "tmpfs" << false;
        QTest::newRow("efi") << "/boot/efi"
                             << "vfat" << false;
        QTest::newRow("var") << "/var/lib/docker"
                             << "ext4" << false;
        QTest::newRow("snap") << "/snap/core/1"
                              << "squashfs" << false;
        QTest::newRow("run/user") << "/run/user/1000/doc"
                                  << "fuse.portal" << false;
    }

    void driveListKeepsPlacesForACard() {
        QFETCH(QString, root);
        QFETCH(QString, type);
        QFETCH(bool, kept);
        QCOMPARE(TDriveCombo::IsCardPlace(root, type), kept);
    }

    // Card volumes come first; the system's disks follow, never first.
    void driveListPutsCardsFirst() {
        using V = TDriveCombo::Volume;
        const QList<V> mounted = {{"/", "", false},
                                  {"/home", "", false},
                                  {"/run/media/me/TRX5", "TRX5", false},
                                  {"/srv/card", "", true},
                                  {"/media/me/B", "B", false},
                                  {"/mnt/card", "", false}};
        QStringList order;
        for (const V& v : TDriveCombo::CardVolumesFirst(mounted)) order << v.root;
        QCOMPARE(order, QStringList({"/media/me/B", "/mnt/card", "/run/media/me/TRX5", "/srv/card",
                                     "/", "/home"}));
        QVERIFY(!TDriveCombo::IsCardVolume({"/", "", false}));
        QVERIFY(!TDriveCombo::IsCardVolume({"/mediafiles", "", false}));
        QVERIFY(TDriveCombo::IsCardVolume({"/data", "", true}));

        // Whatever is mounted here, the choice is a card volume or nothing.
        TDriveCombo list;
        QVERIFY(list.count() > 0);
        const QString first = list.itemData(0).toString();
        QCOMPARE(list.Root(), first);
        QVERIFY(first.isEmpty() || first != "/");
    }

    // Without a card chosen, Back up and Restore say so and copy nothing.
    void backupAndRestoreNeedACardDrive() {
        QTemporaryDir card;
        trx5test::MakeMachineFile(card.path().toStdString() + "/");
        trx5test::MakeSongFile(card.path().toStdString() + "/", 0, false);
        FakeDialogs dialogs;
        TMainWin win(dialogs);
        win.DirTree->SetDirectory(card.path());
        win.DriveCombo->setCurrentIndex(-1);
        win.BackBtn->click();
        win.RestoreBtn->click();
        QCOMPARE(dialogs.messages, QStringList({"Choose the card in the Card Drive list.",
                                                "Choose the card in the Card Drive list."}));
        QVERIFY(dialogs.confirmations.isEmpty());
    }
};

QTEST_MAIN(TreeWinTest)
#include "tree_win_test.moc"
