#include "audiofile/converted_source.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace trx5 {

namespace {

// Source frames handed to libsoxr per call; a few thousand keep its
// internal buffers and ours in the cache.
constexpr std::size_t kInputFrames = 4096;

class ConvertedSource final : public AudioSource {
  public:
    ConvertedSource(std::unique_ptr<AudioSource> source, int channels, bool mix, soxr_t soxr,
                    double rate)
        : source_(std::move(source)), mix_(mix), soxr_(soxr) {
        info_.channels = channels;
        info_.rate = rate;
        info_.sampleFormat = source_->info().sampleFormat;
        SetFrames();
        if (soxr_ != nullptr) input_.resize(kInputFrames * std::size_t(channels));
    }
    ~ConvertedSource() override {
        if (soxr_ != nullptr) soxr_delete(soxr_);
    }

    std::size_t ReadChannels(std::int16_t* samples, std::size_t frames, int keep) override {
        if (keep == info_.channels) return Produce(samples, frames);
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t want = std::min(frames - done, kInputFrames);
            scratch_.resize(want * std::size_t(info_.channels));
            const std::size_t got = Produce(scratch_.data(), want);
            for (std::size_t i = 0; i < got; ++i) {
                std::copy_n(&scratch_[i * std::size_t(info_.channels)], keep,
                            samples + (done + i) * std::size_t(keep));
            }
            done += got;
            if (got < want) break;
        }
        return done;
    }

  private:
    Result<bool> Count(const std::function<bool()>& keepGoing) override {
        auto counted = source_->CountFrames(keepGoing);
        if (counted && *counted) SetFrames();
        return counted;
    }

    // The frames given for the source's: ConvertedFrames of them with a
    // conversion, and exact when the source's are.
    void SetFrames() {
        const AudioSourceInfo& in = source_->info();
        info_.framesExact = in.framesExact;
        info_.frames =
            soxr_ != nullptr ? ConvertedFrames(in.frames, in.rate, info_.rate) : in.frames;
    }

    // Frames of the source with the wanted channels, at its own rate.
    std::size_t ReadShaped(std::int16_t* out, std::size_t frames) {
        std::size_t got = 0;
        if (mix_) {
            stereo_.resize(frames * 2);
            got = source_->ReadChannels(stereo_.data(), frames, 2);
            // An arithmetic shift rounds toward minus infinity.
            for (std::size_t i = 0; i < got; ++i) {
                out[i] = std::int16_t((stereo_[2 * i] + stereo_[2 * i + 1]) >> 1);
            }
        } else {
            got = source_->ReadChannels(out, frames, info_.channels);
        }
        sourceRead_ += got;
        return got;
    }

    // The next frames: exactly info_.frames in all when they are exact,
    // unless the source ends before its count; else as many as come.
    std::size_t Produce(std::int16_t* out, std::size_t frames) {
        const std::uint64_t total = info_.framesExact ? info_.frames : UINT64_MAX;
        std::size_t done = 0;
        while (done < frames && given_ < total) {
            const std::size_t want =
                std::size_t(std::min<std::uint64_t>(frames - done, total - given_));
            const std::size_t got = Next(out + done * std::size_t(info_.channels), want);
            if (got == 0) {
                given_ = total;  // nothing more comes
                break;
            }
            done += got;
            given_ += got;
        }
        return done;
    }

    // Up to `frames` frames; 0 only when nothing more comes.
    std::size_t Next(std::int16_t* out, std::size_t frames) {
        if (padding_) {
            std::fill_n(out, frames * std::size_t(info_.channels), std::int16_t(0));
            return frames;
        }
        if (soxr_ == nullptr) return ReadShaped(out, frames);
        for (;;) {
            if (inputAt_ == inputFrames_ && !sourceEnded_) {
                inputFrames_ = ReadShaped(input_.data(), kInputFrames);
                inputAt_ = 0;
                sourceEnded_ = inputFrames_ == 0;
            }
            std::size_t got = 0;
            soxr_error_t error = nullptr;
            if (inputAt_ < inputFrames_) {
                std::size_t used = 0;
                error = soxr_process(soxr_, &input_[inputAt_ * std::size_t(info_.channels)],
                                     inputFrames_ - inputAt_, &used, out, frames, &got);
                inputAt_ += used;
            } else {
                // The source has ended: what libsoxr still holds.
                error = soxr_process(soxr_, nullptr, 0, nullptr, out, frames, &got);
                if (error == nullptr && got == 0) {
                    // libsoxr may give a frame short of the rounded count:
                    // silence makes it up, unless the source ended early
                    // (or its length was never counted).
                    if (!info_.framesExact || sourceRead_ < source_->info().frames) return 0;
                    padding_ = true;
                    return Next(out, frames);
                }
            }
            if (error != nullptr) return 0;
            if (got > 0) return got;
        }
    }

    std::unique_ptr<AudioSource> source_;
    bool mix_;
    soxr_t soxr_;
    std::vector<std::int16_t> input_;  // source frames waiting for libsoxr
    std::size_t inputFrames_ = 0;
    std::size_t inputAt_ = 0;
    bool sourceEnded_ = false;
    bool padding_ = false;
    std::uint64_t sourceRead_ = 0;
    std::uint64_t given_ = 0;
    std::vector<std::int16_t> stereo_;
    std::vector<std::int16_t> scratch_;
};

}  // namespace

std::uint64_t ConvertedFrames(std::uint64_t frames, double from, double to) {
    if (frames == 0 || !(from > 0) || !(to > 0)) return 0;
    std::uint64_t converted = 0;
    if (from == std::floor(from) && to == std::floor(to) && from < 18446744073709551616.0 &&
        to < 18446744073709551616.0) {
        // Whole rates: exact, in 128 bits.
        using Wide = unsigned __int128;
        const Wide in = Wide(std::uint64_t(from));
        const Wide n = (Wide(frames) * std::uint64_t(to) * 2 + in) / (in * 2);
        converted = n > Wide(UINT64_MAX) ? UINT64_MAX : std::uint64_t(n);
    } else {
        const long double n =
            std::floor((long double)frames * (long double)to / (long double)from + 0.5L);
        converted = n >= 18446744073709551615.0L ? UINT64_MAX : std::uint64_t(n);
    }
    return std::max<std::uint64_t>(converted, 1);
}

Result<std::unique_ptr<AudioSource>> ConvertSource(std::unique_ptr<AudioSource> source,
                                                   const SourceConversion& conversion) {
    const AudioSourceInfo& in = source->info();
    const int channels = std::clamp(conversion.channels, 1, in.channels);
    const bool mix = conversion.mixStereo && channels == 1 && in.channels == 2;
    const bool newRate = conversion.rate && *conversion.rate != in.rate;
    if (channels == in.channels && !newRate) return source;

    if (newRate && in.rate < kLowestConvertedRate) {
        char rate[48];
        char lowest[48];
        std::snprintf(rate, sizeof rate, "%.10g", in.rate);
        std::snprintf(lowest, sizeof lowest, "%.10g", kLowestConvertedRate);
        return Status::Fail(ErrorCode::CannotConvert, kMsgCannotConvert,
                            RateTooLowText(rate, lowest));
    }
    soxr_t soxr = nullptr;
    if (newRate) {
        // 16-bit samples in and out, without dither, so a conversion always
        // gives the same samples; one thread.
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        soxr = soxr_create(in.rate, *conversion.rate, unsigned(channels), &error, &io, &quality,
                           &runtime);
        if (soxr == nullptr) {
            return Status::Fail(ErrorCode::CannotConvert, kMsgCannotConvert,
                                error != nullptr ? error : "");
        }
    }
    const double rate = newRate ? *conversion.rate : in.rate;
    return std::unique_ptr<AudioSource>(
        std::make_unique<ConvertedSource>(std::move(source), channels, mix, soxr, rate));
}

}  // namespace trx5
