#include "playback/audition.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

#include "codec/take_codec.h"
#include "codec/track_mix.h"

namespace trx5 {

Audition::Audition(SoundOutput& output, KnobReader knobs, QObject* parent)
    : QObject(parent), output_(output), knobs_(std::move(knobs)) {
    connect(&output_, &SoundOutput::BufferDone, this, &Audition::AuditionBufferDone);
}

Audition::~Audition() {
    if (AuditionPlaying) {
        AuditionPlaying = false;
        output_.Close();
    }
}

bool Audition::Start(const TakePaths& takePaths, bool longMode) {
    longMode_ = longMode;
    if (!output_.Open({2, SampleRate(longMode)})) return false;
    ++playback_;

    std::uint64_t blocks = 0;
    for (int t = 0; t < kTracks; ++t) {
        AuditionFiles[t].reset();
        if (takePaths[t].empty()) continue;
        Result<TakeReader> take = TakeReader::Open(takePaths[t]);
        if (!take) continue;
        blocks = std::max(blocks, take->blocks());
        AuditionFiles[t] = std::move(*take);
    }
    AuditionBlocks = static_cast<int>(
        std::min<std::uint64_t>(blocks, std::numeric_limits<int>::max() - kBuffers));

    AuditionQueued = 0;
    for (SoundBuffer& buffer : buffers_) {
        buffer.samples.assign(static_cast<std::size_t>(SamplesPerBlock(longMode)) * 2, 0);
        FillAuditionBuffer(buffer);
    }
    // The sound begins with the whole ring at hand.
    AuditionPlaying = true;
    if (!output_.Start()) {
        AuditionPlaying = false;
        for (std::optional<TakeReader>& take : AuditionFiles) take.reset();
        return false;
    }
    return true;
}

void Audition::RequestStop() {
    QMetaObject::invokeMethod(
        this, [this, playback = playback_] { StopAudition(playback); }, Qt::QueuedConnection);
}

void Audition::FillAuditionBuffer(SoundBuffer& buffer) {
    std::fill(buffer.samples.begin(), buffer.samples.end(), std::int16_t(0));
    const int spb = SamplesPerBlock(longMode_);
    std::uint8_t block[kTakeBlockSize];
    std::int16_t decoded[kMaxSamplesPerBlock];
    for (int t = 0; t < kTracks; ++t) {
        std::optional<TakeReader>& take = AuditionFiles[t];
        if (!take) continue;
        const Result<std::size_t> got = take->Read(block, 1);
        if (!got || *got == 0) continue;  // the take has ended
        DecodeTakeBlock(block, decoded, longMode_);
        // The knobs as they stand now: turning one is heard once the
        // buffers queued before have played.
        const TrackKnobs knobs = knobs_(t);
        MixTrackBlock(buffer.samples.data(), decoded, spb, knobs.level, knobs.pan);
    }
    output_.Queue(&buffer);
    ++AuditionQueued;
    emit ProgressChanged(AuditionBlocks == 0 ? 0 : AuditionQueued * 100 / AuditionBlocks);
    // By now the buffer that carried the last block has played and only
    // silence is queued.
    if (AuditionQueued >= AuditionBlocks + kBuffers) RequestStop();
}

void Audition::AuditionBufferDone(SoundBuffer* buffer) {
    if (AuditionPlaying) FillAuditionBuffer(*buffer);
}

void Audition::StopAudition(int playback) {
    if (!AuditionPlaying || playback != playback_) return;
    emit Stopping();
    for (std::optional<TakeReader>& take : AuditionFiles) take.reset();
    AuditionPlaying = false;
    output_.Reset();
    // The buffers come back now and are not refilled.
    QCoreApplication::processEvents();
    output_.Close();
    emit Stopped();
}

}  // namespace trx5
