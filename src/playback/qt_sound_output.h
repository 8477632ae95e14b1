// The sound output through Qt Multimedia: a QAudioSink on the default device
// is kept filled from the queued buffers. The sink and its feeding live on a
// thread of their own, so a busy window does not starve the device; a
// buffer's notice comes when the device has played it, through the event
// loop of the owner's thread. The sink's stream is made at Start, its
// buffer sized from what is queued then, and filled at once.
#pragma once

#include <QThread>
#include <deque>
#include <mutex>
#include <vector>

#include "playback/sound_output.h"

class QAudioSink;
class QIODevice;
class QTimer;

namespace trx5 {

class QtSoundOutput final : public SoundOutput {
    Q_OBJECT

  public:
    explicit QtSoundOutput(QObject* parent = nullptr);
    ~QtSoundOutput() override;

    bool Open(const SoundFormat& format) override;
    bool IsOpen() const override { return open_; }
    void Queue(SoundBuffer* buffer) override;
    bool Start() override;
    void Reset() override;
    void Close() override;

    // The device's own buffer: the part of what is queued that the sound
    // server holds, where a busy machine cannot starve it; the rest waits
    // here. What is queued in all, not this, decides the latency. It is at
    // most three quarters of what is queued at the start, so that the
    // device, which begins to play once it is nearly full, is filled at once
    // whatever the server makes of its size.
    static constexpr int kDeviceBufferMs = 150;
    // How often the device is topped up and the buffers it has played are
    // told; the device's buffer holds several such periods.
    static constexpr int kFeedMs = 10;

  private:
    struct Pending {
        SoundBuffer* buffer;
        std::size_t offset;  // bytes already handed to the device
    };

    // On the audio thread: makes the sink, starts its stream and fills it,
    // hands it what it has room for, stops its stream, deletes it.
    bool MakeSink();
    bool StartSink();
    void Feed();
    void StopStream();
    void StopSink();
    // Fills up to `size` bytes from the queue; a buffer taken whole waits
    // in `playing_` until the device has played it.
    std::size_t Take(char* data, std::size_t size);
    // Raises the notices of the buffers the device has played.
    void NoticePlayed();
    void PostDone(SoundBuffer* buffer);
    void ReturnQueued();

    QThread thread_;
    QObject* worker_ = nullptr;  // lives on the audio thread
    QAudioSink* sink_ = nullptr;
    QIODevice* device_ = nullptr;  // the sink's input while its stream runs
    QTimer* feedTimer_ = nullptr;
    std::vector<char> scratch_;
    SoundFormat format_;
    bool open_ = false;
    std::mutex mutex_;
    std::deque<Pending> queue_;
    // Buffers handed to the device, each with the stream position after its
    // last byte; a buffer's notice comes when the device has played that far.
    std::deque<std::pair<std::uint64_t, SoundBuffer*>> playing_;
    std::uint64_t written_ = 0;  // bytes handed to the device since it started
};

// Ends the process with exit status `code` when a QtSoundOutput has
// started Qt's sound system in it; returns at once when none has. Called
// last, once everything the program made is gone, the application object
// too: Qt Multimedia 6.4 keeps its PulseAudio connections for the life of
// the process and tears them down among the exit handlers without the lock
// of their event threads, which may still be handling the server's last
// messages (a crash now and then). Those handlers are skipped; the standard
// streams are flushed first, and a sanitized build runs its leak check here.
void EndProcessAfterSound(int code);

}  // namespace trx5
