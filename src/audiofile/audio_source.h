// A readable audio file of any format: WAV and AIFF files that the
// program's own reader recognises are read by it, as they always were;
// every other file (FLAC, Ogg Vorbis, Opus, MP3, float WAV, W64, CAF, RF64
// ...) through libsndfile. Frames come as interleaved signed 16-bit samples,
// read in order from the first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/result.h"

namespace trx5 {

struct AudioSourceInfo {
    int channels = 0;
    double rate = 0.0;  // frames per second; an AIFF may give a fraction
    // The frames the file holds, at least 1: of a WAV/AIFF those its data
    // really holds, of others as their header states it (a FLAC file's
    // stream info, an Ogg file's last position), of an MP3 file as many as
    // decode. A damaged file may end before.
    std::uint64_t frames = 0;
    std::string sampleFormat;  // "16", "24 (FLAC)", "32 float (WAV)", "Vorbis (Ogg)", "MP3"
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
    // cannot read, or one without frames or with a rate below 1 Hz.
    static Result<std::unique_ptr<AudioSource>> Open(const std::string& path);

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
    AudioSourceInfo info_;
};

}  // namespace trx5
