// The window's audition and the import preview heard through a private
// PulseAudio server, with the real sound output: the sink gets the mix (or
// the file) exactly, once, between silences.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "app/app_test_support.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "controls/volume.h"
#include "playback/audition.h"
#include "playback/preview.h"
#include "playback/qt_sound_output.h"
#include "sound_support.h"
#include "sound_test.h"

namespace {

using namespace std::chrono_literals;
using trx5sound::Samples;
using trx5sound::TrackPlay;

// Far longer than the server and the FIFO hold: once the sink has given no
// sound for this long, everything the player sent has been read.
constexpr auto kQuiet = 1500ms;

constexpr int kRate = 32000;
constexpr int kWaitMs = 120000;

// An audition stopped half-way: a song of about 2.4 s, stopped once half a
// second of it has been heard. The most that may follow the stop is what
// the stop itself takes and what the server and the FIFO already hold, a
// small part of the rest of the song.
constexpr int kStoppedSongBlocks = 150;
constexpr std::size_t kHeardBeforeStop = kRate / 2;
constexpr std::size_t kStopFrames = kRate / 4;

struct TempFolder {
    std::string path = trx5sound::MakeTempFolder("trx5soundtest-");
    ~TempFolder() { trx5sound::RemoveFolder(path); }
};

// Runs the event loop, as the program does, until `sender` raises `signal`;
// false when it has not after a generous while.
template <typename Sender, typename Signal>
bool RunUntil(Sender* sender, Signal signal) {
    QEventLoop loop;
    bool raised = false;
    QObject::connect(sender, signal, &loop, [&] {
        raised = true;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return raised;
}

int Slot(int track, int vtake) { return trx5::kVTakes * track + vtake; }

// One server for the whole program: the sound output connects to it once.
class WindowSound : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        sound_ = new trx5sound::PrivateSound;
        why_ = sound_->Start(kRate);
        if (why_.empty()) sound_->UseInThisProcess();
    }
    static void TearDownTestSuite() {
        delete sound_;
        sound_ = nullptr;
    }
    void SetUp() override {
        if (!why_.empty()) TRX5_NO_SOUND(why_);
    }

    // Reads the sink on until it has given no sound for a while.
    static void CaptureFrom(std::size_t from, Samples& captured) {
        trx5sound::FifoCapture& capture = sound_->Capture();
        ASSERT_TRUE(capture.WaitQuiet(kQuiet, 60s)) << "the sink did not fall silent";
        captured = capture.Copy(from, capture.Frames());
    }

    static inline trx5sound::PrivateSound* sound_ = nullptr;
    static inline std::string why_;
};

// Shows a song of three takes in the window, the longest `blocks` long, with
// the takes selected and the knobs turned; the mix they make.
Samples ShowSong(TMainWin& win, const std::string& card, int blocks) {
    trx5sound::WriteCard(card, false);
    std::vector<TrackPlay> tracks(4);
    tracks[0] = {trx5sound::WriteSineTake(card, 0, 1, false, blocks * 11 / 14, 9000, 6000, 73.3),
                 90, 20};
    tracks[2] = {trx5sound::WriteSineTake(card, 2, 0, false, blocks, 3000, 2000, 211), 127, 70};
    tracks[3] = {trx5sound::WriteSineTake(card, 3, 7, false, blocks / 2, 7000, 5000, 37), 100, 100};
    win.DirTreeChange(QString::fromStdString(card));
    EXPECT_EQ(win.SongNum->count(), 1);
    win.TakeBtns[Slot(0, 1)]->click();
    win.TakeBtns[Slot(2, 0)]->click();
    win.TakeBtns[Slot(3, 7)]->click();
    for (int t = 0; t < trx5::kTracks; ++t) {
        win.VolKnobs[t]->SetPosition(tracks[t].level);
        win.PanKnobs[t]->SetPosition(tracks[t].pan);
    }
    EXPECT_TRUE(win.AudBtn->isEnabled());
    return trx5sound::ExpectedMix(tracks, false);
}

TEST_F(WindowSound, AuditionPlaysTheMixExactlyOnce) {
    TempFolder card;
    FakeDialogs dialogs;
    TMainWin win(dialogs);
    win.show();
    const Samples expected = ShowSong(win, card.path, 140);
    ASSERT_FALSE(HasFailure());

    const std::size_t from = sound_->Capture().Frames();
    win.AudBtn->click();
    ASSERT_TRUE(win.Player().Playing()) << dialogs.messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(RunUntil(&win.Player(), &trx5::Audition::Stopped));
    EXPECT_TRUE(win.AudBtn->isEnabled() && !win.AudBtn->isChecked());
    Samples captured;
    ASSERT_NO_FATAL_FAILURE(CaptureFrom(from, captured));
    const std::string why = trx5sound::CheckSingleRun(captured, expected);
    EXPECT_TRUE(why.empty()) << why;
}

// Stopping an audition half-way, as a user does: a second click on the
// button, or closing the window. The sound stops at once, what was heard is
// the start of the mix, unbroken, and the window is ready again (or gone).
TEST_F(WindowSound, SecondClickStopsTheAuditionAtOnceAndItPlaysAgainWhole) {
    TempFolder card;
    FakeDialogs dialogs;
    TMainWin win(dialogs);
    win.show();
    const Samples expected = ShowSong(win, card.path, kStoppedSongBlocks);
    ASSERT_FALSE(HasFailure());
    trx5sound::FifoCapture& capture = sound_->Capture();

    std::size_t from = capture.Frames();
    QTest::mouseClick(win.AudBtn, Qt::LeftButton);
    ASSERT_TRUE(win.Player().Playing()) << dialogs.messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return capture.HeardSince(from) >= kHeardBeforeStop; }, kWaitMs));
    const std::size_t stopAt = capture.Frames() - from;
    QTest::mouseClick(win.AudBtn, Qt::LeftButton);
    ASSERT_TRUE(RunUntil(&win.Player(), &trx5::Audition::Stopped));
    EXPECT_TRUE(win.AudBtn->isEnabled() && !win.AudBtn->isChecked());
    EXPECT_TRUE(win.ExitBtn->isEnabled());
    Samples captured;
    ASSERT_NO_FATAL_FAILURE(CaptureFrom(from, captured));
    const trx5sound::StoppedRun heard = trx5sound::CheckStoppedRun(captured, expected);
    EXPECT_TRUE(heard.why.empty()) << heard.why;
    EXPECT_LE(heard.end, stopAt + kStopFrames)
        << "sound went on for " << heard.end - stopAt << " frames after the click";

    // The next click plays the song from its start to its end.
    from = capture.Frames();
    QTest::mouseClick(win.AudBtn, Qt::LeftButton);
    ASSERT_TRUE(win.Player().Playing());
    ASSERT_TRUE(RunUntil(&win.Player(), &trx5::Audition::Stopped));
    ASSERT_NO_FATAL_FAILURE(CaptureFrom(from, captured));
    const std::string why = trx5sound::CheckSingleRun(captured, expected);
    EXPECT_TRUE(why.empty()) << why;
}

TEST_F(WindowSound, ClosingTheWindowStopsTheAuditionAtOnce) {
    TempFolder card;
    FakeDialogs dialogs;
    auto win = std::make_unique<TMainWin>(dialogs);
    win->show();
    const Samples expected = ShowSong(*win, card.path, kStoppedSongBlocks);
    ASSERT_FALSE(HasFailure());
    trx5sound::FifoCapture& capture = sound_->Capture();

    const std::size_t from = capture.Frames();
    QTest::mouseClick(win->AudBtn, Qt::LeftButton);
    ASSERT_TRUE(win->Player().Playing());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return capture.HeardSince(from) >= kHeardBeforeStop; }, kWaitMs));
    const std::size_t stopAt = capture.Frames() - from;
    EXPECT_TRUE(win->close());
    EXPECT_FALSE(win->isVisible());
    EXPECT_FALSE(win->Player().Playing());
    // The window goes with its sound output, as at the end of the program.
    win.reset();
    QCoreApplication::processEvents();
    Samples captured;
    ASSERT_NO_FATAL_FAILURE(CaptureFrom(from, captured));
    const trx5sound::StoppedRun heard = trx5sound::CheckStoppedRun(captured, expected);
    EXPECT_TRUE(heard.why.empty()) << heard.why;
    EXPECT_LE(heard.end, stopAt + kStopFrames)
        << "sound went on for " << heard.end - stopAt << " frames after the close";
}

TEST_F(WindowSound, PreviewPlaysTheFileToItsLastFrame) {
    TempFolder folder;
    // The file's end is followed by no more than one buffer of silence.
    const int frames = 125 * 512 - 1;
    Samples file(2 * std::size_t(frames));
    for (int f = 0; f < frames; ++f) {
        file[2 * f] = std::int16_t(-6000 - (f * 41) % 5000);
        file[2 * f + 1] = std::int16_t(5000 + (f * 29) % 7000);
    }
    const std::string wav = folder.path + "tone.wav";
    trx5sound::WriteWav(wav, 2, kRate, file);

    TGetWin getWin;
    getWin.SelectedFile = QString::fromStdString(wav);
    const std::size_t from = sound_->Capture().Frames();
    getWin.AudBtnMouseDown();
    ASSERT_TRUE(getWin.Player().Playing());
    ASSERT_TRUE(RunUntil(&getWin.Player(), &trx5::Preview::Stopped));
    Samples captured;
    ASSERT_NO_FATAL_FAILURE(CaptureFrom(from, captured));
    const std::string why = trx5sound::CheckSingleRun(captured, file);
    EXPECT_TRUE(why.empty()) << why;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int code = 1;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }
    // As the window program does, once the sound outputs are gone.
    trx5::EndProcessAfterSound(code);
    return code;
}
