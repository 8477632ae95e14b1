// The window's audition and the import preview heard through a private
// PulseAudio server, with the real sound output: the sink gets the mix (or
// the file) exactly, once, between silences.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>
#include <string>
#include <vector>

#include "app/app_test_support.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "controls/volume.h"
#include "playback/audition.h"
#include "playback/preview.h"
#include "sound_support.h"

namespace {

using namespace std::chrono_literals;
using trx5sound::Samples;
using trx5sound::TrackPlay;

// Far longer than the server and the FIFO hold: once the sink has given no
// sound for this long, everything the player sent has been read.
constexpr auto kQuiet = 1500ms;

constexpr int kRate = 32000;
constexpr int kWaitMs = 120000;

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
        if (!why_.empty()) GTEST_SKIP() << why_;
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

TEST_F(WindowSound, AuditionPlaysTheMixExactlyOnce) {
    TempFolder card;
    trx5sound::WriteCard(card.path, false);
    std::vector<TrackPlay> tracks(4);
    tracks[0] = {trx5sound::WriteSineTake(card.path, 0, 1, false, 110, 9000, 6000, 73.3), 90, 20};
    tracks[2] = {trx5sound::WriteSineTake(card.path, 2, 0, false, 140, 3000, 2000, 211), 127, 70};
    tracks[3] = {trx5sound::WriteSineTake(card.path, 3, 7, false, 70, 7000, 5000, 37), 100, 100};
    const Samples expected = trx5sound::ExpectedMix(tracks, false);

    FakeDialogs dialogs;
    TMainWin win(dialogs);
    win.show();
    win.DirTreeChange(QString::fromStdString(card.path));
    ASSERT_EQ(win.SongNum->count(), 1);
    win.TakeBtns[Slot(0, 1)]->click();
    win.TakeBtns[Slot(2, 0)]->click();
    win.TakeBtns[Slot(3, 7)]->click();
    for (int t = 0; t < trx5::kTracks; ++t) {
        win.VolKnobs[t]->SetPosition(tracks[t].level);
        win.PanKnobs[t]->SetPosition(tracks[t].pan);
    }
    ASSERT_TRUE(win.AudBtn->isEnabled());

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
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
