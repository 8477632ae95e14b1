// The preview of a file to import: plays an audio file in its own channel
// count at its rate truncated to whole hertz, or as an import into a song
// will write it, in buffers of 512 frames, for as long as the listen button
// is held or until the file has played to its last frame.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/audio_source.h"
#include "playback/sound_output.h"

namespace trx5 {

// What an import would make of the file, to be heard before it is made:
// played at the song's rate, either converted to it or (keepRate) with the
// samples as they are, as the recorder will play them. Into one take, the
// file plays as that take: its first channel alone, or a stereo file's two
// mixed with mixToMono. Into two, a stereo file plays in stereo; any other
// file plays its first channel, the one an import takes.
struct PreviewTarget {
    std::uint32_t songRate = 32000;
    bool keepRate = false;
    bool mixToMono = false;  // with oneTake: a stereo file's channels mixed
    // The import writes one take (the first channel, or the mix); else two,
    // the left and right channels of a stereo file.
    bool oneTake = false;
};

class Preview : public QObject {
    Q_OBJECT

  public:
    static constexpr int kBuffers = 16;
    static constexpr int kFramesPerBuffer = 512;

    explicit Preview(SoundOutput& output, QObject* parent = nullptr);
    ~Preview() override;

    // Starts playing the file, in its own format or as `target` asks.
    // Nothing plays when it cannot be opened or holds no usable frame (the
    // result is then true: there is nothing to report), or when the sound
    // output cannot be opened or started (false). The file is not counted: it plays
    // until its stream ends, so playing starts at once whatever its length.
    bool Start(const std::string& path, std::optional<PreviewTarget> target = std::nullopt);
    // The same with a file already opened (with FrameCount::kEstimate, for
    // a quick start), from its first frame.
    bool Start(std::unique_ptr<AudioSource> source,
               std::optional<PreviewTarget> target = std::nullopt);
    // Ends playback at once and releases the file.
    void StopPreview();

    bool Playing() const { return output_.IsOpen() && previewing_; }
    // The frames being played (with a target: as the import takes them);
    // empty when nothing plays.
    AudioSourceInfo PreviewInfo() const {
        return PreviewFile ? PreviewFile->info() : AudioSourceInfo{};
    }

  signals:
    void Stopped();

  private slots:
    void PreviewBufferDone(trx5::SoundBuffer* buffer);

  private:
    // Reads the next frames into the buffer and queues it; true when the
    // read found no sample.
    bool FillPreviewBuffer(SoundBuffer& buffer);

    SoundOutput& output_;
    std::unique_ptr<AudioSource> PreviewFile;
    bool previewing_ = false;
    int playback_ = 0;  // counts the starts, so a stop meant for one ends no other
    // The buffer whose read found the end of the file: when it comes back,
    // everything before it has been played.
    const SoundBuffer* endBuffer_ = nullptr;
    // The buffers of this playback, and those of earlier ones whose notices
    // have not come back yet (released when they do).
    std::vector<std::unique_ptr<SoundBuffer>> buffers_;
    std::vector<std::unique_ptr<SoundBuffer>> returning_;
};

}  // namespace trx5
