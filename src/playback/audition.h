// The take audition: the selected takes of a song, decoded block by block,
// mixed through the knobs as they stand at each refill and played through
// a sound output in a ring of 16 buffers until the longest take has played
// or a stop is asked for.
#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "card/take_file.h"
#include "card/take_reader.h"
#include "codec/track_mix.h"
#include "playback/sound_output.h"

namespace trx5 {

struct TrackKnobs {
    int level = kUnityLevel;
    int pan = kCentrePan;
};

class Audition : public QObject {
    Q_OBJECT

  public:
    static constexpr int kBuffers = 16;
    using KnobReader = std::function<TrackKnobs(int track)>;
    using TakePaths = std::array<std::string, kTracks>;

    Audition(SoundOutput& output, KnobReader knobs, QObject* parent = nullptr);
    ~Audition() override;

    // Opens the output at the song's rate and the takes (an empty path, or
    // a take that cannot be opened, takes no part), queues the first 16
    // buffers and starts the sound with them. False, with nothing playing,
    // when the output cannot be opened or started.
    bool Start(const TakePaths& takePaths, bool longMode);
    // Posts the stop notice; the stop runs when the event loop delivers it.
    void RequestStop();
    // Stops now: the sound ends and the output is closed before it returns.
    void Stop() { StopAudition(playback_); }

    bool Playing() const { return AuditionPlaying; }
    int Blocks() const { return AuditionBlocks; }
    int Queued() const { return AuditionQueued; }

  signals:
    // AuditionQueued x 100 / AuditionBlocks after each buffer queued.
    void ProgressChanged(int percent);
    // The stop begins: the sound is about to end and the buffers return.
    void Stopping();
    // Every buffer is back and the output is closed.
    void Stopped();

  private slots:
    void AuditionBufferDone(trx5::SoundBuffer* buffer);
    // The stop notice of playback number `playback`; a notice left over
    // from an earlier playback changes nothing.
    void StopAudition(int playback);

  private:
    void FillAuditionBuffer(SoundBuffer& buffer);

    SoundOutput& output_;
    KnobReader knobs_;
    bool longMode_ = false;
    std::array<std::optional<TakeReader>, kTracks> AuditionFiles;
    int AuditionBlocks = 0;
    int AuditionQueued = 0;
    bool AuditionPlaying = false;
    int playback_ = 0;  // counts the starts
    std::array<SoundBuffer, kBuffers> buffers_;
};

}  // namespace trx5
