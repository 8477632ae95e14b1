// Measures the window's audition through a real sound server: the delay from
// a knob change to the change in the sound, the gaps (underruns) while the
// knobs turn and the window repaints, and the processor time an audition
// takes. The server is started by scripts/measure-audio.sh; its sink's FIFO
// is read here at the pace of a sound card.
//
//   trx5_audio_measure --fifo PATH --rate 32000|16000 [--seconds N]
//                      [latency] [underruns] [cpu]
#include <sys/resource.h>

#include <QApplication>
#include <QAudioDevice>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/dialog_provider.h"
#include "app/main_win.h"
#include "codec/take_codec.h"
#include "codec/track_mix.h"
#include "controls/volume.h"
#include "playback/audition.h"
#include "sound_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using trx5sound::FifoCapture;
using trx5sound::Samples;

constexpr int kPipeBytes = 4096;  // one page: the sink runs ahead by one card period at most
constexpr int kWaitMs = 600000;

struct Options {
    std::string fifo;
    int rate = 32000;
    int seconds = 60;
    bool latency = false;
    bool underruns = false;
    bool cpu = false;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A take whose samples all equal `value`.
std::string WriteConstantTake(const std::string& card, bool longMode, int blocks,
                              std::int16_t value) {
    return trx5sound::WriteSineTake(card, 0, 0, longMode, blocks, value, 0, 1);
}

// A window showing song 1 of `card` with the takes of the given tracks
// (V-Take 1) selected.
class Window {
  public:
    Window(const std::string& card, int tracks) : win_(dialogs_) {
        win_.show();
        win_.DirTreeChange(QString::fromStdString(card));
        for (int t = 0; t < tracks; ++t) win_.TakeBtns[trx5::SlotIndex(t, 0)]->click();
    }
    TMainWin& win() { return win_; }

    // Presses Audition; false when it did not start.
    bool Start() {
        win_.AudBtn->click();
        return win_.Player().Playing();
    }
    // Runs the event loop until the audition has stopped; false when it
    // has not after a generous while.
    bool RunUntilStopped() {
        if (!win_.Player().Playing()) return true;
        QEventLoop loop;
        bool stopped = false;
        QObject::connect(&win_.Player(), &trx5::Audition::Stopped, &loop, [&] {
            stopped = true;
            loop.quit();
        });
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (!stopped) std::fprintf(stderr, "trx5_audio_measure: the audition did not stop\n");
        return stopped;
    }
    // Turns a knob as a drag does.
    void SetLevel(int track, int value) {
        win_.VolKnobs[track]->SetPosition(value);
        win_.Vol1Changed(win_.VolKnobs[track], value);
    }
    void SetPan(int track, int value) {
        win_.PanKnobs[track]->SetPosition(value);
        win_.Pan1Changed(win_.PanKnobs[track], value);
    }

  private:
    QtDialogProvider dialogs_;
    TMainWin win_;
};

// Runs the event loop, as the program does, for `ms`.
void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats StatsOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return {};
    return {v.front(), v[v.size() / 2], v.back()};
}

// (a) Plays a constant take on track 1 and switches its level between two
// positions at uneven moments; for each switch, the delay from the moment
// (and the frames the card had read by then) to the first frame of the new
// level in the captured sound.
bool MeasureLatency(FifoCapture& capture, const std::string& card, bool longMode) {
    constexpr int kChanges = 12;
    constexpr std::int16_t kValue = 12000;
    const int spb = trx5::SamplesPerBlock(longMode);
    const int blocks = (kChanges + 4) * capture.Rate() / spb;
    WriteConstantTake(card, longMode, blocks, kValue);
    const std::int16_t decoded =
        trx5sound::DecodeTake(card + trx5::TakeFileName(0, 0, 0), longMode)[1];
    auto frameAt = [&](int level) {
        std::int16_t frame[2] = {0, 0};
        trx5::MixTrackBlock(frame, &decoded, 1, level, trx5::kCentrePan);
        return std::pair<std::int16_t, std::int16_t>(frame[0], frame[1]);
    };

    Window window(card, 1);
    const std::size_t from = capture.Frames();
    if (!window.Start()) return false;
    // Steady sound first.
    Pause(1500);

    std::vector<std::size_t> readAt;
    std::vector<int> levels;
    for (int k = 0; k < kChanges; ++k) {
        const int level = k % 2 == 0 ? 60 : trx5::kUnityLevel;
        window.SetLevel(0, level);
        readAt.push_back(capture.FramesPlayed());
        levels.push_back(level);
        // Uneven spacing, so the changes fall at different points of the
        // refill cycle.
        Pause(700 + (k * 137) % 300);
    }
    window.win().AudBtn->click();  // stop
    if (!window.RunUntilStopped()) return false;
    capture.WaitQuiet(std::chrono::milliseconds(1500), std::chrono::milliseconds(kWaitMs));
    const Samples s = capture.Copy(from, capture.Frames());

    std::vector<double> ms;
    int notFound = 0;
    for (int k = 0; k < kChanges; ++k) {
        const auto want = frameAt(levels[k]);
        std::size_t f = readAt[k] - from;
        while (f < s.size() / 2 && !(s[2 * f] == want.first && s[2 * f + 1] == want.second)) ++f;
        if (f >= s.size() / 2) {
            ++notFound;
            continue;
        }
        ms.push_back(double(f - (readAt[k] - from)) * 1000.0 / capture.Rate());
    }
    const Stats st = StatsOf(ms);
    // A gap (underrun) pushes all later sound back and adds to the delay.
    const trx5sound::Gaps gaps = trx5sound::FindGaps(s);
    const double buffers = 1000.0 * trx5::Audition::kBuffers * spb / capture.Rate();
    std::printf(
        "latency %s: knob change to sound, %zu changes: min %.1f ms, median %.1f ms, max %.1f ms"
        " (target <= %.0f ms = 16 buffers %.0f ms + 50 ms); %zu gaps inside the sound%s\n",
        longMode ? "LONG" : "HiFi", ms.size(), st.min, st.median, st.max, buffers + 50, buffers,
        gaps.runs, notFound > 0 ? " -- some changes never reached the sound" : "");
    return true;
}

// Four takes of `seconds` whose mix is never silent while no level is 0:
// every sample is positive, so each track adds to at least one side.
void WriteFourTakes(const std::string& card, bool longMode, int seconds) {
    const int blocks =
        (seconds * trx5::SampleRate(longMode) + trx5::SamplesPerBlock(longMode) - 1) /
        trx5::SamplesPerBlock(longMode);
    for (int t = 0; t < trx5::kTracks; ++t) {
        trx5sound::WriteSineTake(card, t, 0, longMode, blocks, 6000 + 1000 * t, 3500,
                                 40.0 + 31.0 * t);
    }
}

// (b) A four-track audition while all eight knobs turn every 20 ms and the
// window repaints every 16 ms; counts silent gaps inside the sound.
bool MeasureUnderruns(FifoCapture& capture, const std::string& card, bool longMode, int seconds) {
    WriteFourTakes(card, longMode, seconds);
    Window window(card, trx5::kTracks);
    int step = 0;
    QTimer knobs;
    QObject::connect(&knobs, &QTimer::timeout, [&] {
        ++step;
        for (int t = 0; t < trx5::kTracks; ++t) {
            // Triangle sweeps: levels 10..127 (never 0), pans 0..100.
            const int l = (step * (3 + t)) % 234;
            const int p = (step * (2 + t) + 25 * t) % 200;
            window.SetLevel(t, 10 + (l < 117 ? l : 234 - l));
            window.SetPan(t, p < 100 ? p : 200 - p);
        }
    });
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        window.win().repaint();
        window.win().update();
    });

    const std::size_t from = capture.Frames();
    if (!window.Start()) return false;
    knobs.start(20);
    repaint.start(16);
    if (!window.RunUntilStopped()) return false;
    knobs.stop();
    repaint.stop();
    capture.WaitQuiet(std::chrono::milliseconds(1500), std::chrono::milliseconds(kWaitMs));
    const Samples s = capture.Copy(from, capture.Frames());
    const trx5sound::Gaps gaps = trx5sound::FindGaps(s);
    const int spb = trx5::SamplesPerBlock(longMode);
    const std::size_t expected = std::size_t(window.win().Player().Blocks()) * spb;
    std::printf(
        "underruns %s: %d s four-track audition, knobs turned every 20 ms, repaint every 16 ms: "
        "%zu gaps (%zu silent frames) inside the sound; sound %zu frames of %zu expected "
        "(target: no gaps)\n",
        longMode ? "LONG" : "HiFi", seconds, gaps.runs, gaps.frames, gaps.soundFrames, expected);
    return true;
}

// (c) Processor time of the whole program during a four-track audition,
// less the time of the thread that reads the FIFO (it stands for the sound
// card, not the program).
bool MeasureCpu(FifoCapture& capture, const std::string& card, bool longMode, int seconds) {
    WriteFourTakes(card, longMode, seconds);
    Window window(card, trx5::kTracks);
    Pause(200);
    const double cpu0 = CpuSeconds();
    const double reader0 = capture.ThreadCpuSeconds();
    const auto t0 = Clock::now();
    if (!window.Start()) return false;
    if (!window.RunUntilStopped()) return false;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double all = CpuSeconds() - cpu0;
    const double reader = capture.ThreadCpuSeconds() - reader0;
    std::printf(
        "cpu %s: %d s four-track audition: %.2f s of processor in %.1f s = %.2f%% of one core "
        "(%.2f%% with the FIFO reader) (target < 2%%)\n",
        longMode ? "LONG" : "HiFi", seconds, all - reader, wall, 100 * (all - reader) / wall,
        100 * all / wall);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fifo" && i + 1 < argc) {
            o.fifo = argv[++i];
        } else if (a == "--rate" && i + 1 < argc) {
            o.rate = std::atoi(argv[++i]);
        } else if (a == "--seconds" && i + 1 < argc) {
            o.seconds = std::atoi(argv[++i]);
        } else if (a == "latency") {
            o.latency = true;
        } else if (a == "underruns") {
            o.underruns = true;
        } else if (a == "cpu") {
            o.cpu = true;
        } else {
            return false;
        }
    }
    return !o.fifo.empty() && (o.rate == 32000 || o.rate == 16000) && o.seconds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: trx5_audio_measure --fifo PATH --rate 32000|16000 [--seconds N] "
                     "[latency] [underruns] [cpu]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window would show a message box it waits on; say so here instead.
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        std::fprintf(stderr, "trx5_audio_measure: no sound output\n");
        return 1;
    }
    FifoCapture capture;
    if (const std::string why = capture.Open(options.fifo, options.rate, kPipeBytes);
        !why.empty()) {
        std::fprintf(stderr, "trx5_audio_measure: %s\n", why.c_str());
        return 1;
    }
    capture.Start();
    std::printf("sink %d Hz, FIFO of %d bytes (%.0f ms)\n", options.rate, capture.PipeBytes(),
                1000.0 * capture.PipeBytes() / 4 / options.rate);
    std::fflush(stdout);

    const bool longMode = options.rate == 16000;
    const std::string card = trx5sound::MakeTempFolder("trx5measure-");
    trx5sound::WriteCard(card, longMode);
    bool ok = true;
    if (ok && options.latency) ok = MeasureLatency(capture, card, longMode);
    std::fflush(stdout);
    if (ok && options.underruns) ok = MeasureUnderruns(capture, card, longMode, options.seconds);
    std::fflush(stdout);
    if (ok && options.cpu) ok = MeasureCpu(capture, card, longMode, options.seconds);
    std::fflush(stdout);
    capture.Stop();
    trx5sound::RemoveFolder(card);
    if (!ok) std::fprintf(stderr, "trx5_audio_measure: the audition did not start\n");
    return ok ? 0 : 1;
}
