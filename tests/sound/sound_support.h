// Real sound for the sound tests and the measuring program: a private
// PulseAudio server whose only sink writes into a FIFO, the FIFO read back at
// the pace of a sound card, and the songs, files and mixes the sound is
// checked against. No test framework here, so the measuring program can use
// it too.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trx5sound {

using Samples = std::vector<std::int16_t>;  // interleaved stereo unless told

// Reads a FIFO of stereo 16-bit frames the way a sound card consumes them:
// `rate` frames a second in steps of 10 ms on the monotonic clock, so the
// sink writing into it is clocked like a card. Every frame read is kept.
class FifoCapture {
  public:
    FifoCapture() = default;
    ~FifoCapture();
    FifoCapture(const FifoCapture&) = delete;
    FifoCapture& operator=(const FifoCapture&) = delete;

    // Opens the FIFO without waiting for its writer. A positive `pipeBytes`
    // shrinks the pipe to that size (whatever it already holds is dropped),
    // so it adds no more delay than a small card buffer. Empty on success,
    // else why not.
    std::string Open(const std::string& path, int rate, int pipeBytes = 0);
    void Start();
    void Stop();

    int Rate() const { return rate_; }
    int PipeBytes() const { return pipeBytes_; }
    // Frames read so far.
    std::size_t Frames() const { return frames_.load(); }
    // Frames a card would have played by now: those read, plus the time
    // since the last read (at most one step) at the card's rate.
    std::size_t FramesPlayed() const;
    // The frames [from, to) read so far, interleaved.
    Samples Copy(std::size_t from, std::size_t to) const;
    // Frames read since the first one from `from` on that is not silent;
    // 0 while there is none.
    std::size_t HeardSince(std::size_t from) const;
    // Waits until the FIFO has given no sound (only silence, or nothing:
    // an idle sink writes nothing) for `quiet`, counted from now at the
    // earliest; false when `timeout` passes first.
    bool WaitQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const;
    // CPU time the reading thread has used, in seconds.
    double ThreadCpuSeconds() const { return threadCpu_.load(); }

  private:
    void Run();
    // Reads what has come, up to frame `due`; false when nothing had come.
    bool ReadUpTo(std::size_t due);

    int fd_ = -1;
    int rate_ = 0;
    int pipeBytes_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> frames_{0};
    std::atomic<std::chrono::steady_clock::time_point> lastRead_{};
    // When the last frame that was not silence was read.
    std::atomic<std::chrono::steady_clock::time_point> lastSound_{};
    std::atomic<double> threadCpu_{0};
    mutable std::mutex mutex_;
    Samples samples_;
    std::vector<char> carry_;  // bytes of a frame not yet whole
};

// A PulseAudio server of its own: no configuration files, the native
// protocol on a socket in `runtimeDir` and one pipe sink at `rate`, so what
// is played at that rate reaches the FIFO unchanged.
class PulseServer {
  public:
    PulseServer() = default;
    ~PulseServer() { Stop(); }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Empty on success, else why the server is not there (pulseaudio not
    // installed, did not start, did not answer `pactl info`).
    std::string Start(int rate, const std::string& fifo, const std::string& runtimeDir,
                      const std::string& logPath);
    void Stop();

  private:
    pid_t pid_ = -1;
};

// A server and the capture of its sink, in a temporary folder of their own.
class PrivateSound {
  public:
    PrivateSound() = default;
    ~PrivateSound() { Stop(); }

    // Empty on success, else why there is no sound. The pipe holds one
    // page: the sink can run ahead of the reader by no more than a card's
    // period (32 ms at 32000 Hz), not by the 64 KiB a pipe holds unless told.
    std::string Start(int rate, int pipeBytes = 4096);
    void Stop();

    const std::string& RuntimeDir() const { return runtimeDir_; }
    FifoCapture& Capture() { return capture_; }
    // Points this process's sound output at the server.
    void UseInThisProcess() const;

  private:
    std::string folder_;
    std::string runtimeDir_;
    FifoCapture capture_;
    PulseServer server_;
};

// Whether the sound tests must have their server (TRX5_REQUIRE_SOUND set and
// not "0", as in scripts/test.sh) rather than be skipped without it.
bool SoundRequired();

// The environment of this process with XDG_RUNTIME_DIR set to `runtimeDir`
// and PULSE_SERVER set to `pulseServer` (left out when empty).
std::vector<std::string> EnvironmentWith(const std::string& runtimeDir,
                                         const std::string& pulseServer = {});

// `env` with `library` preloaded into the programs run with it.
std::vector<std::string> WithPreload(std::vector<std::string> env, const std::string& library);

struct RunResult {
    int code = -1;        // exit status; -1 when it did not end by itself
    int signal = 0;       // the signal that ended it, when one did
    bool killed = false;  // it ran past its limit and was killed
    std::string out;
    std::string err;
};

// A program (looked up in PATH) running with `env`, standard input empty,
// its output collected in files of its own.
class RunningProgram {
  public:
    RunningProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    ~RunningProgram();  // kills it when it still runs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Sends `signal` while it runs.
    void Signal(int signal);
    // Waits until it ends, killing it once `limit` has passed, and collects
    // its output.
    RunResult Wait(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
    std::string folder_;
    std::string why_;  // why it did not start
};

// Runs a program to its end, as RunningProgram does.
RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     std::chrono::seconds limit);

// Processes that keep the processor busy while they live, as other programs
// on a loaded machine do: each is `yes` writing into /dev/null.
class BusyLoad {
  public:
    explicit BusyLoad(int processes);
    ~BusyLoad();
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

  private:
    std::vector<pid_t> pids_;
};

// A fresh folder under the temporary folder, path ending with "/"; removed
// with RemoveFolder.
std::string MakeTempFolder(const std::string& prefix);
void RemoveFolder(const std::string& folder);

// --- Songs, files and their sound.

// A card folder with its machine file and song 1 (file number 0) in the
// given mode.
void WriteCard(const std::string& folder, bool longMode);

// A take of `blocks` whole blocks coded from offset + amplitude * sin(2 pi i
// / period); returns its path.
std::string WriteSineTake(const std::string& card, int track, int vtake, bool longMode, int blocks,
                          double offset, double amplitude, double period);

// Every block of a take file decoded, in order.
Samples DecodeTake(const std::string& path, bool longMode);

bool HasZeroSample(const Samples& samples);

struct TrackPlay {
    std::string path;  // empty: the track plays nothing
    int level = 100;
    int pan = 50;
};

// The audition's sound of the tracks: block by block, each track's take
// decoded and mixed through its knobs into a cleared stereo block, tracks
// in order; a track whose take has ended adds nothing. As many blocks as
// the longest take has.
Samples ExpectedMix(const std::vector<TrackPlay>& tracks, bool longMode);

// A 16-bit PCM WAV file.
void WriteWav(const std::string& path, int channels, int rate, const Samples& samples);

// Whether `captured` (stereo) is silence, then exactly `expected`, then
// silence: empty when it is, else what differs.
std::string CheckSingleRun(const Samples& captured, const Samples& expected);

// Sound that was stopped before its end: silence, then the first `frames`
// frames of the expected sound (at least one), then silence only. `why` is
// empty when the capture is that, else what differs; `end` is the capture's
// frame after the last one that is not silent.
struct StoppedRun {
    std::size_t frames = 0;
    std::size_t end = 0;
    std::string why;
};
StoppedRun CheckStoppedRun(const Samples& captured, const Samples& expected);

// Runs of silent frames (both sides zero) between the first and the last
// frame that is not silent.
struct Gaps {
    std::size_t runs = 0;
    std::size_t frames = 0;
    std::size_t soundFrames = 0;  // first to last sounding frame, both included
};
Gaps FindGaps(const Samples& captured);

}  // namespace trx5sound
