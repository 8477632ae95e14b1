// The window's side of files in other formats and rates: the import form's
// rate line and choices, the import with them, FLAC through the save dialog,
// and every take of a song exported from the grid's context menu.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>

#include "../playback/fake_sound_output.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "app/nf_win.h"
#include "app_test_support.h"
#include "codec/take_codec.h"
#include "convert/audio_check.h"
#include "convert/export.h"
#include "convert/import.h"
#include "convert/stems.h"
#include "playback/preview.h"
#include "playback/sound_output.h"
#include "support/reference_codec.h"
#include "support/test_support.h"

namespace {

constexpr int kHiFiSamples = 509;

std::int16_t Tone(int frame, int channel) {
    return std::int16_t(9000 * std::sin(frame * (0.03 + 0.02 * channel)) + 500 * channel);
}

QAction* MenuAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) return action;
    }
    return nullptr;
}

// Picks a menu item: its work starts from the event loop, after the menu.
void Pick(QAction* action) {
    action->trigger();
    QCoreApplication::processEvents();
}

}  // namespace

class FormatsTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;
    QTemporaryDir work_;

    std::string MakeCard(const QTemporaryDir& card) {
        const std::string folder = card.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        trx5test::MakeTake(folder, 0, 0, 0, false, 6, 1);  // 1-1
        trx5test::MakeTake(folder, 0, 2, 4, false, 3, 2);  // 3-5
        return folder;
    }

  private slots:
    void init() { dialogs_ = FakeDialogs(); }

    // The form tells what the import will do with the file's rate and offers
    // the recorder's own behaviour and the mix of a stereo file.
    void importFormShowsTheRateChange() {
        const std::string wav = work_.path().toStdString() + "/cd.wav";
        WriteWav(wav, 2, 44100, 4410, Tone);
        const std::string song = work_.path().toStdString() + "/song.wav";
        WriteWav(song, 1, 32000, 3200, Tone);
        TGetWin form;
        form.SetSong(false, true);
        form.SelectedFile = QString::fromStdString(wav);
        form.ShowFileInfo();
        QCOMPARE(form.RateLabel->text(), QString("Rate : 44100 Hz -> 32000 Hz"));
        QVERIFY(form.MixBox->isEnabled());
        form.KeepRateBox->setChecked(true);
        QCOMPARE(form.RateLabel->text(), QString("Rate : 44100 Hz, kept (plays at 32000 Hz)"));
        form.KeepRateBox->setChecked(false);
        form.SetSong(true, false);  // a LONG song, two destinations
        QCOMPARE(form.RateLabel->text(), QString("Rate : 44100 Hz -> 16000 Hz"));
        QVERIFY(!form.MixBox->isEnabled());
        form.SetSong(false, true);
        form.SelectedFile = QString::fromStdString(song);
        form.ShowFileInfo();
        QCOMPARE(form.RateLabel->text(), QString("Rate : 32000 Hz, no conversion"));
        QVERIFY(!form.MixBox->isEnabled());  // a mono file has nothing to mix
        const std::string slow = work_.path().toStdString() + "/slow.wav";
        WriteWav(slow, 1, 999, 999, Tone);
        form.SelectedFile = QString::fromStdString(slow);
        form.ShowFileInfo();
        QCOMPARE(form.RateLabel->text(), QString("Rate : 999 Hz, too low to convert"));
        form.KeepRateBox->setChecked(true);
        QCOMPARE(form.RateLabel->text(), QString("Rate : 999 Hz, kept (plays at 32000 Hz)"));
    }

    // Held down, the listen button plays what the import will write: at the
    // song's rate, or the file's own rate outside an import.
    void previewPlaysWhatTheImportWrites() {
        const std::string wav = work_.path().toStdString() + "/cd.wav";
        WriteWav(wav, 2, 44100, 44100, Tone);
        FakeSoundOutput output;
        TGetWin form;
        form.SetSoundOutput(output);
        form.SelectedFile = QString::fromStdString(wav);
        form.AudBtnMouseDown();
        QCOMPARE(output.format.sampleRate, 44100);
        QCOMPARE(output.format.channels, 2);
        form.AudBtnMouseUp();
        // Into one take: the left channel alone, or the mix; into two: both.
        struct Case {
            bool oneTake;
            bool mix;
            int channels;
        };
        for (const Case& c : {Case{true, false, 1}, Case{true, true, 1}, Case{false, false, 2}}) {
            form.ShowFileInfo();
            form.SetSong(false, c.oneTake);
            form.MixBox->setChecked(c.mix);
            form.AudBtnMouseDown();
            QCOMPARE(output.format.sampleRate, 32000);
            QCOMPARE(output.format.channels, c.channels);
            QCOMPARE(form.Player().PreviewInfo().channels, c.channels);
            form.AudBtnMouseUp();
        }
    }

    // The window's import takes the form's choices; the takes are what the
    // import engine writes with them.
    void importUsesTheFormsChoices_data() {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("mix");
        QTest::newRow("converted") << false << false;
        QTest::newRow("kept") << true << false;
        QTest::newRow("mixed") << false << true;
    }

    void importUsesTheFormsChoices() {
        QFETCH(bool, keep);
        QFETCH(bool, mix);
        const std::string wav = work_.path().toStdString() + "/cd.wav";
        WriteWav(wav, 2, 44100, 20000, Tone);
        QTemporaryDir card, reference;
        const std::string folder = MakeCard(card);
        TMainWin win(dialogs_);
        TGetWin form;
        TNfWin nf;
        win.AttachForms(&form, &nf);
        win.DirTreeChange(card.path());
        win.TakeBtns[8 * 1 + 0]->click();  // 2-1
        win.Sel2Btn->click();
        form.KeepRateBox->setChecked(keep);
        form.MixBox->setChecked(mix);
        dialogs_.open = QString::fromStdString(wav);
        win.Wav2TakeBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());

        trx5::ImportRequest request;
        request.sourcePath = wav;
        request.cardDir = reference.path().toStdString();
        request.first = {1, 0};
        request.keepRate = keep;
        request.mixToMono = mix;
        trx5::NoProgress quiet;
        QVERIFY(trx5::ImportTakes(request, quiet).ok());
        QCOMPARE(trx5test::ReadFile(folder + "00-10.aud"),
                 trx5test::ReadFile(reference.path().toStdString() + "/00-10.aud"));
        const std::uint64_t frames = keep ? 20000 : 20000 * 32000 / 44100 + 1;
        QCOMPARE(FileSize(folder + "00-10.aud"),
                 512LL + 512LL * ((frames + kHiFiSamples - 1) / kHiFiSamples));
    }

    // Abort while a file is counted (a FLAC whose header claims 2^36 - 1
    // frames is decoded to find its length): nothing is written, the take
    // there stays, and the window says so instead of reporting new takes.
    void abortWhileCountingLeavesTheTakes() {
        QTemporaryDir card;
        const std::string folder = MakeCard(card);
        trx5::ExportRequest flac;
        flac.takePaths[0] = folder + "00-00.aud";
        flac.outputPath = work_.path().toStdString() + "/claims.flac";
        flac.format = trx5::ExportFormat::Flac;
        trx5::NoProgress quiet;
        QVERIFY(trx5::ExportTakes(flac, quiet).ok());
        trx5test::Bytes bytes = trx5test::ReadFile(flac.outputPath);
        trx5test::SetFlacTotalSamples(bytes, (std::uint64_t(1) << 36) - 1);
        trx5test::WriteFile(flac.outputPath, bytes);
        const trx5test::Bytes take = trx5test::ReadFile(folder + "00-00.aud");
        const QStringList files = QDir(card.path()).entryList(QDir::Files | QDir::Hidden);

        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[0]->click();  // 1-1
        win.Sel1Btn->click();
        QList<QPair<quint64, quint64>> steps;
        connect(&win, &TMainWin::ProgressStep, &win, [&](quint64 block, quint64 blocks) {
            steps.append({block, blocks});
            QMetaObject::invokeMethod(win.AbortBtn, &QToolButton::click, Qt::QueuedConnection);
        });
        dialogs_.open = QString::fromStdString(flac.outputPath);
        win.Wav2TakeBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(steps, (QList<QPair<quint64, quint64>>{{0, 1}}));
        QVERIFY(win.InfoText->toPlainText().endsWith("Import canceled; takes left unchanged."));
        QCOMPARE(trx5test::ReadFile(folder + "00-00.aud"), take);
        QCOMPARE(QDir(card.path()).entryList(QDir::Files | QDir::Hidden), files);
        QVERIFY(!win.AbortBtn->isEnabled() && win.ExitBtn->isEnabled());
    }

    // A file that is not stereo cannot be mixed: showing one clears the mix
    // box's tick; a mix asked of one all the same (its name typed into the
    // dialog while a stereo file was shown) is refused with a message.
    void mixOfAFileThatIsNotStereo() {
        const std::string stereo = work_.path().toStdString() + "/st.wav";
        WriteWav(stereo, 2, 32000, 3200, Tone);
        const std::string mono = work_.path().toStdString() + "/mono.wav";
        WriteWav(mono, 1, 32000, 3200, Tone);
        TGetWin shown;
        shown.SetSong(false, true);
        shown.SelectedFile = QString::fromStdString(stereo);
        shown.ShowFileInfo();
        shown.MixBox->setChecked(true);
        shown.SelectedFile = QString::fromStdString(mono);
        shown.ShowFileInfo();
        QVERIFY(!shown.MixBox->isChecked() && !shown.MixBox->isEnabled());

        QTemporaryDir card;
        const std::string folder = MakeCard(card);
        TMainWin win(dialogs_);
        TGetWin form;
        TNfWin nf;
        win.AttachForms(&form, &nf);
        win.DirTreeChange(card.path());
        win.TakeBtns[8 * 1 + 0]->click();  // 2-1
        win.Sel2Btn->click();
        form.SetSong(false, true);
        form.SelectedFile = QString::fromStdString(stereo);
        form.ShowFileInfo();
        form.MixBox->setChecked(true);
        dialogs_.open = QString::fromStdString(mono);
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.messages,
                 QStringList{"Only a stereo file can be mixed into one take.\n" +
                             QString::fromStdString(mono) + ": the file is mono"});
        QVERIFY(!QFileInfo::exists(QString::fromStdString(folder + "00-10.aud")));
    }

    // A rate too low to convert: the message says why and what the import
    // dialog offers instead; with the samples kept the import is made.
    void rateTooLowPointsToKeepingTheSamples() {
        QTemporaryDir card;
        const std::string folder = MakeCard(card);
        const std::string wav = work_.path().toStdString() + "/1hz.wav";
        WriteWav(wav, 1, 1, 3000, Tone);
        TMainWin win(dialogs_);
        TGetWin form;
        TNfWin nf;
        win.AttachForms(&form, &nf);
        win.DirTreeChange(card.path());
        win.TakeBtns[8 * 1 + 0]->click();  // 2-1
        win.Sel2Btn->click();
        dialogs_.open = QString::fromStdString(wav);
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.messages,
                 QStringList{"The sampling rate could not be converted.\n" +
                             QString::fromStdString(wav) +
                             ": the file's rate of 1 Hz is below 1000 Hz\n\"Keep samples as they "
                             "are\" in the import dialog takes them as they are."});
        QVERIFY(!QFileInfo::exists(QString::fromStdString(folder + "00-10.aud")));
        form.KeepRateBox->setChecked(true);
        win.Wav2TakeBtn->click();
        QCOMPARE(dialogs_.messages.size(), 1);
        QCOMPARE(FileSize(folder + "00-10.aud"), 512LL + 512 * 6);
    }

    // A FLAC file in and out: the save dialog's FLAC filter writes FLAC, and
    // the import reads it back to the same samples.
    void flacOutAndIn() {
        QTemporaryDir card;
        const std::string folder = MakeCard(card);
        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        win.TakeBtns[0]->click();  // 1-1
        const QString out = work_.path() + "/take";
        dialogs_.save = SaveChoice{out, false, true};
        win.Take2WavBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(QFileInfo::exists(out + ".flac"));
        QVERIFY(win.InfoText->toPlainText().endsWith(out + ".flac created."));

        win.TakeBtns[8 * 3 + 7]->click();  // 4-8, empty
        win.Sel4Btn->click();
        dialogs_.open = out + ".flac";
        win.Wav2TakeBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        // The same song rate: the samples come back as they were, and so
        // do the coded blocks.
        const trx5test::Bytes original = trx5test::ReadFile(folder + "00-00.aud");
        const trx5test::Bytes again = trx5test::ReadFile(folder + "00-37.aud");
        QCOMPARE(again.size(), original.size());
        QCOMPARE(trx5ref::DecodeTakeBytes(again, false), trx5ref::DecodeTakeBytes(original, false));
    }

    void contextMenuExportsTheSongsTakes() {
        QTemporaryDir card, out;
        MakeCard(card);
        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        QScopedPointer<QMenu> menu(win.TakeMenu(1));  // an empty slot
        QAction* all = MenuAction(menu.data(), "Export all takes of this song...");
        QAction* one = MenuAction(menu.data(), "Export this take...");
        QVERIFY(all != nullptr && one != nullptr);
        QVERIFY(all->isEnabled() && !one->isEnabled());

        dialogs_.folder.clear();  // the folder dialog cancelled
        Pick(all);
        QVERIFY(QDir(out.path()).isEmpty());

        dialogs_.folder = out.path() + "/stems";
        Pick(all);
        QCOMPARE(dialogs_.folderCaptions.last(), QString("Export all takes of this song"));
        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(QDir(dialogs_.folder).entryList(QDir::Files),
                 QStringList({"Song01_Track1_VTake1.wav", "Song01_Track3_VTake5.wav"}));
        QVERIFY(win.InfoText->toPlainText().endsWith("Song01_Track3_VTake5.wav created."));
        QVERIFY(win.ExitBtn->isEnabled() && !win.AbortBtn->isEnabled());

        QScopedPointer<QMenu> takeMenu(win.TakeMenu(8 * 2 + 4));  // 3-5
        dialogs_.folder = out.path() + "/one";
        QDir().mkpath(dialogs_.folder);
        Pick(MenuAction(takeMenu.data(), "Export this take..."));
        QCOMPARE(QDir(dialogs_.folder).entryList(QDir::Files),
                 QStringList{"Song01_Track3_VTake5.wav"});
        QCOMPARE(
            trx5test::ReadFile((dialogs_.folder + "/Song01_Track3_VTake5.wav").toStdString()),
            trx5test::ReadFile((out.path() + "/stems/Song01_Track3_VTake5.wav").toStdString()));
    }

    // Exporting into a folder that holds files of the same names asks once;
    // no means nothing is written.
    void exportsIntoAFolderReplaceOnlyWhenTold() {
        QTemporaryDir card, out;
        MakeCard(card);
        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        dialogs_.folder = out.path();
        const QString all = "Export all takes of this song...";
        QScopedPointer<QMenu> menu(win.TakeMenu(0));
        Pick(MenuAction(menu.data(), all));
        QVERIFY(dialogs_.confirmations.isEmpty());
        const std::string first = out.path().toStdString() + "/Song01_Track1_VTake1.wav";
        trx5test::WriteFile(first, std::string("mine"));
        const QString app = QCoreApplication::applicationName() + ": ";

        dialogs_.confirmAnswer = false;
        Pick(MenuAction(menu.data(), all));
        QCOMPARE(dialogs_.confirmations,
                 QStringList{app + "Replace 2 existing files in " + out.path() + "?"});
        QCOMPARE(trx5test::ReadFile(first), trx5test::Bytes({'m', 'i', 'n', 'e'}));
        QScopedPointer<QMenu> takeMenu(win.TakeMenu(0));
        Pick(MenuAction(takeMenu.data(), "Export this take..."));
        QCOMPARE(dialogs_.confirmations.last(),
                 app + "Replace 1 existing file in " + out.path() + "?");
        QCOMPARE(trx5test::ReadFile(first), trx5test::Bytes({'m', 'i', 'n', 'e'}));

        dialogs_.confirmAnswer = true;
        Pick(MenuAction(menu.data(), all));
        QCOMPARE(dialogs_.confirmations.size(), 3);
        QCOMPARE(trx5test::ReadFile(first).size(), std::size_t(46 + 6 * kHiFiSamples * 2));
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // Abort stops between blocks: the stems finished before stay, whole, and
    // nothing half-written is left.
    void abortedStemsKeepWhatIsWhole() {
        QTemporaryDir card, out;
        MakeCard(card);
        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        // The first take has 6 blocks: abort in the second.
        connect(&win, &TMainWin::ProgressStep, &win, [&win](quint64 block, quint64) {
            if (block == 7) {
                QMetaObject::invokeMethod(win.AbortBtn, &QToolButton::click, Qt::QueuedConnection);
            }
        });
        dialogs_.folder = out.path();
        QScopedPointer<QMenu> menu(win.TakeMenu(0));
        Pick(MenuAction(menu.data(), "Export all takes of this song..."));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Song01_Track1_VTake1.wav"});
        QCOMPARE(FileSize((out.path() + "/Song01_Track1_VTake1.wav").toStdString()),
                 46LL + 6 * kHiFiSamples * 2);
        QVERIFY(!win.AbortBtn->isEnabled() && win.ExitBtn->isEnabled());
    }
};

QTEST_MAIN(FormatsTest)
#include "formats_win_test.moc"
