// Export and import through the main window: dialogs, progress, busy mode,
// Abort and the failures the user is told of.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/main_win.h"
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

constexpr int kHiFiSamples = 509;
constexpr int kLongSamples = 510;

std::uint32_t LE32(const trx5test::Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

QStringList Lines(const QPlainTextEdit* text) {
    return text->toPlainText().split('\n', Qt::SkipEmptyParts);
}

// What the window looked like at each block of a long operation.
struct StepLog {
    QList<int> gauge;
    bool busy = true;     // every step found the window in busy mode
    bool abortOn = true;  // and Abort enabled
    quint64 blocks = 0;
};

}  // namespace

class OperationsTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::string card_;
    FakeDialogs dialogs_;

    // Watches each block; at block `abortAt` it clicks Abort the way a user
    // would, through the event queue that the window lets run.
    void Watch(TMainWin& win, StepLog& log, quint64 abortAt = ~quint64{0}) {
        QObject::connect(&win, &TMainWin::ProgressStep, &win,
                         [&win, &log, abortAt](quint64 block, quint64 blocks) {
                             log.blocks = blocks;
                             log.gauge << win.Gauge->Progress();
                             log.busy = log.busy && !win.ExitBtn->isEnabled() &&
                                        !win.BtnsPanel->isEnabled() && !win.SongNum->isEnabled();
                             log.abortOn = log.abortOn && win.AbortBtn->isEnabled();
                             if (block == abortAt) {
                                 QMetaObject::invokeMethod(win.AbortBtn, &QToolButton::click,
                                                           Qt::QueuedConnection);
                             }
                         });
    }

    void ExpectIdle(TMainWin& win) {
        QVERIFY(!win.AbortBtn->isEnabled());
        QVERIFY(win.ExitBtn->isEnabled() && win.BtnsPanel->isEnabled() && win.DirTree->isEnabled());
        QCOMPARE(win.Gauge->Progress(), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    std::string Out(const char* name) { return dir_.path().toStdString() + "/out/" + name; }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        card_ = dir_.path().toStdString() + "/card/";
        QDir().mkpath(QString::fromStdString(card_));
        QDir().mkpath(dir_.path() + "/out");
        MakeMachineFile(card_);
        MakeSongFile(card_, 0, false);
        MakeSongFile(card_, 7, true);
        MakeTake(card_, 0, 0, 2, false, 40, 1);
        MakeTake(card_, 0, 1, 0, false, 20, 2);
    }

    void init() { dialogs_ = FakeDialogs(); }

    void cancelledDialogsDoNothing() {
        TMainWin win(dialogs_);
        win.DirTreeChange(QString::fromStdString(card_));
        win.TakeBtns[2]->click();
        win.Sel1Btn->click();
        win.Take2WavBtn->click();
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.saveCalls, 1);
        QCOMPARE(dialogs_.openCalls, 1);
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(win.InfoText->toPlainText().isEmpty());
    }

    void monoExportMovesTheGaugeAndReports() {
        TMainWin win(dialogs_);
        win.DirTreeChange(QString::fromStdString(card_));
        win.TakeBtns[2]->click();
        const std::string out = Out("mono.wav");
        dialogs_.save = SaveChoice{QString::fromStdString(out), false};
        StepLog log;
        Watch(win, log);
        win.Take2WavBtn->click();

        QCOMPARE(log.blocks, quint64(40));
        QCOMPARE(log.gauge.size(), 40);
        // Block n moves the gauge to n * 100 / blocks once it is done.
        QCOMPARE(log.gauge[0], 0);
        QCOMPARE(log.gauge[1], 0);
        QCOMPARE(log.gauge[2], 2);
        QCOMPARE(log.gauge[21], 50);
        QCOMPARE(log.gauge[39], 95);
        QVERIFY(log.busy && log.abortOn);
        ExpectIdle(win);
        QCOMPARE(Lines(win.InfoText),
                 QStringList({"Creating " + QString::fromStdString(out) + "...",
                              QString::fromStdString(out) + " created."}));
        const trx5test::Bytes wav = trx5test::ReadFile(out);
        QCOMPARE(wav.size(), std::size_t(46 + 40 * kHiFiSamples * 2));
        QCOMPARE(wav[22], std::uint8_t(1));             // mono
        QCOMPARE(LE32(wav, 24), std::uint32_t(32000));  // HiFi rate
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(win.Take2WavBtn->isEnabled());
    }

    void abortedStereoExportIsStillAFile() {
        TMainWin win(dialogs_);
        win.DirTreeChange(QString::fromStdString(card_));
        win.TakeBtns[2]->click();
        win.TakeBtns[8]->click();
        win.Pan1->SetPosition(0);
        const std::string out = Out("mix");
        dialogs_.save = SaveChoice{QString::fromStdString(out), true};
        StepLog log;
        Watch(win, log, 7);
        win.Take2WavBtn->click();

        // The click at block 7 is handled as the window lets events run, so
        // block 7 is not worked.
        QCOMPARE(log.gauge.size(), 8);
        ExpectIdle(win);
        QVERIFY(win.AbortRequested);
        const QString name = QString::fromStdString(out) + ".aif";
        QCOMPARE(Lines(win.InfoText).last(),
                 name + " created, with what was written before Abort.");
        const trx5test::Bytes aiff = trx5test::ReadFile(name.toStdString());
        QCOMPARE(std::string(aiff.begin(), aiff.begin() + 4), std::string("FORM"));
        QVERIFY(!trx5test::FileExists(out));
        // Seven blocks of stereo frames made it.
        QCOMPARE(aiff.size(), std::size_t(54 + 7 * kHiFiSamples * 4));
    }

    void exportFailuresAreReported_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("takeGone");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::newRow("cannot create") << QString("/nonexistent-folder/x.wav") << false
                                       << QString("File to write could not be opened.")
                                       << QString("No such file or directory");
        QTest::newRow("cannot write")
            << QString("/dev/full") << false << QString("The file could not be written.")
            << QString("No space left on device");
        QTest::newRow("take gone")
            << QString("gone.wav") << true << QString("The file could not be opened.")
            << QString("No such file or directory");
    }

    void exportFailuresAreReported() {
        QFETCH(QString, output);
        QFETCH(bool, takeGone);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        MakeTake(folder, 0, 0, 0, false, 3, 1);

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[0]->click();
        if (takeGone) {
            QFile::remove(QString::fromStdString(win.TakeFiles[0]));
            output = card.path() + "/" + output;
        }
        dialogs_.save = SaveChoice{output, false};
        win.Take2WavBtn->click();
        // The sentence, then the file it concerns and the reason, in view;
        // the information box ends saying so.
        const QString file = takeGone ? QString::fromStdString(win.TakeFiles[0]) : output;
        QCOMPARE(dialogs_.messages, QStringList{message + "\n" + file + ": " + detail});
        QCOMPARE(Lines(win.InfoText).last(), "Export failed: " + file + ": " + detail);
        QVERIFY(!win.InfoText->toPlainText().contains(" created."));
        ExpectIdle(win);
        if (takeGone) QVERIFY(!QFile::exists(output));
    }

    void importWritesTakesAndShowsThem() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 41, true);  // song 42, LONG
        const std::string source = dir_.path().toStdString() + "/stereo.wav";
        WriteWav(source, 2, 16000, 10 * kLongSamples + 3,
                 [](int f, int c) { return static_cast<std::int16_t>(c == 0 ? f * 7 : -f * 5); });

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        QCOMPARE(win.SongNum->currentText(), QString("42 LONG"));
        win.TakeBtns[8 * 1 + 4]->click();  // 2-5, empty
        win.TakeBtns[8 * 3 + 0]->click();  // 4-1, empty
        win.Sel4Btn->click();
        win.Sel2Btn->click();
        QCOMPARE(win.LMonoLabel->text(), QString("L/Mono :TRACK4-1"));
        dialogs_.open = QString::fromStdString(source);
        StepLog log;
        Watch(win, log);
        win.Wav2TakeBtn->click();

        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(log.blocks, quint64(10));
        QVERIFY(log.busy && log.abortOn);
        ExpectIdle(win);
        QCOMPARE(Lines(win.InfoText),
                 QStringList({"Writing to Takes", "Take(s) have been generated."}));
        const std::string left = folder + "41-30.aud";
        const std::string right = folder + "41-14.aud";
        QCOMPARE(FileSize(left), 512LL + 11 * 512);
        QCOMPARE(FileSize(right), 512LL + 11 * 512);
        QCOMPARE(trx5test::ReadFile(left)[0], std::uint8_t(1));  // LONG header
        QCOMPARE(win.TakeFiles[24], left);
        QCOMPARE(win.TakeFiles[12], right);
        QCOMPARE(win.TakeBtns[24]->text(), QString("4-1"));
        QVERIFY(!win.TakeBtns[24]->autoRaise() && win.TakeBtns[24]->isChecked());
        QCOMPARE(win.V4Label->text(), QString("Track4  0:00:00:350"));
        QCOMPARE(win.VwMonoLabel->text(), QString("Stereo"));
        QVERIFY(win.Take2WavBtn->isEnabled() && win.Wav2TakeBtn->isEnabled());
        QVERIFY(!QDir(card.path()).entryList({"*.tmp"}).size());
    }

    void importGoesToTheDestinationThatHasAVTake() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        const std::string source = dir_.path().toStdString() + "/mono.wav";
        WriteWav(source, 1, 32000, 2 * kHiFiSamples, [](int f, int) { return std::int16_t(f); });

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[8 * 2 + 6]->click();  // 3-7
        win.Sel1Btn->click();              // track 1 has no V-Take
        win.Sel3Btn->click();
        QCOMPARE(win.LMonoLabel->text(), QString("Mono"));
        dialogs_.open = QString::fromStdString(source);
        win.Wav2TakeBtn->click();

        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(QDir(card.path()).entryList({"*.aud"}), QStringList{"00-26.aud"});
        QCOMPARE(FileSize(folder + "00-26.aud"), 512LL + 2 * 512);
        QCOMPARE(win.TakeBtns[22]->text(), QString("3-7"));
        QCOMPARE(win.VwMonoLabel->text(), QString("Mono"));
    }

    // Files whose names differ only in case: the window names the twins and
    // shows, plays and replaces the one the listing uses.
    void caseTwinsAreNamedAndTheShownTakeIsReplaced() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        MakeTake(folder, 0, 0, 0, false, 3, 9);
        QFile::copy(QString::fromStdString(folder + "00-00.aud"),
                    QString::fromStdString(folder + "00-00.AUD"));
        const trx5test::Bytes twin = trx5test::ReadFile(folder + "00-00.aud");
        const std::string source = dir_.path().toStdString() + "/short.wav";
        WriteWav(source, 1, 32000, 2 * kHiFiSamples, [](int f, int) { return std::int16_t(f); });

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        QCOMPARE(Lines(win.InfoText), QStringList{"00-00.aud: same take as 00-00.AUD, ignored"});
        QCOMPARE(win.TakeFiles[0], folder + "00-00.AUD");
        win.TakeBtns[0]->click();
        win.Sel1Btn->click();
        dialogs_.open = QString::fromStdString(source);
        win.Wav2TakeBtn->click();
        // The take replaced is kept in the card's history.
        QCOMPARE(
            Lines(win.InfoText).mid(Lines(win.InfoText).size() - 2),
            QStringList({"Take(s) have been generated.", "The old take 1-1 is in the history."}));
        QCOMPARE(FileSize(folder + "00-00.AUD"), 512LL + 2 * 512);
        QCOMPARE(trx5test::ReadFile(folder + "00-00.aud"), twin);
        QCOMPARE(win.V1Label->text(), QString("Track1  0:00:00:031"));
    }

    // What is off on the card is listed when it opens, and a file in a
    // take's place that is no take is replaced only when the user says so.
    void damagedTakeIsNamedAndReplacedOnlyWhenTold() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        MakeTake(folder, 0, 0, 0, false, 3, 9);
        trx5test::WriteFile(folder + "00-05.aud", trx5test::Bytes(900, 0x11));  // damaged, 1-6
        MakeTake(folder, 3, 1, 1, false, 2, 4);  // song 04 has no song file
        const std::string source = dir_.path().toStdString() + "/short.wav";
        WriteWav(source, 1, 32000, 2 * kHiFiSamples, [](int f, int) { return std::int16_t(f); });

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        QCOMPARE(Lines(win.InfoText), QStringList({"00-05.aud: not a take (damaged?), kept",
                                                   "Song 04: 1 take file but no song file"}));
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR));
        QVERIFY(win.grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/card-notes.png")));
        QVERIFY(win.TakeFiles[5].empty());
        win.TakeBtns[5]->click();
        win.Sel1Btn->click();
        dialogs_.open = QString::fromStdString(source);
        const QString question = QCoreApplication::applicationName() +
                                 ": 00-05.aud in the place of take 1-6 is not a take (damaged?). "
                                 "Replace it?";
        dialogs_.confirmAnswer = false;
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.confirmations, QStringList{question});
        QCOMPARE(dialogs_.openCalls, 0);
        QCOMPARE(trx5test::ReadFile(folder + "00-05.aud"), trx5test::Bytes(900, 0x11));

        dialogs_.confirmAnswer = true;
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.confirmations.size(), 2);
        QCOMPARE(
            Lines(win.InfoText).mid(Lines(win.InfoText).size() - 2),
            QStringList({"Take(s) have been generated.", "The old take 1-6 is in the history."}));
        QCOMPARE(FileSize(folder + "00-05.aud"), 512LL + 2 * 512);
        QCOMPARE(win.TakeBtns[5]->text(), QString("1-6"));
    }

    // Abort cancels the import: the take that was there stays byte for byte,
    // nothing is left behind, and the line says so.
    void abortedImportLeavesTheTakesAsTheyWere() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        MakeTake(folder, 0, 0, 0, false, 3, 9);  // the import would replace it
        const trx5test::Bytes before = trx5test::ReadFile(folder + "00-00.aud");
        const std::string source = dir_.path().toStdString() + "/long.wav";
        WriteWav(source, 1, 32000, 100 * kHiFiSamples + 1,
                 [](int f, int) { return std::int16_t(f % 1000); });

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[0]->click();
        win.Sel1Btn->click();
        dialogs_.open = QString::fromStdString(source);
        StepLog log;
        Watch(win, log, 4);
        win.Wav2TakeBtn->click();

        ExpectIdle(win);
        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(Lines(win.InfoText).last(), QString("Import canceled; takes left unchanged."));
        QCOMPARE(trx5test::ReadFile(folder + "00-00.aud"), before);
        QCOMPARE(QDir(card.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"00-00.aud", "SongNo.tx5", "UtyPrm00.tx5"}));
        QCOMPARE(win.V1Label->text(), QString("Track1  0:00:00:047"));
    }

    void importFailuresAreReported_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::newRow("missing source") << 0 << QString("The file could not be opened.")
                                        << QString("No such file or directory");
        QTest::newRow("not audio") << 1 << QString("The file is not a WAV/AIFF.") << QString();
        QTest::newRow("take cannot be made")
            << 2 << QString("File to write could not be opened.") << QString("Is a directory");
    }

    void importFailuresAreReported() {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        MakeMachineFile(folder);
        MakeSongFile(folder, 0, false);
        const std::string source = folder + "source.wav";
        if (kind == 1) trx5test::WriteFile(source, std::string("just some text, no audio here"));
        if (kind == 2) {
            WriteWav(source, 1, 32000, 600, [](int, int) { return std::int16_t(0); });
            // Where the take goes stands a folder.
            QDir().mkdir(card.path() + "/00-00.aud");
        }

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[0]->click();
        win.Sel1Btn->click();
        dialogs_.open = QString::fromStdString(source);
        win.Wav2TakeBtn->click();
        const QString file = QString::fromStdString(kind == 2 ? folder + "00-00.aud" : source);
        const QString why = detail.isEmpty() ? file : file + ": " + detail;
        QCOMPARE(dialogs_.messages, QStringList{message + "\n" + why});
        QCOMPARE(Lines(win.InfoText).last(), "Import failed: " + why);
        QVERIFY(!win.InfoText->toPlainText().contains("generated"));
        QVERIFY(win.TakeBtns[0]->autoRaise() && win.TakeFiles[0].empty());
        QVERIFY(!QFileInfo(card.path() + "/00-00.aud").isFile());
        ExpectIdle(win);
        QVERIFY(win.Wav2TakeBtn->isEnabled());
    }
};

QTEST_MAIN(OperationsTest)
#include "operations_test.moc"
