// A sound output for tests: it plays nothing, records every buffer it is
// given (a copy of its samples, in queue order) and finishes buffers only
// when the test says so and once it has been started, through the event
// loop as the real one does.
#pragma once

#include <QCoreApplication>
#include <algorithm>
#include <deque>
#include <vector>

#include "playback/sound_output.h"

class FakeSoundOutput final : public trx5::SoundOutput {
  public:
    struct Queued {
        trx5::SoundBuffer* buffer;
        std::vector<std::int16_t> samples;  // as they were when queued
    };

    bool Open(const trx5::SoundFormat& format) override {
        ++opens;
        if (failOpen) return false;
        this->format = format;
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    void Queue(trx5::SoundBuffer* buffer) override {
        // A buffer belongs to the output until its notice has been delivered.
        if (std::find(inFlight_.begin(), inFlight_.end(), buffer) != inFlight_.end()) {
            ++queuedTwice;
        }
        inFlight_.push_back(buffer);
        queued.push_back({buffer, buffer->samples});
        pending_.push_back(buffer);
    }
    bool Start() override {
        ++starts;
        queuedAtStart = queued.size();
        if (failStart || !open_) {
            Close();
            return false;
        }
        started_ = true;
        return true;
    }
    void Reset() override {
        ++resets;
        started_ = false;
        while (!pending_.empty()) Post();
    }
    void Close() override {
        Reset();
        open_ = false;
        ++closes;
    }

    // Finishes the oldest `count` buffers still queued, once started; their
    // notices come when the event loop runs.
    void Finish(int count) {
        for (int i = 0; i < count && started_ && !pending_.empty(); ++i) Post();
    }
    // Finishes buffers and lets the notices run, `count` times one buffer.
    void Play(int count) {
        for (int i = 0; i < count; ++i) {
            Finish(1);
            QCoreApplication::processEvents();
        }
    }
    std::size_t Pending() const { return pending_.size(); }

    bool failOpen = false;
    bool failStart = false;
    int opens = 0;
    int starts = 0;
    std::size_t queuedAtStart = 0;  // buffers queued in all when Start was last called
    int resets = 0;
    int closes = 0;
    trx5::SoundFormat format;
    std::vector<Queued> queued;
    std::vector<trx5::SoundBuffer*> returned;  // in the order of their notices
    int queuedTwice = 0;                       // buffers queued again before their notice came

  private:
    void Post() {
        trx5::SoundBuffer* buffer = pending_.front();
        pending_.pop_front();
        QMetaObject::invokeMethod(
            this,
            [this, buffer] {
                inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), buffer));
                returned.push_back(buffer);
                emit BufferDone(buffer);
            },
            Qt::QueuedConnection);
    }

    bool open_ = false;
    bool started_ = false;
    std::deque<trx5::SoundBuffer*> pending_;
    std::vector<trx5::SoundBuffer*> inFlight_;
};
