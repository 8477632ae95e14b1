// The sound output the audition and the preview play through: buffers of
// 16-bit PCM are queued in order, and each comes back with a "buffer done"
// notice once the output has taken all of it. Notices are delivered by the
// event loop of the thread that owns the output, in queue order, never from
// inside Queue itself. The sound begins at Start, with the buffers queued
// before it all at hand, so that a player held up while it makes its first
// buffers does not break the sound it has begun.
#pragma once

#include <QObject>
#include <cstdint>
#include <vector>

namespace trx5 {

struct SoundFormat {
    int channels = 2;
    int sampleRate = 32000;  // frames per second; samples are signed 16-bit
};

// A buffer's data area stays with its owner; it must not change between
// Queue and the buffer's notice.
struct SoundBuffer {
    std::vector<std::int16_t> samples;  // interleaved frames
};

inline constexpr char kMsgSoundOutput[] = "The sound output could not be opened.";

class SoundOutput : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // Opens the output for `format`; false when there is no usable device.
    virtual bool Open(const SoundFormat& format) = 0;
    virtual bool IsOpen() const = 0;
    // Appends a buffer to the queue; it plays after the ones before it.
    // Before Start, buffers wait.
    virtual void Queue(SoundBuffer* buffer) = 0;
    // Starts the sound with the buffers queued since Open (or Reset); false,
    // with the output closed and every buffer back, when the device cannot
    // play.
    virtual bool Start() = 0;
    // Stops the sound at once; every queued buffer comes back with its
    // notice. The output stays open and waits for Start again.
    virtual void Reset() = 0;
    // Resets and closes the output.
    virtual void Close() = 0;

  signals:
    void BufferDone(trx5::SoundBuffer* buffer);
};

}  // namespace trx5
