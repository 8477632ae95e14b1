// trx5card play: the audition and the preview from a terminal.
#include <QCoreApplication>
#include <QTimer>
#include <iostream>
#include <memory>

#include "audiofile/audio_source.h"
#include "cli/cli_common.h"
#include "codec/track_mix.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "playback/audition.h"
#include "playback/preview.h"
#include "playback/qt_sound_output.h"

namespace trx5::cli {

namespace {

struct PlayArgs {
    std::vector<std::string> args;  // FILE, or CARD SONG TAKE...
    std::vector<std::string> levels;
    std::vector<std::string> pans;
};

// How often Ctrl-C is looked for while the sound plays.
constexpr int kPollMs = 20;

// Qt's own diagnostics ("PulseAudioService: pa_context_connect() failed",
// "QStandardPaths: XDG_RUNTIME_DIR not set ...") are not for the terminal:
// the command says in its own words what failed. Only a fatal one shows.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) Note(message.toStdString());
}

// The application object of one play, made before the sound output and so
// gone after it: the output's thread is joined while the application lives.
std::unique_ptr<QCoreApplication> MakeApplication() {
    qInstallMessageHandler(QuietQtMessages);
    static int argc = 1;
    static char name[] = "trx5card";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

int PlaySong(const PlayArgs& args) {
    std::array<int, kTracks> levels = EveryTrack(kUnityLevel);
    std::array<int, kTracks> pans = EveryTrack(kCentrePan);
    std::vector<TakeSlot> chosen;
    int code = kExitOk;
    const std::vector<std::string> takes(args.args.begin() + 2, args.args.end());
    if (!ApplyTrackValues("play", args.levels, "--level", kMaxLevel, levels, code) ||
        !ApplyTrackValues("play", args.pans, "--pan", kMaxPan, pans, code) ||
        !ParseTakes("play", takes, chosen, code)) {
        return code;
    }
    const std::optional<int> song = ParseSong("play: song", args.args[1], code);
    if (!song) return code;
    const SongLookup lookup = FindSong(args.args[0], *song);
    if (!lookup.found) return lookup.exitCode;
    Audition::TakePaths paths;
    if (!FindTakePaths(*lookup.found, chosen, paths, code)) return code;

    const std::unique_ptr<QCoreApplication> application = MakeApplication();
    QCoreApplication& app = *application;
    QtSoundOutput output;
    Audition audition(output, [&](int track) { return TrackKnobs{levels[track], pans[track]}; });
    TerminalProgress progress(kLabelPlaying);
    if (!audition.Start(paths, lookup.found->song.longMode)) return Fail(kMsgSoundOutput);
    QObject::connect(&audition, &Audition::ProgressChanged, &app, [&] {
        const int blocks = audition.Blocks();
        progress.Step(static_cast<std::uint64_t>(std::min(audition.Queued(), blocks)),
                      static_cast<std::uint64_t>(blocks));
    });
    QObject::connect(&audition, &Audition::Stopped, &app, &QCoreApplication::quit);
    QTimer ctrlC;
    QObject::connect(&ctrlC, &QTimer::timeout, &app, [&] {
        if (progress.interrupted()) audition.RequestStop();
    });
    ctrlC.start(kPollMs);
    app.exec();
    return progress.interrupted() ? kExitInterrupted : kExitOk;
}

int PlayFile(const std::string& path) {
    // Opened once and not counted: playing reads until the stream ends, so
    // the sound starts at once whatever the file's length.
    auto source = AudioSource::Open(path, FrameCount::kEstimate);
    if (!source) return Fail(path + ": " + source.Describe());

    const std::unique_ptr<QCoreApplication> application = MakeApplication();
    QCoreApplication& app = *application;
    QtSoundOutput output;
    Preview preview(output);
    TerminalProgress progress(kLabelPlaying);
    if (!preview.Start(std::move(source.value()))) return Fail(kMsgSoundOutput);
    if (!preview.Playing()) return Fail(path + ": " + kMsgNotAudioFile);
    QObject::connect(&preview, &Preview::Stopped, &app, &QCoreApplication::quit);
    QTimer ctrlC;
    QObject::connect(&ctrlC, &QTimer::timeout, &app, [&] {
        if (progress.interrupted()) preview.StopPreview();
    });
    ctrlC.start(kPollMs);
    app.exec();
    return progress.interrupted() ? kExitInterrupted : kExitOk;
}

}  // namespace

Command AddPlayCommand(CLI::App& parent) {
    auto args = std::make_shared<PlayArgs>();
    CLI::App* app = parent.add_subcommand("play", kHelpPlay);
    app->footer(kHelpPlayFooter);
    app->add_option("ARGS", args->args, kHelpPlayArgs)->required();
    app->add_option("--level", args->levels, kHelpLevel);
    app->add_option("--pan", args->pans, kHelpPan);
    return {app, [args] {
                const std::size_t count = args->args.size();
                if (count == 1) {
                    if (!args->levels.empty() || !args->pans.empty()) {
                        return Usage(kUsagePlayKnobsWithFile);
                    }
                    return PlayFile(args->args[0]);
                }
                if (count == 2) return Usage(kUsagePlayMissingTake);
                return PlaySong(*args);
            }};
}

}  // namespace trx5::cli
