// The sound output through Qt Multimedia: a QAudioSink on the default device
// is kept filled from the queued buffers. The sink and its feeding live on a
// thread of their own, so a busy window does not starve the device; the
// buffers' notices still reach the owner's thread through its event loop.
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
    void Reset() override;
    void Close() override;

    // The device's own buffer: small, so that what is queued decides the
    // latency.
    static constexpr int kDeviceBufferMs = 30;
    // How often the device is topped up.
    static constexpr int kFeedMs = 5;

  private:
    struct Pending {
        SoundBuffer* buffer;
        std::size_t offset;  // bytes already handed to the device
    };

    // On the audio thread: starts the sink, hands it what it has room for,
    // stops it.
    bool StartSink();
    void Feed();
    void StopSink();
    // Fills up to `size` bytes from the queue.
    std::size_t Take(char* data, std::size_t size);
    void PostDone(SoundBuffer* buffer);
    void ReturnQueued();

    QThread thread_;
    QObject* worker_ = nullptr;  // lives on the audio thread
    QAudioSink* sink_ = nullptr;
    QIODevice* device_ = nullptr;  // the sink's input
    QTimer* feedTimer_ = nullptr;
    std::vector<char> scratch_;
    SoundFormat format_;
    bool open_ = false;
    std::mutex mutex_;
    std::deque<Pending> queue_;
};

}  // namespace trx5
