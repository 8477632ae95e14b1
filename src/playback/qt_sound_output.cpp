#include "playback/qt_sound_output.h"

#include <unistd.h>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace trx5 {

namespace {

// Set before Qt's sound system is first asked for a device.
std::atomic<bool> soundStarted{false};

}  // namespace

QtSoundOutput::QtSoundOutput(QObject* parent) : SoundOutput(parent) {
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

QtSoundOutput::~QtSoundOutput() {
    Close();
    thread_.quit();
    thread_.wait();
}

bool QtSoundOutput::Open(const SoundFormat& format) {
    Close();
    format_ = format;
    bool opened = false;
    QMetaObject::invokeMethod(
        worker_, [this, &opened] { opened = MakeSink(); }, Qt::BlockingQueuedConnection);
    open_ = opened;
    return opened;
}

bool QtSoundOutput::MakeSink() {
    soundStarted = true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    QAudioFormat audioFormat;
    audioFormat.setSampleRate(format_.sampleRate);
    audioFormat.setChannelCount(format_.channels);
    audioFormat.setSampleFormat(QAudioFormat::Int16);
    sink_ = new QAudioSink(device, audioFormat);
    feedTimer_ = new QTimer;
    feedTimer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(feedTimer_, &QTimer::timeout, feedTimer_, [this] { Feed(); });
    return true;
}

bool QtSoundOutput::Start() {
    if (!open_) return false;
    bool started = false;
    QMetaObject::invokeMethod(
        worker_, [this, &started] { started = StartSink(); }, Qt::BlockingQueuedConnection);
    if (!started) Close();
    return started;
}

bool QtSoundOutput::StartSink() {
    if (sink_ == nullptr) return false;
    StopStream();
    std::size_t queued = 0;
    {
        std::lock_guard lock(mutex_);
        for (const Pending& pending : queue_) {
            queued += pending.buffer->samples.size() * sizeof(std::int16_t) - pending.offset;
        }
    }
    const qsizetype frameBytes = format_.channels * 2;
    qsizetype size = qsizetype(format_.sampleRate) * frameBytes * kDeviceBufferMs / 1000;
    if (queued > 0) size = std::min(size, qsizetype(queued / 4 * 3));
    sink_->setBufferSize(std::max(frameBytes, size / frameBytes * frameBytes));
    device_ = sink_->start();
    if (device_ == nullptr || sink_->error() != QAudio::NoError) {
        StopStream();
        return false;
    }
    written_ = 0;
    Feed();
    // All that is queued went into the device without filling it: a short
    // sound, and all there is until some of it has played. The device would
    // wait for more before it begins; silence after the sound fills it.
    bool drained = false;
    {
        std::lock_guard lock(mutex_);
        drained = queue_.empty();
    }
    const qsizetype room = sink_->bytesFree() / frameBytes * frameBytes;
    if (drained && room > 0) {
        scratch_.assign(static_cast<std::size_t>(room), 0);
        const qint64 put = device_->write(scratch_.data(), room);
        written_ += static_cast<std::uint64_t>(std::max<qint64>(put, 0));
    }
    feedTimer_->start(kFeedMs);
    return true;
}

void QtSoundOutput::Feed() {
    if (sink_ == nullptr || device_ == nullptr) return;
    const int frameBytes = format_.channels * 2;
    const qsizetype room = sink_->bytesFree() / frameBytes * frameBytes;
    if (room > 0) {
        scratch_.resize(static_cast<std::size_t>(room));
        const std::size_t n = Take(scratch_.data(), scratch_.size());
        if (n > 0) {
            const qint64 put = device_->write(scratch_.data(), static_cast<qint64>(n));
            written_ += static_cast<std::uint64_t>(std::max<qint64>(put, 0));
        }
    }
    NoticePlayed();
}

void QtSoundOutput::NoticePlayed() {
    // What the device holds has not been played yet; the rest has.
    const qsizetype held = std::max<qsizetype>(0, sink_->bufferSize() - sink_->bytesFree());
    const std::uint64_t played = written_ - std::min<std::uint64_t>(written_, held);
    std::lock_guard lock(mutex_);
    while (!playing_.empty() && playing_.front().first <= played) {
        PostDone(playing_.front().second);
        playing_.pop_front();
    }
}

void QtSoundOutput::StopStream() {
    if (feedTimer_ != nullptr) feedTimer_->stop();
    // Stopping drops what the device holds.
    if (device_ != nullptr) sink_->stop();
    device_ = nullptr;  // owned by the sink
}

void QtSoundOutput::StopSink() {
    StopStream();
    delete feedTimer_;
    feedTimer_ = nullptr;
    delete sink_;
    sink_ = nullptr;
}

void QtSoundOutput::Queue(SoundBuffer* buffer) {
    if (!open_) {
        PostDone(buffer);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({buffer, 0});
    }
    // Hand it over now rather than at the next tick.
    QMetaObject::invokeMethod(
        worker_, [this] { Feed(); }, Qt::QueuedConnection);
}

void QtSoundOutput::Reset() {
    if (open_) {
        QMetaObject::invokeMethod(
            worker_,
            [this] {
                // Everything queued comes back before the next Start, so
                // nothing of it plays after the reset.
                StopStream();
                ReturnQueued();
            },
            Qt::BlockingQueuedConnection);
    }
    ReturnQueued();
}

void QtSoundOutput::Close() {
    if (open_) {
        QMetaObject::invokeMethod(
            worker_,
            [this] {
                StopSink();
                ReturnQueued();
            },
            Qt::BlockingQueuedConnection);
        open_ = false;
    }
    ReturnQueued();
}

std::size_t QtSoundOutput::Take(char* data, std::size_t size) {
    std::size_t done = 0;
    std::lock_guard lock(mutex_);
    while (done < size && !queue_.empty()) {
        Pending& front = queue_.front();
        const std::size_t bytes = front.buffer->samples.size() * sizeof(std::int16_t);
        const std::size_t n = std::min(size - done, bytes - front.offset);
        std::memcpy(data + done,
                    reinterpret_cast<const char*>(front.buffer->samples.data()) + front.offset, n);
        done += n;
        front.offset += n;
        if (front.offset == bytes) {
            playing_.emplace_back(written_ + done, front.buffer);
            queue_.pop_front();
        }
    }
    return done;
}

void QtSoundOutput::PostDone(SoundBuffer* buffer) {
    QMetaObject::invokeMethod(
        this, [this, buffer] { emit BufferDone(buffer); }, Qt::QueuedConnection);
}

void QtSoundOutput::ReturnQueued() {
    std::lock_guard lock(mutex_);
    for (const auto& [end, buffer] : playing_) PostDone(buffer);
    playing_.clear();
    for (const Pending& pending : queue_) PostDone(pending.buffer);
    queue_.clear();
}

void EndProcessAfterSound(int code) {
    if (!soundStarted) return;
    // std::cout and std::cerr write through the C streams.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    _exit(code);
}

}  // namespace trx5
