#include "playback/preview.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trx5 {

Preview::Preview(SoundOutput& output, QObject* parent) : QObject(parent), output_(output) {
    connect(&output_, &SoundOutput::BufferDone, this, &Preview::PreviewBufferDone);
}

Preview::~Preview() { StopPreview(); }

bool Preview::Start(const std::string& path) {
    StopPreview();
    PreviewFile = OpenRegularFile(path);
    if (!PreviewFile) return true;
    OpenAudioFileInfo(PreviewInfo_, PreviewFile.get());
    if (!IsUsableAudio(PreviewInfo_)) {
        FreeAudioFileInfo(PreviewInfo_);
        PreviewFile.reset();
        return true;
    }
    const int channels = PreviewInfo_.channels;
    const auto rate = static_cast<int>(std::min(ExtendedToDouble(PreviewInfo_.sampleRate),
                                                double(std::numeric_limits<int>::max())));
    if (!output_.Open({channels, rate})) {
        FreeAudioFileInfo(PreviewInfo_);
        PreviewFile.reset();
        return false;
    }
    previewing_ = true;
    ++playback_;
    endBuffer_ = nullptr;
    if (!SeekFrame(PreviewInfo_, PreviewFile.get(), 0)) {
        StopPreview();
        return true;
    }
    // Buffers are made and queued one by one until one finds the end of
    // the file; that one is still queued, holding silence.
    for (int i = 0; i < kBuffers; ++i) {
        auto buffer = std::make_unique<SoundBuffer>();
        buffer->samples.assign(static_cast<std::size_t>(kFramesPerBuffer) * channels, 0);
        buffers_.push_back(std::move(buffer));
        if (FillPreviewBuffer(*buffers_.back())) {
            endBuffer_ = buffers_.back().get();
            break;
        }
    }
    return true;
}

bool Preview::FillPreviewBuffer(SoundBuffer& buffer) {
    const std::size_t read =
        ReadFrames(PreviewInfo_, PreviewFile.get(), kFramesPerBuffer, buffer.samples.data());
    output_.Queue(&buffer);
    return read == 0;
}

void Preview::PreviewBufferDone(SoundBuffer* buffer) {
    auto owns = [buffer](const std::unique_ptr<SoundBuffer>& b) { return b.get() == buffer; };
    // Buffers that come back after their playback stopped are released.
    if (const auto old = std::find_if(returning_.begin(), returning_.end(), owns);
        old != returning_.end()) {
        returning_.erase(old);
        return;
    }
    if (!Playing() || std::none_of(buffers_.begin(), buffers_.end(), owns)) return;
    if (endBuffer_ != nullptr) {
        // The end was read: stop once the frames before it have played, so
        // the end of the file is heard.
        if (buffer == endBuffer_) {
            QMetaObject::invokeMethod(
                this,
                [this, playback = playback_] {
                    if (playback == playback_) StopPreview();
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (FillPreviewBuffer(*buffer)) endBuffer_ = buffer;
}

void Preview::StopPreview() {
    if (!previewing_) return;
    previewing_ = false;
    output_.Reset();
    output_.Close();
    for (auto& buffer : buffers_) returning_.push_back(std::move(buffer));
    buffers_.clear();
    PreviewFile.reset();
    FreeAudioFileInfo(PreviewInfo_);
    emit Stopped();
}

}  // namespace trx5
