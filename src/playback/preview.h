// The preview of a file to import: plays a WAV/AIFF file in its own channel
// count at its rate truncated to whole hertz, in buffers of 512 frames, for
// as long as the listen button is held or until the file has played to its
// last frame.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "common/file_io.h"
#include "playback/sound_output.h"

namespace trx5 {

class Preview : public QObject {
    Q_OBJECT

  public:
    static constexpr int kBuffers = 16;
    static constexpr int kFramesPerBuffer = 512;

    explicit Preview(SoundOutput& output, QObject* parent = nullptr);
    ~Preview() override;

    // Starts playing the file. Nothing plays when it cannot be opened or is
    // not a usable WAV/AIFF (the result is then true: there is nothing to
    // report), or when the sound output cannot be opened (false).
    bool Start(const std::string& path);
    // Ends playback at once and releases the file.
    void StopPreview();

    bool Playing() const { return output_.IsOpen() && previewing_; }
    const AudioFileInfo& PreviewInfo() const { return PreviewInfo_; }

  signals:
    void Stopped();

  private slots:
    void PreviewBufferDone(trx5::SoundBuffer* buffer);

  private:
    // Reads the next frames into the buffer and queues it; true when the
    // read found no sample.
    bool FillPreviewBuffer(SoundBuffer& buffer);

    SoundOutput& output_;
    FilePtr PreviewFile;
    AudioFileInfo PreviewInfo_;
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
