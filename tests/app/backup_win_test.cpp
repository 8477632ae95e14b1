// Back up and Restore through the main window: the card check, the
// confirmation, the copy and the notices, and what the window shows after.
#include <sys/mount.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/drive_combo.h"
#include "app/main_win.h"
#include "app_test_support.h"
#include "controls/dirtreeview.h"
#include "controls/fileoperation.h"
#include "support/test_support.h"

namespace {

using trx5test::MakeMachineFile;
using trx5test::MakeSongFile;
using trx5test::MakeTake;

const QString kCaption = QStringLiteral("Confirmation for BackUp: ");

// Every file of a folder by name with its bytes, hidden ones (the copy's
// temporary files) too.
QMap<QString, QByteArray> Contents(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile file(dir.filePath(name));
        files[name] = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    return files;
}

// A card: song 01 HiFi with takes 1-1 and 2-3, song 02 LONG with take 1-1.
void MakeCard(const QString& folder, int seed) {
    QVERIFY(QDir().mkpath(folder));
    const std::string f = folder.toStdString() + "/";
    MakeMachineFile(f);
    MakeSongFile(f, 0, false);
    MakeSongFile(f, 1, true);
    MakeTake(f, 0, 0, 0, false, 3, seed);
    MakeTake(f, 0, 1, 2, false, 2, seed + 1);
    MakeTake(f, 1, 0, 0, true, 2, seed + 2);
}

QStringList Songs(const TMainWin& win) {
    QStringList songs;
    for (int i = 0; i < win.SongNum->count(); ++i) songs << win.SongNum->itemText(i);
    return songs;
}

// A small tmpfs on `folder`, when wanted and allowed, for as long as the
// object lives.
struct SmallDisk {
    SmallDisk(const QString& folder, bool wanted) : path(folder.toStdString()) {
        mounted = wanted && geteuid() == 0 &&
                  mount("trx5test", path.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk() {
        if (mounted) umount(path.c_str());
    }
    std::string path;
    bool mounted = false;
};

}  // namespace

class BackupWinTest : public QObject {
    Q_OBJECT

    FakeDialogs dialogs_;
    QTemporaryDir temp_;
    QString root_;    // the card's mount folder
    QString folder_;  // a folder on the computer, as the tree shows it

  private slots:
    void init() {
        dialogs_ = FakeDialogs();
        QVERIFY(temp_.isValid());
        QDir(temp_.path()).removeRecursively();
        QVERIFY(QDir().mkpath(temp_.path()));
        root_ = temp_.path() + "/CARD";
        folder_ = temp_.path() + "/Backup";
        QVERIFY(QDir().mkpath(folder_));
    }

    void backupCopiesTheCardAndReadsTheFolder() {
        MakeCard(root_, 1);
        trx5test::WriteFile(root_.toStdString() + "/notes.txt", "not a card file");
        QVERIFY(QDir().mkpath(root_ + "/sub.aud"));
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        QVERIFY(win.BackBtn->isEnabled() && !win.RestoreBtn->isEnabled());

        win.BackBtn->click();
        QCOMPARE(dialogs_.confirmations,
                 QStringList{kCaption + "Backup " + root_ + " to " + folder_ + "/"});
        QCOMPARE(dialogs_.messages, QStringList{"Done."});
        QCOMPARE(win.FileOp->FileFrom(), QStringList({root_ + "/*.tx5", root_ + "/*.aud"}));
        QCOMPARE(win.FileOp->FileTo(), QStringList{folder_ + "/"});
        QCOMPARE(win.FileOp->ProgressTitle(), "Copying files in " + root_ + " to " + folder_ + "/");

        QMap<QString, QByteArray> card = Contents(root_);
        card.remove("notes.txt");
        QCOMPARE(card.size(), 6);
        QCOMPARE(Contents(folder_), card);
        QVERIFY(QDir(folder_).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        // The folder was read again: the backup shows and can be restored.
        QCOMPARE(win.CardDir, folder_.toStdString() + "/");
        QCOMPARE(Songs(win), QStringList({"01 HiFi", "02 LONG"}));
        QVERIFY(win.RestoreBtn->isEnabled());
    }

    // A link on the card is not copied, nor a take's second spelling; the
    // information box says so, a line each.
    void backupNamesTheFilesLeftOut() {
        MakeCard(root_, 1);
        const std::string card = root_.toStdString() + "/";
        trx5test::WriteFile(temp_.path().toStdString() + "/secret", "not for the backup");
        QVERIFY(symlink((temp_.path() + "/secret").toLocal8Bit().constData(),
                        (card + "00-05.aud").c_str()) == 0);
        trx5test::WriteFile(card + "00-12.AUD", "the take's first spelling");
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.BackBtn->click();
        QCOMPARE(dialogs_.messages, QStringList{"Done."});
        // Then the backup folder is shown, with what is off in it: the
        // copied text in a take's place.
        QCOMPARE(win.InfoText->toPlainText(), QString("00-05.aud: a link, not copied\n"
                                                      "00-12.aud: same take as 00-12.AUD, ignored\n"
                                                      "00-12.AUD: not a take (damaged?), kept"));
        const QMap<QString, QByteArray> copied = Contents(folder_);
        QVERIFY(!copied.contains("00-05.aud") && !copied.contains("00-12.aud"));
        QCOMPARE(copied.value("00-12.AUD"), QByteArray("the take's first spelling"));
    }

    void backupCancelledInTheConfirmationCopiesNothing() {
        MakeCard(root_, 1);
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        dialogs_.confirmAnswer = false;
        win.BackBtn->click();
        QCOMPARE(dialogs_.confirmations.size(), 1);
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(Contents(folder_).isEmpty());
        QVERIFY(!win.RestoreBtn->isEnabled());
    }

    void backupRefusesACardWithoutItsMachineFile_data() {
        QTest::addColumn<QByteArray>("machineFile");  // none when null
        QTest::addColumn<QString>("message");
        const QByteArray signature("QORV TX-5 MACHINE INFORMATION VER0001");
        QTest::newRow("missing") << QByteArray() << QString("No TRX-5 card information");
        QTest::newRow("other model")
            << QByteArray("QORV TX-5 MACHINE INFORMATION VER0002").append(11, '\0')
            << QString("Invalid TRX-5 card information");
        QTest::newRow("runs on past the signature") << QByteArray(signature + "1").append(10, '\0')
                                                    << QString("Invalid TRX-5 card information");
    }

    void backupRefusesACardWithoutItsMachineFile() {
        QFETCH(QByteArray, machineFile);
        QFETCH(QString, message);
        MakeCard(root_, 1);
        const std::string machine = root_.toStdString() + "/SongNo.tx5";
        QVERIFY(QFile::remove(QString::fromStdString(machine)));
        if (!machineFile.isNull()) {
            trx5test::WriteFile(machine, machineFile.toStdString());
        }
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.BackBtn->click();
        QCOMPARE(dialogs_.messages, QStringList{message});
        QVERIFY(dialogs_.confirmations.isEmpty());
        QVERIFY(Contents(folder_).isEmpty());
    }

    // A card written by another system: its names in capitals.
    void upperCaseCardIsBackedUpWhole() {
        MakeCard(root_, 1);
        QDir card(root_);
        for (const QString& name : card.entryList(QDir::Files)) {
            QVERIFY(card.rename(name, name.toUpper()));
        }
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.BackBtn->click();
        QCOMPARE(dialogs_.messages, QStringList{"Done."});
        const QMap<QString, QByteArray> copied = Contents(folder_);
        QVERIFY(copied.contains("SONGNO.TX5") && copied.contains("UTYPRM00.TX5") &&
                copied.contains("00-00.AUD"));
        QCOMPARE(copied, Contents(root_));
    }

    // A cancel or a failure leaves every song of the old backup as it was
    // and no rebuild: the folder's old backup stays shown with its
    // selection. A disk too small is found before anything is written.
    void backupThatDoesNotFinish_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages");  // the folder stands for %1
        QTest::addColumn<QString>("info");          // the information box
        QTest::newRow("cancelled")
            << "cancel" << QStringList{"Operation canceled"}
            << "Operation canceled\nsongs 01, 02 and the machine file left as they were";
        QTest::newRow("disk too small")
            << "full"
            << QStringList{"Cannot copy %1/: Not enough free space (3.2 MB needed, 238 kB free)"}
            << "Cannot copy %1/: Not enough free space (3.2 MB needed, 238 kB free)";
        QTest::newRow("folder replaced by a file")
            << "file" << QStringList{"Cannot copy %1/: Not a directory"}
            << "Cannot copy %1/: Not a directory";
    }

    void backupThatDoesNotFinish() {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        QFETCH(QString, info);
        const SmallDisk disk(folder_, how == "full");
        if (how == "full" && !disk.mounted) QSKIP("cannot mount a small tmpfs here");
        MakeCard(folder_, 7);  // an old backup
        MakeCard(root_, 1);
        // A take too large for the small disk, copied after take 1-1.
        trx5test::Bytes large(3 << 20);
        for (std::size_t i = 0; i < large.size(); ++i) large[i] = std::uint8_t(i * 7 + i / 999);
        trx5test::WriteFile(root_.toStdString() + "/00-01.aud", large);
        const QMap<QString, QByteArray> card = Contents(root_);
        const QMap<QString, QByteArray> old = Contents(folder_);

        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.TakeBtns[0]->click();
        QCOMPARE(win.SelTake[0], 0);
        if (how == "file") {
            QVERIFY(QDir(folder_).removeRecursively());
            trx5test::WriteFile(folder_.toStdString(), "x");
        }
        connect(win.FileOp, &TFileOperation::ProgressStep, this,
                [&win, how, card](quint64 done, quint64) {
                    auto* dialog = win.findChild<QProgressDialog*>();
                    if (how == "cancel" && done > quint64(card["00-00.aud"].size()) && dialog) {
                        dialog->cancel();
                    }
                });

        win.BackBtn->click();
        QCOMPARE(dialogs_.confirmations.size(), 1);
        QCOMPARE(dialogs_.messages, messages.replaceInStrings("%1", folder_));
        // One message, with nothing in front of it: the progress has closed.
        QCOMPARE(dialogs_.modalAtMessage, QStringList(messages.size(), QString()));
        QCOMPARE(win.CardDir, folder_.toStdString() + "/");
        QCOMPARE(win.SelTake[0], 0);
        QCOMPARE(win.InfoText->toPlainText(), info.replace("%1", folder_));
        if (how == "file") return;
        // Take 1-1 was written, but its song goes only as a whole.
        QCOMPARE(Contents(folder_), old);
    }

    void backupWithoutAFolderChosen() {
        MakeCard(root_, 1);
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        QVERIFY(win.DirTree->GetDirectory().isEmpty());
        QVERIFY(win.BackBtn->isEnabled());
        win.BackBtn->click();
        QCOMPARE(dialogs_.messages,
                 QStringList{"Choose a folder for the backup in the folder tree."});
        QVERIFY(dialogs_.confirmations.isEmpty());
    }

    // The card lost its machine file and has a damaged take; a take and a
    // file the backup does not have stay.
    void restoreCopiesTheFolderOntoTheCard() {
        MakeCard(folder_, 1);
        QVERIFY(QDir().mkpath(root_));
        const std::string card = root_.toStdString() + "/";
        trx5test::WriteFile(card + "00-00.aud", "garbage");
        MakeTake(card, 0, 0, 7, false, 2, 5);
        trx5test::WriteFile(card + "notes.txt", "mine");
        QMap<QString, QByteArray> expected = Contents(folder_);
        expected["00-07.aud"] = Contents(root_)["00-07.aud"];
        expected["notes.txt"] = "mine";

        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.TakeBtns[0]->click();
        QVERIFY(win.RestoreBtn->isEnabled());
        win.RestoreBtn->click();

        QCOMPARE(dialogs_.confirmations,
                 QStringList{kCaption + "Restore " + folder_ + "/ to " + root_});
        QCOMPARE(dialogs_.messages, QStringList{"Done."});
        QCOMPARE(win.FileOp->FileFrom(), QStringList({folder_ + "/*.tx5", folder_ + "/*.aud"}));
        QCOMPARE(win.FileOp->FileTo(), QStringList{root_});
        QCOMPARE(win.FileOp->ProgressTitle(), "Restoring files in " + folder_ + "/ to " + root_);
        QCOMPARE(Contents(root_), expected);
        // Nothing was read again: the folder's songs and selection stay.
        QCOMPARE(win.CardDir, folder_.toStdString() + "/");
        QCOMPARE(Songs(win), QStringList({"01 HiFi", "02 LONG"}));
        QCOMPARE(win.SelTake[0], 0);
    }

    void restoreCancelledInTheConfirmationCopiesNothing() {
        MakeCard(folder_, 1);
        QVERIFY(QDir().mkpath(root_));
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        dialogs_.confirmAnswer = false;
        win.RestoreBtn->click();
        QCOMPARE(dialogs_.confirmations.size(), 1);
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(Contents(root_).isEmpty());
    }

    // The card was taken out: its mount folder is gone. The restore must
    // fail rather than make a folder of that name on the computer.
    void restoreOntoACardThatIsGone() {
        MakeCard(folder_, 1);
        TMainWin win(dialogs_);
        win.DriveCombo->SetRoot(root_);
        win.DirTree->SetDirectory(folder_);
        win.RestoreBtn->click();
        QCOMPARE(dialogs_.messages,
                 QStringList{"Cannot copy " + root_ + ": No such file or directory"});
        QVERIFY(!QFileInfo::exists(root_));
    }

    void buttonsFollowTheFolderAndBusyMode() {
        MakeCard(folder_, 1);
        TMainWin win(dialogs_);
        const auto states = [&win] {
            return QList<bool>{win.BackBtn->isEnabled(), win.RestoreBtn->isEnabled()};
        };
        QCOMPARE(states(), QList<bool>({true, false}));
        win.DirTree->SetDirectory(folder_);
        QCOMPARE(states(), QList<bool>({true, true}));
        win.SetBusy(true);
        QCOMPARE(states(), QList<bool>({false, false}));
        win.SetBusy(false);
        QCOMPARE(states(), QList<bool>({true, true}));
        win.DirTree->SetDirectory(temp_.path());
        QCOMPARE(states(), QList<bool>({true, false}));
        win.SetBusy(true);
        win.SetBusy(false);
        QCOMPARE(states(), QList<bool>({true, false}));
        win.DirTree->SetDirectory(QString());  // the computer item has no path
        QCOMPARE(states(), QList<bool>({false, false}));
    }
};

QTEST_MAIN(BackupWinTest)
#include "backup_win_test.moc"
