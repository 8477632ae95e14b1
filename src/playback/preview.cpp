#include "playback/preview.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "audiofile/converted_source.h"

namespace trx5 {

Preview::Preview(SoundOutput& output, QObject* parent) : QObject(parent), output_(output) {
    connect(&output_, &SoundOutput::BufferDone, this, &Preview::PreviewBufferDone);
}

Preview::~Preview() { StopPreview(); }

bool Preview::Start(const std::string& path, std::optional<PreviewTarget> target) {
    StopPreview();
    auto opened = AudioSource::Open(path, FrameCount::kEstimate);
    if (!opened) return true;
    return Start(std::move(opened.value()), target);
}

bool Preview::Start(std::unique_ptr<AudioSource> source, std::optional<PreviewTarget> target) {
    StopPreview();
    PreviewFile = std::move(source);
    if (!PreviewFile) return true;
    if (target) {
        const AudioSourceInfo& file = PreviewFile->info();
        SourceConversion conversion;
        conversion.channels = file.channels == 2 && !target->oneTake ? 2 : 1;
        conversion.mixStereo = target->oneTake && target->mixToMono;
        if (!target->keepRate) conversion.rate = target->songRate;
        auto shaped = ConvertSource(std::move(PreviewFile), conversion);
        if (!shaped) return true;
        PreviewFile = std::move(shaped.value());
    }
    const int channels = PreviewFile->info().channels;
    const double fileRate = target ? double(target->songRate) : PreviewFile->info().rate;
    const auto rate = static_cast<int>(std::min(fileRate, double(std::numeric_limits<int>::max())));
    if (!output_.Open({channels, rate})) {
        PreviewFile.reset();
        return false;
    }
    previewing_ = true;
    ++playback_;
    endBuffer_ = nullptr;
    // Buffers are made and queued one by one until one finds the end of
    // the file; that one is still queued, holding silence. The sound begins
    // with them all at hand.
    for (int i = 0; i < kBuffers; ++i) {
        auto buffer = std::make_unique<SoundBuffer>();
        buffer->samples.assign(static_cast<std::size_t>(kFramesPerBuffer) * channels, 0);
        buffers_.push_back(std::move(buffer));
        if (FillPreviewBuffer(*buffers_.back())) {
            endBuffer_ = buffers_.back().get();
            break;
        }
    }
    if (!output_.Start()) {
        previewing_ = false;
        for (auto& buffer : buffers_) returning_.push_back(std::move(buffer));
        buffers_.clear();
        PreviewFile.reset();
        return false;
    }
    return true;
}

bool Preview::FillPreviewBuffer(SoundBuffer& buffer) {
    const std::size_t channels = static_cast<std::size_t>(PreviewFile->info().channels);
    const std::size_t read = PreviewFile->Read(buffer.samples.data(), kFramesPerBuffer);
    // What the file no longer gives is silence.
    std::fill(buffer.samples.begin() + static_cast<std::ptrdiff_t>(read * channels),
              buffer.samples.end(), std::int16_t(0));
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
    emit Stopped();
}

}  // namespace trx5
