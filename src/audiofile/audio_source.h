// A readable audio file of any format: WAV and AIFF files that the
// program's own reader recognises are read by it, as they always were;
// every other file (FLAC, Ogg Vorbis, Opus, MP3, float WAV, W64, CAF, RF64
// ...) through libsndfile. Frames come as interleaved signed 16-bit samples,
// read in order from the first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/result.h"

namespace trx5 {

struct AudioSourceInfo {
    int channels = 0;
    double rate = 0.0;  // frames per second; an AIFF may give a fraction
    // The frames the file holds. When `framesExact`: those reading gives, at
    // least 1 (of a WAV/AIFF those its data really holds, of others as their
    // header states it when the frame before that end can be read, else as
    // many as decode up to that end; of an MPEG or Ogg stream always as many
    // as decode); a file damaged in the middle may still end before.
    // Otherwise the header's claim, 0 when it has none, and reading goes on
    // to the end of the stream.
    std::uint64_t frames = 0;
    bool framesExact = true;
    std::string sampleFormat;  // "16", "24 (FLAC)", "32 float (WAV)", "Vorbis (Ogg)", "MP3"
};

// How Open finds out a file's length.
enum class FrameCount {
    kExact,     // counted: what an import or a description needs
    kEstimate,  // the header's claim, for playing: opening stays quick
};

class AudioSource {
  public:
    virtual ~AudioSource() = default;
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Opens a regular file (a FIFO or device is refused without blocking).
    // Fails with "The file could not be opened." and the system's reason, or
    // with "The file is not a WAV/AIFF." for a file that holds no usable
    // frame: one the own reader recognises but cannot use (it is not handed
    // to libsndfile, which would guess at its broken fields), one libsndfile
    // cannot read, or one without frames or with a rate below 1 Hz. For a
    // file of a kind libsndfile knows, the reason says what is wrong ("the
    // FLAC stream is damaged", "the file holds no frames"). The first frame
    // is always decoded; with kExact the frames are counted too
    // (CountFrames).
    static Result<std::unique_ptr<AudioSource>> Open(const std::string& path,
                                                     FrameCount count = FrameCount::kExact);

    // Makes info().frames exact, before any frame is read: for a file that
    // libsndfile reads, the header's claim is checked by reading the frame
    // before its end, and when that fails the frames are decoded and counted
    // (an MPEG or Ogg stream's always). `keepGoing` is asked
    // between pieces of the count: when it answers false, counting stops and
    // the result is false (the source is then of no further use). True once
    // counted, at once for a source whose frames are already exact. Fails
    // like Open when the file cannot be read again from its start.
    Result<bool> CountFrames(const std::function<bool()>& keepGoing = {}) {
        if (info_.framesExact) return true;
        return Count(keepGoing);
    }

    const AudioSourceInfo& info() const { return info_; }

    // Reads the next `frames` frames into `interleaved` (frames * channels
    // values). Returns the frames read: fewer only at the end of the file,
    // or where it cannot be decoded further; nothing past the end is written.
    std::size_t Read(std::int16_t* interleaved, std::size_t frames) {
        return ReadChannels(interleaved, frames, info_.channels);
    }
    // Like Read, keeping only the first `keep` channels of every frame
    // (frames * keep values); 1 <= keep <= channels.
    virtual std::size_t ReadChannels(std::int16_t* samples, std::size_t frames, int keep) = 0;

  protected:
    AudioSource() = default;
    // Counts the frames of a source whose frames are not exact yet.
    virtual Result<bool> Count(const std::function<bool()>& keepGoing) = 0;
    AudioSourceInfo info_;
};

}  // namespace trx5
