// The window's Audition button and the import dialog's preview form, played
// through an output that plays nothing, with pictures of both.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <iterator>
#include <memory>
#include <vector>

#include "app/drive_combo.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "app_test_support.h"
#include "controls/bitpanel.h"
#include "controls/cgauge.h"
#include "controls/copendlg.h"
#include "controls/dirtreeview.h"
#include "controls/volume.h"
#include "convert/audio_check.h"
#include "convert/demo_card.h"
#include "playback/fake_sound_output.h"
#include "playback/playback_test_support.h"
#include "playback/preview.h"
#include "support/test_support.h"

namespace {

using trx5test::Knobs;

// The commands busy mode takes away, as far as a shown song with an import
// destination enables them.
std::vector<QWidget*> BusyCommands(const TMainWin& win) {
    QWidget* const commands[] = {win.Take2WavBtn, win.Wav2TakeBtn, win.TreePanel,  win.ExitBtn,
                                 win.BtnsPanel,   win.SortBtn,     win.NewFldrBtn, win.SongNum,
                                 win.DriveCombo,  win.RefBtn,      win.HelpBtn};
    return {std::begin(commands), std::end(commands)};
}

void ExpectBusy(const TMainWin& win, bool busy) {
    for (QWidget* w : BusyCommands(win)) {
        QVERIFY2(w->isEnabled() == !busy, qPrintable(w->objectName()));
    }
    // The audition's own button and the knobs stay usable.
    QVERIFY(win.AudBtn->isEnabled());
    for (int t = 0; t < trx5::kTracks; ++t) {
        QVERIFY(win.VolKnobs[t]->isEnabled() && win.PanKnobs[t]->isEnabled());
    }
}

// The window after an audition has stopped, whichever way.
void ExpectStopped(TMainWin& win, const FakeSoundOutput& out) {
    QVERIFY(!win.Player().Playing());
    QCOMPARE(win.Gauge->Progress(), 0);
    QVERIFY(win.InfoText->toPlainText().isEmpty());
    ExpectBusy(win, false);
    if (QTest::currentTestFailed()) return;
    QVERIFY(!win.AudBtn->isChecked());
    QVERIFY(!out.IsOpen());
}

// Makes `path` the current item of the dialog's file list, as a click does;
// the folder is read in the background first.
bool MakeCurrent(QFileDialog* dialog, const QString& path) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (model == nullptr) return false;
    if (!QTest::qWaitFor([&] { return model->index(path).isValid(); })) return false;
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->isVisible() && view->model() == model && !qobject_cast<QHeaderView*>(view)) {
            view->setCurrentIndex(model->index(path));
            return true;
        }
    }
    return false;
}

trx5test::Samples Sine(int frames, int channels) {
    trx5test::Samples s(std::size_t(frames) * channels);
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = std::int16_t(9000 * std::sin(double(i / channels) * 0.05));
    }
    return s;
}

}  // namespace

class AuditionWinTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::string card_;

    // Song 01 HiFi with takes 1-1 (40 blocks) and 2-3 (25 blocks), song 02
    // LONG with take 1-1 (20 blocks).
    void MakeCard() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        card_ = dir_->path().toStdString() + "/";
        trx5test::MakeMachineFile(card_);
        trx5test::MakeSongFile(card_, 0, false);
        trx5test::MakeSongFile(card_, 1, true);
        trx5test::MakeTake(card_, 0, 0, 0, false, 40, 1);
        trx5test::MakeTake(card_, 0, 1, 2, false, 25, 2);
        trx5test::MakeTake(card_, 1, 0, 0, true, 20, 3);
    }

    std::string Path(const char* name) const { return dir_->path().toStdString() + "/" + name; }

    // Song 01 with 1-1 and 2-3 selected and track 1 as import destination.
    void ShowSong(TMainWin& win, FakeSoundOutput& out) {
        win.SetSoundOutput(out);
        win.DirTreeChange(dir_->path());
        win.TakeBtns[0]->click();
        win.TakeBtns[8 + 2]->click();
        win.Sel1Btn->click();
        QVERIFY(win.AudBtn->isEnabled());
    }

    trx5::Audition::TakePaths Selected(const TMainWin& win) const {
        trx5::Audition::TakePaths paths;
        for (int t = 0; t < trx5::kTracks; ++t) {
            if (win.SelTake[t] >= 0) paths[t] = win.TakeFiles[8 * t + win.SelTake[t]];
        }
        return paths;
    }

  private slots:
    void init() {
        dialogs_ = FakeDialogs();
        MakeCard();
    }

    void auditionPlaysInBusyModeAndStopsOnTheSecondClick() {
        FakeSoundOutput out;
        TMainWin win(dialogs_);
        ShowSong(win, out);
        win.AudBtn->click();

        QVERIFY(win.AudBtn->isChecked());
        ExpectBusy(win, true);
        QCOMPARE(win.InfoText->toPlainText(), QString("Audio playing..."));
        QCOMPARE(out.format.sampleRate, 32000);
        QCOMPARE(out.queued.size(), std::size_t(16));
        QCOMPARE(win.Gauge->Progress(), 16 * 100 / 40);

        // A knob turned now is heard from the next refill on.
        const trx5test::SongMix song(Selected(win), false);
        const Knobs before{};
        win.Vol1->SetPosition(20);
        win.Pan2->SetPosition(0);
        Knobs after{};
        after[0].level = 20;
        after[1].pan = 0;
        out.Play(1);
        QCOMPARE(out.queued.size(), std::size_t(17));
        QVERIFY(out.queued[15].samples == song.Block(15, before));
        QVERIFY(out.queued[16].samples == song.Block(16, after));
        QCOMPARE(win.Gauge->Progress(), 17 * 100 / 40);

        win.AudBtn->click();
        QTRY_VERIFY(!win.Player().Playing());
        ExpectStopped(win, out);
        QCOMPARE(out.queued.size(), std::size_t(17));
    }

    void auditionOfALongSongStopsByItselfAtTheEnd() {
        FakeSoundOutput out;
        TMainWin win(dialogs_);
        win.SetSoundOutput(out);
        win.DirTreeChange(dir_->path());
        win.SongNum->setCurrentIndex(win.SongNum->findText("02 LONG"));
        win.TakeBtns[0]->click();
        win.Sel1Btn->click();
        win.AudBtn->click();
        QCOMPARE(out.format.sampleRate, 16000);

        QList<int> gauge;
        for (int i = 0; i < 100 && win.Player().Playing(); ++i) {
            out.Play(1);
            gauge << win.Gauge->Progress();
        }
        QCoreApplication::processEvents();
        ExpectStopped(win, out);
        QCOMPARE(out.queued.size(), std::size_t(20 + 16));
        QCOMPARE(gauge.first(), 17 * 100 / 20);
        const trx5test::SongMix song(Selected(win), true);
        for (std::size_t i = 0; i < out.queued.size(); ++i) {
            QVERIFY(out.queued[i].samples == song.Block(int(i), Knobs{}));
        }
    }

    void anOutputThatCannotBeOpenedIsReported() {
        FakeSoundOutput out;
        out.failOpen = true;
        TMainWin win(dialogs_);
        ShowSong(win, out);
        win.AudBtn->click();

        QCOMPARE(dialogs_.messages, QStringList{"The sound output could not be opened."});
        QVERIFY(!win.AudBtn->isChecked());
        ExpectBusy(win, false);
        QVERIFY(win.InfoText->toPlainText().isEmpty());
        QVERIFY(out.queued.empty());
    }

    // The button is taken away for the length of an export or an import, and
    // given back after.
    void noAuditionDuringAConversion() {
        FakeSoundOutput out;
        TMainWin win(dialogs_);
        win.SetSoundOutput(out);
        win.DirTreeChange(dir_->path());
        win.TakeBtns[0]->click();
        win.TakeBtns[8 + 4]->click();  // 2-5 holds no take yet
        win.Sel2Btn->click();
        QList<bool> duringSteps;
        connect(&win, &TMainWin::ProgressStep, &win,
                [&] { duringSteps << win.AudBtn->isEnabled(); });

        dialogs_.save = SaveChoice{dir_->path() + "/mix.wav", false};
        win.Take2WavBtn->click();
        QCOMPARE(duringSteps.size(), 40);
        QVERIFY(!duringSteps.contains(true));
        QVERIFY(win.AudBtn->isEnabled());

        duringSteps.clear();
        WriteWav(Path("in.wav"), 1, 32000, 5000, [](int f, int) { return std::int16_t(f * 3); });
        dialogs_.open = QString::fromStdString(Path("in.wav"));
        win.Wav2TakeBtn->click();
        QVERIFY(dialogs_.messages.isEmpty());
        QVERIFY(!duringSteps.isEmpty());
        QVERIFY(!duringSteps.contains(true));
        QVERIFY(win.AudBtn->isEnabled());
        QVERIFY(out.queued.empty());
    }

    void audBtnNeedsASelectedTakeWithAFile() {
        struct Case {
            const char* name;
            QList<int> clicks;  // grid slots clicked in turn
            bool removeTake11;
            bool enabled;
        };
        const Case cases[] = {
            {"nothing selected", {}, false, false},
            {"a take", {0}, false, true},
            {"an empty slot", {1}, false, false},
            {"a take selected and put up again", {0, 0}, false, false},
            {"an empty slot beside a take", {1, 8 + 2}, false, true},
            {"a take whose file has gone", {0}, true, false},
        };
        for (const Case& c : cases) {
            MakeCard();
            TMainWin win(dialogs_);
            win.DirTreeChange(dir_->path());
            if (c.removeTake11)
                QVERIFY(QFile::remove(QString::fromStdString(card_ + trx5::TakeFileName(0, 0, 0))));
            for (int slot : c.clicks) win.TakeBtns[slot]->click();
            QVERIFY2(win.AudBtn->isEnabled() == c.enabled, c.name);
        }
    }

    void previewFormDescribesTheSelectedFile() {
        struct Case {
            const char* name;
            trx5test::Bytes bytes;
            QStringList lines;
        };
        const Case cases[] = {
            {"stereo.wav",
             trx5test::WavBytes(2, 44100, 16, trx5test::Samples(2 * 88200)),
             {"Sampling Rate : 44100.00Hz", "Sampling Frames : 88200 (stereo)  0:00:02:000",
              "Bits / Word : 16"}},
            {"mono.aif",
             trx5test::AiffBytes(1, 22050, trx5::RateToExtended(22050), trx5test::Samples(22050)),
             {"Sampling Rate : 22050.00Hz", "Sampling Frames : 22050 (mono)  0:00:01:000",
              "Bits / Word : 16"}},
            {"three.wav",
             trx5test::WavBytes(3, 8000, 8, trx5test::Samples(3 * 4000)),
             {"Sampling Rate : 8000.00Hz", "Sampling Frames : 4000 (3 channels)  0:00:00:500",
              "Bits / Word : 8"}},
            {"text.wav",
             trx5test::Bytes{'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'},
             {"Sampling Rate : ", "Sampling Frames : ", "Bits / Word : "}},
        };
        TGetWin form;
        auto lines = [&] {
            return QStringList{form.FsLabel->text(), form.FramesLabel->text(),
                               form.BitLabel->text()};
        };
        for (const Case& c : cases) {
            trx5test::WriteFile(Path(c.name), c.bytes);
            form.SelectedFile = QString::fromStdString(Path(c.name));
            form.ShowFileInfo();
            QCOMPARE(lines(), c.lines);
        }

        // A folder, or no file at all, clears the lines, and there is
        // nothing to hear; a file again can be heard.
        const QStringList captions = {TGetWin().FsLabel->text(), TGetWin().FramesLabel->text(),
                                      TGetWin().BitLabel->text()};
        for (const QString& selected : {dir_->path(), QString()}) {
            form.SelectedFile = QString::fromStdString(Path("stereo.wav"));
            form.ShowFileInfo();
            QVERIFY(form.AudBtn->isEnabled());
            form.SelectedFile = selected;
            form.ShowFileInfo();
            QCOMPARE(lines(), captions);
            QVERIFY(!form.AudBtn->isEnabled());
        }
    }

    void selectionInTheImportDialogReachesThePreviewForm() {
        TMainWin win(dialogs_);
        TGetWin form;
        win.AttachForms(&form, nullptr);
        trx5test::WriteFile(Path("a.wav"), trx5test::WavBytes(1, 32000, 16, Sine(64000, 1)));
        const QString path = QString::fromStdString(Path("a.wav"));
        win.WavOpen->SetFileName(path);
        win.WavOpenSelectionChange();
        QCOMPARE(form.SelectedFile, path);
        QCOMPARE(form.FramesLabel->text(), QString("Sampling Frames : 64000 (mono)  0:00:02:000"));
    }

    void holdingThePreviewButtonPlaysTheFile() {
        FakeSoundOutput out;
        TMainWin win(dialogs_);
        TGetWin form;
        win.AttachForms(&form, nullptr);
        form.SetSoundOutput(out);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // Nothing selected: nothing plays.
        QTest::mousePress(form.AudBtn, Qt::LeftButton);
        QTest::mouseRelease(form.AudBtn, Qt::LeftButton);
        QCOMPARE(out.opens, 0);

        trx5test::WriteFile(Path("a.wav"), trx5test::WavBytes(2, 44100, 16, Sine(88200, 2)));
        form.SelectedFile = QString::fromStdString(Path("a.wav"));
        QTest::mousePress(form.AudBtn, Qt::LeftButton);
        QVERIFY(out.IsOpen());
        QCOMPARE(out.format.channels, 2);
        QCOMPARE(out.format.sampleRate, 44100);
        QCOMPARE(out.queued.size(), std::size_t(16));
        out.Play(4);
        QTest::mouseRelease(form.AudBtn, Qt::LeftButton);
        QVERIFY(!out.IsOpen());
        QCOMPARE(out.closes, 1);
        QVERIFY(!form.Player().Playing());
        QCoreApplication::processEvents();
        QCOMPARE(out.queued.size(), std::size_t(20));
        QVERIFY(dialogs_.messages.isEmpty());

        out.failOpen = true;
        QTest::mousePress(form.AudBtn, Qt::LeftButton);
        QTest::mouseRelease(form.AudBtn, Qt::LeftButton);
        QCOMPARE(dialogs_.messages, QStringList{"The sound output could not be opened."});
    }

    // The lines and the listen button follow the file that Open would take:
    // a name typed after a click, and a typed name that is no file.
    void previewFollowsTheNameTyped() {
        QTemporaryDir files;
        const QString t = files.path() + "/t.wav";
        const QString u = files.path() + "/u.wav";
        trx5test::WriteFile(t.toStdString(), trx5test::WavBytes(2, 44100, 16, Sine(88200, 2)));
        trx5test::WriteFile(u.toStdString(), trx5test::WavBytes(1, 22050, 16, Sine(22050, 1)));
        FakeSoundOutput out;
        TMainWin win(dialogs_);
        TGetWin form;
        win.AttachForms(&form, nullptr);
        form.SetSoundOutput(out);
        win.WavOpen->SetSubForm(&form);
        win.WavOpen->SetInitialDir(files.path());
        QStringList rates;
        QList<int> heard;  // rate of each playback
        bool listenAfterNothing = true;
        connect(win.WavOpen, &CustDlgs::TCOpenDialog::OnShow, &win, [&] {
            QFileDialog* dialog = win.WavOpen->Dialog();
            QVERIFY(MakeCurrent(dialog, t));
            rates << form.FsLabel->text();
            // The name box, as the user types into it: it has the focus.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            dialog->activateWindow();
            name->setFocus();
            QTRY_VERIFY(name->hasFocus());
            name->selectAll();
            QTest::keyClicks(name, "u.wav");
            rates << form.FsLabel->text();
            QTest::mousePress(form.AudBtn, Qt::LeftButton);
            heard << out.format.sampleRate;
            QTest::mouseRelease(form.AudBtn, Qt::LeftButton);
            name->selectAll();
            QTest::keyClicks(name, "nothing.wav");
            rates << form.FsLabel->text();
            listenAfterNothing = form.AudBtn->isEnabled();
            dialog->reject();
        });
        QVERIFY(!win.WavOpen->Execute());
        QCOMPARE(rates, QStringList({"Sampling Rate : 44100.00Hz", "Sampling Rate : 22050.00Hz",
                                     TGetWin().FsLabel->text()}));
        QCOMPARE(heard, QList<int>{22050});
        QVERIFY(!listenAfterNothing);
    }

    // The import dialog with the preview form at its bottom, describing the
    // WAV file selected in it.
    void screenshotOfTheImportDialog() {
        QTemporaryDir files;
        QVERIFY(files.isValid());
        const QString wav = files.path() + "/guitar-take.wav";
        trx5test::WriteFile(wav.toStdString(), trx5test::WavBytes(2, 44100, 16, Sine(88200, 2)));
        trx5test::WriteFile((files.path() + "/vocals.wav").toStdString(),
                            trx5test::WavBytes(1, 32000, 16, Sine(48000, 1)));

        TMainWin win(dialogs_);
        TGetWin form;
        win.AttachForms(&form, nullptr);
        win.WavOpen->SetSubForm(&form);
        form.SetSong(false, true);  // into one take of a HiFi song, as the import sets it
        win.WavOpen->SetInitialDir(files.path());
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));

        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        const QString file = QStringLiteral(TRX5_SCREENSHOT_DIR "/import-dialog.png");
        bool saved = false;
        bool formVisible = false;
        bool selectionReachedForm = false;
        connect(win.WavOpen, &CustDlgs::TCOpenDialog::OnShow, &win, [&] {
            QFileDialog* dialog = win.WavOpen->Dialog();
            dialog->selectFile(wav);
            selectionReachedForm = MakeCurrent(dialog, wav) && form.SelectedFile == wav;
            QTest::qWait(100);
            QWidget* window = dialog->window();
            const QRect formArea(form.mapTo(window, QPoint(0, 0)), form.size());
            formVisible = form.isVisible() && window->rect().contains(formArea);
            saved = window->grab().save(file);
            dialog->reject();
        });
        QVERIFY(!win.WavOpen->Execute());
        QVERIFY(selectionReachedForm);
        QVERIFY(saved);
        QVERIFY(formVisible);
        QCOMPARE(form.FsLabel->text(), QString("Sampling Rate : 44100.00Hz"));
    }

    // The window while the demo song plays: the gauge part-way, the line
    // "Audio playing...", the button down and the knobs turned.
    void screenshotOfAnAudition() {
        QTemporaryDir dir;
        const QString card = dir.path() + "/TRX5 card";
        QVERIFY(trx5::MakeDemoCard(card.toStdString()).ok());

        FakeSoundOutput out;
        TMainWin win(dialogs_);
        win.SetSoundOutput(out);
        win.Pan1->SetPosition(20);
        win.Pan4->SetPosition(80);
        win.Vol2->SetPosition(70);
        win.DirTree->SetDirectory(card);
        win.SongNum->setCurrentIndex(win.SongNum->findText("01 HiFi"));
        for (int slot : {0, 8, 16, 24 + 2}) win.TakeBtns[slot]->click();
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));

        win.AudBtn->click();
        out.Play(200);
        QTest::qWait(50);
        QVERIFY(win.Player().Playing());
        QVERIFY(win.Gauge->Progress() > 20 && win.Gauge->Progress() < 80);
        QVERIFY(win.AudBtn->isChecked());
        QCOMPARE(win.InfoText->toPlainText(), QString("Audio playing..."));

        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        const QString file = QStringLiteral(TRX5_SCREENSHOT_DIR "/audition.png");
        QVERIFY(win.grab().save(file));

        win.AudBtn->click();
        QTRY_VERIFY(!win.Player().Playing());
    }
};

QTEST_MAIN(AuditionWinTest)
#include "audition_win_test.moc"
