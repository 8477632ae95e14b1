#include "sound_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "codec/track_mix.h"
#include "support/reference_codec.h"

extern char** environ;

namespace trx5sound {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kFrameBytes = 4;  // stereo, 16-bit
constexpr auto kStep = 10ms;
constexpr char kSinkName[] = "trx5_capture";

bool IsSilent(const Samples& s, std::size_t frame) {
    return s[2 * frame] == 0 && s[2 * frame + 1] == 0;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void PutLE(std::vector<std::uint8_t>& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

void PutText(std::vector<std::uint8_t>& b, const char* text) {
    b.insert(b.end(), text, text + std::strlen(text));
}

// The full path of a program found in PATH; empty when there is none.
std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string LastLines(const std::string& text, int count) {
    std::size_t at = text.size();
    for (int i = 0; i <= count && at > 0; ++i) at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

std::string Frame(const Samples& s, std::size_t frame) {
    std::ostringstream text;
    text << '(' << s[2 * frame] << ", " << s[2 * frame + 1] << ')';
    return text.str();
}

}  // namespace

// --- FifoCapture

FifoCapture::~FifoCapture() { Stop(); }

std::string FifoCapture::Open(const std::string& path, int rate, int pipeBytes) {
    rate_ = rate;
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return "cannot open " + path + ": " + std::strerror(errno);
    if (pipeBytes > 0) {
        // A pipe cannot shrink below what it holds, and the sink keeps
        // writing: empty it and try again.
        char drop[65536];
        int size = -1;
        for (int tries = 0; tries < 10000 && size < 0; ++tries) {
            while (read(fd_, drop, sizeof drop) > 0) {
            }
            size = fcntl(fd_, F_SETPIPE_SZ, pipeBytes);
            if (size < 0 && errno != EBUSY) break;
        }
        if (size < 0) return "cannot set the size of " + path + ": " + std::strerror(errno);
    }
    pipeBytes_ = fcntl(fd_, F_GETPIPE_SZ);
    return {};
}

void FifoCapture::Start() {
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void FifoCapture::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void FifoCapture::Run() {
    auto clock0 = Clock::now();
    std::size_t frames0 = frames_;
    auto next = clock0;
    while (!stop_) {
        next += kStep;
        std::this_thread::sleep_until(next);
        const auto now = Clock::now();
        if (now - next > 100ms) next = now;
        const auto elapsed = std::chrono::duration<double>(now - clock0).count();
        std::size_t due = frames0 + static_cast<std::size_t>(elapsed * rate_);
        const std::size_t have = frames_;
        if (!ReadUpTo(due) && due > have) {
            // Nothing to read: the sink is idle (or late). A card that gets
            // nothing plays silence and goes on at its pace from now; it
            // never makes up for the time by reading faster afterwards.
            clock0 = now;
            frames0 = have;
        }
        rusage usage{};
        if (getrusage(RUSAGE_THREAD, &usage) == 0) {
            threadCpu_ = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
    }
}

bool FifoCapture::ReadUpTo(std::size_t due) {
    const std::size_t have = frames_;
    if (due <= have) return false;
    const std::size_t want = (due - have) * kFrameBytes - carry_.size();
    std::vector<char> bytes = std::move(carry_);
    carry_.clear();
    const std::size_t kept = bytes.size();
    bytes.resize(kept + want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = read(fd_, bytes.data() + kept + got, want - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(kept + got);
    if (got == 0) {
        carry_ = std::move(bytes);
        return false;
    }
    const std::size_t whole = bytes.size() / kFrameBytes;
    carry_.assign(bytes.begin() + std::ptrdiff_t(whole * kFrameBytes), bytes.end());
    if (whole == 0) return true;
    std::lock_guard lock(mutex_);
    const std::size_t at = samples_.size();
    samples_.resize(at + whole * 2);
    std::memcpy(samples_.data() + at, bytes.data(), whole * kFrameBytes);
    for (std::size_t f = 0; f < whole; ++f) {
        if (!IsSilent(samples_, at / 2 + f)) {
            lastSound_ = Clock::now();
            break;
        }
    }
    frames_ = have + whole;
    lastRead_ = Clock::now();
    return true;
}

std::size_t FifoCapture::FramesPlayed() const {
    const std::size_t frames = frames_;
    const auto since = std::min<Clock::duration>(Clock::now() - lastRead_.load(), kStep);
    return frames + static_cast<std::size_t>(std::chrono::duration<double>(since).count() * rate_);
}

Samples FifoCapture::Copy(std::size_t from, std::size_t to) const {
    std::lock_guard lock(mutex_);
    to = std::min(to, samples_.size() / 2);
    if (from >= to) return {};
    return Samples(samples_.begin() + std::ptrdiff_t(2 * from),
                   samples_.begin() + std::ptrdiff_t(2 * to));
}

std::size_t FifoCapture::HeardSince(std::size_t from) const {
    std::lock_guard lock(mutex_);
    const std::size_t frames = samples_.size() / 2;
    for (std::size_t f = from; f < frames; ++f) {
        if (!IsSilent(samples_, f)) return frames - f;
    }
    return 0;
}

bool FifoCapture::WaitQuiet(std::chrono::milliseconds quiet,
                            std::chrono::milliseconds timeout) const {
    const auto start = Clock::now();
    while (Clock::now() < start + timeout) {
        if (Clock::now() - std::max(start, lastSound_.load()) >= quiet) return true;
        std::this_thread::sleep_for(kStep);
    }
    return false;
}

// --- PulseServer

std::string PulseServer::Start(int rate, const std::string& fifo, const std::string& runtimeDir,
                               const std::string& logPath) {
    const std::string pulseaudio = FindProgram("pulseaudio");
    if (pulseaudio.empty()) return "pulseaudio is not installed";
    if (FindProgram("pactl").empty()) return "pactl is not installed";

    std::vector<std::string> args = {
        pulseaudio,
        "-n",
        "--daemonize=no",
        "--exit-idle-time=-1",
        "--disallow-exit",
        "--use-pid-file=no",
        "--log-target=stderr",
        "--load=module-native-protocol-unix",
        "--load=module-pipe-sink file=" + fifo + " format=s16le rate=" + std::to_string(rate) +
            " channels=2 sink_name=" + kSinkName,
    };
    std::vector<std::string> env = EnvironmentWith(runtimeDir);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ == 0) {
        // The server goes when the process that started it does.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(log, 1);
        dup2(log, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (log >= 0) close(log);
    if (pid_ < 0) return std::string("cannot start pulseaudio: ") + std::strerror(errno);

    // pactl is given the socket itself, so it never starts a server of its
    // own while this one is coming up.
    const std::vector<std::string> pactlEnv =
        EnvironmentWith(runtimeDir, "unix:" + runtimeDir + "/pulse/native");
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return "pulseaudio did not start:\n" + LastLines(ReadText(logPath), 8);
        }
        const RunResult info = RunProgram({"pactl", "info"}, pactlEnv, 10s);
        if (info.code == 0 &&
            info.out.find(std::string("Default Sink: ") + kSinkName) != std::string::npos) {
            return {};
        }
        std::this_thread::sleep_for(100ms);
    }
    Stop();
    return "pulseaudio did not answer pactl info:\n" + LastLines(ReadText(logPath), 8);
}

void PulseServer::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + 5s;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
}

// --- PrivateSound

std::string PrivateSound::Start(int rate, int pipeBytes) {
    folder_ = MakeTempFolder("trx5sound-");
    if (folder_.empty()) return "cannot create a temporary folder";
    runtimeDir_ = folder_ + "run";
    const std::string fifo = folder_ + "sink.fifo";
    if (mkdir(runtimeDir_.c_str(), 0700) != 0 || mkfifo(fifo.c_str(), 0600) != 0) {
        return "cannot create the server's folder and FIFO";
    }
    // Opened before the server so that its first frames are read too.
    std::string why = capture_.Open(fifo, rate, pipeBytes);
    if (why.empty()) why = server_.Start(rate, fifo, runtimeDir_, folder_ + "server.log");
    if (!why.empty()) {
        Stop();
        return why;
    }
    capture_.Start();
    return {};
}

void PrivateSound::Stop() {
    capture_.Stop();
    server_.Stop();
    if (!folder_.empty()) RemoveFolder(folder_);
    folder_.clear();
}

void PrivateSound::UseInThisProcess() const {
    setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
    unsetenv("PULSE_SERVER");
}

// --- Processes and folders

bool SoundRequired() {
    const char* required = std::getenv("TRX5_REQUIRE_SOUND");
    return required != nullptr && *required != '\0' && std::strcmp(required, "0") != 0;
}

std::vector<std::string> EnvironmentWith(const std::string& runtimeDir,
                                         const std::string& pulseServer) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.starts_with("XDG_RUNTIME_DIR=") || entry.starts_with("PULSE_SERVER=")) continue;
        env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
    if (!pulseServer.empty()) env.push_back("PULSE_SERVER=" + pulseServer);
    return env;
}

std::vector<std::string> WithPreload(std::vector<std::string> env, const std::string& library) {
    std::erase_if(env, [](const std::string& entry) { return entry.starts_with("LD_PRELOAD="); });
    env.push_back("LD_PRELOAD=" + library);
#ifdef TRX5_SANITIZED_BUILD
    // The library then comes before the sanitizer's runtime, which is fine.
    constexpr char kCheck[] = "verify_asan_link_order=0";
    const auto asan = std::find_if(env.begin(), env.end(), [](const std::string& entry) {
        return entry.starts_with("ASAN_OPTIONS=");
    });
    if (asan == env.end()) {
        env.push_back(std::string("ASAN_OPTIONS=") + kCheck);
    } else {
        *asan += std::string(":") + kCheck;
    }
#endif
    return env;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv,
                               const std::vector<std::string>& env) {
    folder_ = MakeTempFolder("trx5run-");
    const std::string outPath = folder_ + "out";
    const std::string errPath = folder_ + "err";
    std::vector<std::string> args = argv;
    std::vector<std::string> environment = env;
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        pid_ = pid;
    } else {
        why_ = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
    }
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    RemoveFolder(folder_);
}

void RunningProgram::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

RunResult RunningProgram::Wait(std::chrono::milliseconds limit) {
    RunResult run;
    if (pid_ <= 0) {
        run.err = why_;
        return run;
    }
    int status = 0;
    const auto deadline = Clock::now() + limit;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            run.killed = true;
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    if (!run.killed && WIFEXITED(status)) run.code = WEXITSTATUS(status);
    if (!run.killed && WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    run.out = ReadText(folder_ + "out");
    run.err = ReadText(folder_ + "err");
    return run;
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     std::chrono::seconds limit) {
    return RunningProgram(argv, env).Wait(limit);
}

BusyLoad::BusyLoad(int processes) {
    std::vector<std::string> args = {"yes"};
    std::vector<char*> argp = Pointers(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < processes; ++i) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), environ) == 0) {
            pids_.push_back(pid);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

BusyLoad::~BusyLoad() {
    for (const pid_t pid : pids_) kill(pid, SIGKILL);
    for (const pid_t pid : pids_) waitpid(pid, nullptr, 0);
}

std::string MakeTempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    return pattern + "/";
}

void RemoveFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// --- Songs, files and their sound

void WriteCard(const std::string& folder, bool longMode) {
    std::vector<std::uint8_t> machine;
    PutText(machine, trx5::kMachineSignature);
    machine.resize(64, 0);
    WriteBytes(folder + trx5::kMachineFileName, machine);

    std::vector<std::uint8_t> song;
    PutText(song, trx5::kSongSignature);
    song.resize(trx5::kSongModeOffset, 0);
    PutLE(song, longMode ? 1 : 0, 4);
    song.resize(256, 0);
    WriteBytes(folder + "UtyPrm00.tx5", song);
}

std::string WriteSineTake(const std::string& card, int track, int vtake, bool longMode, int blocks,
                          double offset, double amplitude, double period) {
    const std::size_t spb = trx5::SamplesPerBlock(longMode);
    Samples samples(spb * std::size_t(blocks));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double v = offset + amplitude * std::sin(2 * std::numbers::pi * double(i) / period);
        samples[i] = trx5::ClampSample(static_cast<std::int32_t>(std::lround(v)));
    }
    const std::vector<std::uint8_t> bytes = trx5ref::EncodeTake(samples, longMode);
    const std::string path = card + trx5::TakeFileName(0, track, vtake);
    WriteBytes(path, bytes);
    return path;
}

Samples DecodeTake(const std::string& path, bool longMode) {
    // A last part of a block is taken as zero-filled, as the audition does.
    const std::string bytes = ReadText(path);
    return trx5ref::DecodeTakeBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                                    longMode);
}

bool HasZeroSample(const Samples& samples) {
    return std::find(samples.begin(), samples.end(), 0) != samples.end();
}

Samples ExpectedMix(const std::vector<TrackPlay>& tracks, bool longMode) {
    std::vector<trx5ref::Track> decoded;
    for (const TrackPlay& track : tracks) {
        decoded.push_back({track.path.empty() ? Samples{} : DecodeTake(track.path, longMode),
                           track.level, track.pan});
    }
    return trx5ref::MixTracks(decoded, longMode ? 510 : 509);
}

void WriteWav(const std::string& path, int channels, int rate, const Samples& samples) {
    const auto dataBytes = std::uint32_t(samples.size() * 2);
    std::vector<std::uint8_t> b;
    PutText(b, "RIFF");
    PutLE(b, 36 + dataBytes, 4);
    PutText(b, "WAVEfmt ");
    PutLE(b, 16, 4);
    PutLE(b, 1, 2);
    PutLE(b, std::uint32_t(channels), 2);
    PutLE(b, std::uint32_t(rate), 4);
    PutLE(b, std::uint32_t(rate * channels * 2), 4);
    PutLE(b, std::uint32_t(channels * 2), 2);
    PutLE(b, 16, 2);
    PutText(b, "data");
    PutLE(b, dataBytes, 4);
    for (std::int16_t s : samples) PutLE(b, std::uint16_t(s), 2);
    WriteBytes(path, b);
}

namespace {

// A sanitized build runs too slowly to keep a sound device fed in real time:
// a silent gap there belongs to the build, not to the program. The sound
// must still arrive whole, in order and unchanged; the expected sound has
// no silent frame, so the gaps can be taken out before comparing.
#ifdef TRX5_SANITIZED_BUILD
constexpr bool kGapsAllowed = true;
#else
constexpr bool kGapsAllowed = false;
#endif

Samples WithoutGaps(const Samples& captured) {
    const std::size_t frames = captured.size() / 2;
    Samples kept;
    std::size_t first = 0;
    while (first < frames && IsSilent(captured, first)) ++first;
    std::size_t last = frames;
    while (last > first && IsSilent(captured, last - 1)) --last;
    for (std::size_t at = first; at < last; ++at) {
        if (IsSilent(captured, at)) continue;
        kept.push_back(captured[2 * at]);
        kept.push_back(captured[2 * at + 1]);
    }
    return kept;
}

}  // namespace

std::string CheckSingleRun(const Samples& captured, const Samples& expected) {
    if (kGapsAllowed && FindGaps(captured).runs > 0) {
        const Samples kept = WithoutGaps(captured);
        if (kept == expected) return {};
        return "with its silent gaps taken out the sound still differs (" +
               std::to_string(kept.size() / 2) + " frames, want " +
               std::to_string(expected.size() / 2) + ")";
    }
    const std::size_t frames = captured.size() / 2;
    const std::size_t n = expected.size() / 2;
    std::size_t first = 0;
    while (first < frames && IsSilent(captured, first)) ++first;
    if (first == frames) {
        return "only silence reached the sink (" + std::to_string(frames) + " frames)";
    }
    std::ostringstream why;
    const Gaps gaps = FindGaps(captured);
    std::size_t differ = 0;
    std::size_t firstDiffer = n;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = first + k;
        const bool same = at < frames && captured[2 * at] == expected[2 * k] &&
                          captured[2 * at + 1] == expected[2 * k + 1];
        if (same) continue;
        if (differ++ == 0) firstDiffer = k;
    }
    bool restSilent = true;
    for (std::size_t at = first + firstDiffer; at < std::min(frames, first + n); ++at) {
        restSilent = restSilent && IsSilent(captured, at);
    }
    if (differ > 0 && restSilent) {
        why << "the last " << n - firstDiffer << " of " << n
            << " frames are missing: the sound stops early. ";
    } else if (differ > 0) {
        why << differ << " of " << n << " frames differ; the first is frame " << firstDiffer
            << ": got " << Frame(captured, first + firstDiffer) << ", want "
            << Frame(expected, firstDiffer) << ". ";
    }
    if (gaps.soundFrames != n || gaps.runs > 0) {
        why << "The sound lasts " << gaps.soundFrames << " frames (want " << n << ") with "
            << gaps.runs << " silent gaps (" << gaps.frames << " frames) inside.";
    }
    return why.str();
}

StoppedRun CheckStoppedRun(const Samples& captured, const Samples& expected) {
    StoppedRun run;
    const std::size_t frames = captured.size() / 2;
    std::size_t first = 0;
    while (first < frames && IsSilent(captured, first)) ++first;
    if (first == frames) {
        run.why = "only silence reached the sink (" + std::to_string(frames) + " frames)";
        return run;
    }
    run.end = frames;
    while (IsSilent(captured, run.end - 1)) --run.end;
    const Samples heard = kGapsAllowed ? WithoutGaps(captured)
                                       : Samples(captured.begin() + std::ptrdiff_t(2 * first),
                                                 captured.begin() + std::ptrdiff_t(2 * run.end));
    run.frames = heard.size() / 2;
    const std::size_t n = expected.size() / 2;
    if (run.frames > n) {
        run.why = "the sound lasts " + std::to_string(run.frames) + " frames, more than the " +
                  std::to_string(n) + " expected";
        return run;
    }
    const auto differ =
        std::mismatch(heard.begin(), heard.end(), expected.begin(), expected.end()).first;
    if (differ != heard.end()) {
        const std::size_t k = std::size_t(differ - heard.begin()) / 2;
        run.why = "frame " + std::to_string(k) + " of the " + std::to_string(run.frames) +
                  " heard differs: got " + Frame(heard, k) + ", want " + Frame(expected, k);
    }
    return run;
}

Gaps FindGaps(const Samples& captured) {
    Gaps gaps;
    const std::size_t frames = captured.size() / 2;
    std::size_t first = 0;
    while (first < frames && IsSilent(captured, first)) ++first;
    if (first == frames) return gaps;
    std::size_t last = frames - 1;
    while (IsSilent(captured, last)) --last;
    gaps.soundFrames = last - first + 1;
    bool inGap = false;
    for (std::size_t f = first; f <= last; ++f) {
        const bool silent = IsSilent(captured, f);
        if (silent) ++gaps.frames;
        if (silent && !inGap) ++gaps.runs;
        inGap = silent;
    }
    return gaps;
}

}  // namespace trx5sound
