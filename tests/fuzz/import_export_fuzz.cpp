// Import of an arbitrary file into one or two takes of a card folder, then
// export of those takes to a WAV or AIFF file that is read back. The last
// input byte also picks the song mode (bit 0), a right-channel target
// (bit 1) and the export format (bit 2).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "audiofile/audio_source.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "convert/export.h"
#include "convert/import.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

// Keeps one run fast.
constexpr std::size_t kMaxInput = 1 << 16;

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    Bytes bytes;
    std::uint8_t buffer[8192];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(f);
    return bytes;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whole frames the file holds from its first sample byte on, up to the
// number its header claims.
std::uint64_t HeldFrames(const trx5::AudioFileInfo& info, std::size_t size) {
    if (info.kind == trx5::AudioKindNone || info.channels <= 0 || info.bitsPerSample < 8 ||
        info.dataStart <= 0) {
        return 0;
    }
    const std::uint64_t frameBytes = std::uint64_t(info.channels) * info.BytesPerSample();
    return std::min<std::uint64_t>(info.frames,
                                   (size - std::uint64_t(info.dataStart)) / frameBytes);
}

// The frames the file holds, all channels interleaved.
Samples SourceFrames(const std::uint8_t* data, std::size_t size, std::uint64_t held) {
    trx5fuzz::MemoryFile file(data, size);
    trx5::AudioFileInfo info;
    trx5::OpenAudioFileInfo(info, file.get());
    Samples frames(held * std::size_t(info.channels));
    const bool seeked = trx5::SeekFrame(info, file.get(), 0).ok();
    FUZZ_CHECK(seeked);
    FUZZ_CHECK(trx5::ReadFrames(info, file.get(), held, frames.data()) == held * info.channels);
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxInput) return 0;
    const std::uint8_t control = data[size - 1];
    const bool longMode = (control & 1) != 0;
    const bool rightTarget = (control & 2) != 0;
    const bool aiff = (control & 4) != 0;
    const std::uint64_t spb = std::uint64_t(trx5::SamplesPerBlock(longMode));

    trx5::AudioFileInfo info;
    {
        trx5fuzz::MemoryFile file(data, size);
        trx5::OpenAudioFileInfo(info, file.get());
    }
    // Only the frames the file really holds are coded, never more than the
    // header claims: the work stays bounded by the input's size.
    const std::uint64_t held = HeldFrames(info, size);
    const std::uint64_t takeBlocks = (held + spb - 1) / spb;
    const double rate = trx5::ExtendedToDouble(info.sampleRate);
    const bool usable = held > 0 && rate >= 1.0 && rate <= 4294967295.0;

    const std::string work = trx5fuzz::FreshFolder("work");
    const std::string card = trx5fuzz::FreshFolder("work/card");
    const std::string source = work + "source";
    trx5fuzz::WriteBytes(source, data, size);

    trx5::ImportRequest request;
    request.sourcePath = source;
    request.cardDir = card;
    request.fileNumber = 0;
    request.longMode = longMode;
    request.first = {0, 0};
    if (rightTarget) request.second = trx5::TakeSlot{1, 0};
    // The samples as they are, so the takes can be checked against the
    // reader's frames; rate conversion has tests of its own.
    request.keepRate = true;
    trx5::NoProgress progress;
    const auto imported = trx5::ImportTakes(request, progress);

    // A file the own reader does not recognise goes to libsndfile: the
    // import takes it exactly when AudioSource does, and otherwise leaves
    // the card as it was.
    if (info.kind == trx5::AudioKindNone) {
        FUZZ_CHECK(imported.ok() == trx5::AudioSource::Open(source).ok());
        if (!imported) FUZZ_CHECK(FolderNames(card).empty());
        std::error_code ec;
        fs::remove_all(work, ec);
        return 0;
    }

    // Only a file that is not a usable WAV/AIFF, or that holds no frame, is
    // refused; the card then stays as it was.
    FUZZ_CHECK(imported.ok() == usable);
    if (!imported) {
        FUZZ_CHECK(FolderNames(card).empty());
        return 0;
    }

    const bool stereo = rightTarget && info.channels == 2;
    const std::vector<trx5::TakeSlot> slots =
        stereo ? std::vector<trx5::TakeSlot>{{0, 0}, {1, 0}} : std::vector<trx5::TakeSlot>{{0, 0}};
    FUZZ_CHECK(!imported->cancelled && imported->blocks == held / spb);
    FUZZ_CHECK(imported->takePaths.size() == slots.size());
    std::vector<std::string> names;
    for (const trx5::TakeSlot& slot : slots)
        names.push_back(trx5::TakeFileName(0, slot.track, slot.vtake));
    FUZZ_CHECK(FolderNames(card) == names);  // the takes and nothing left over

    // Each take: the header of the mode, then the channel's samples coded
    // block by block, the last block filled up with silence.
    const std::uint64_t channels = std::uint64_t(info.channels);
    const Samples frames = SourceFrames(data, size, held);
    const trx5::TakeHeader header = trx5::MakeTakeHeader(longMode);
    std::vector<Bytes> takes;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        FUZZ_CHECK(imported->takePaths[k] == card + names[k]);
        FUZZ_CHECK(trx5::IsTakeFile(imported->takePaths[k]));
        Bytes take = ReadAll(imported->takePaths[k]);
        FUZZ_CHECK(take.size() == trx5::kTakeHeaderSize + takeBlocks * trx5::kTakeBlockSize);
        FUZZ_CHECK(std::equal(header.begin(), header.end(), take.begin()));
        Samples channel(takeBlocks * spb, 0);
        for (std::size_t i = 0; i < held; ++i) channel[i] = frames[i * channels + k];
        Bytes coded(takeBlocks * trx5::kTakeBlockSize);
        trx5::EncodeTakeBlocks(coded.data(), channel.data(), takeBlocks, longMode);
        FUZZ_CHECK(std::equal(coded.begin(), coded.end(), take.begin() + header.size()));
        takes.push_back(std::move(take));
    }

    trx5::ExportRequest exportRequest;
    exportRequest.longMode = longMode;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        exportRequest.takePaths[k] = imported->takePaths[k];
    }
    const std::string mixName = aiff ? "mix.aif" : "mix.wav";
    exportRequest.outputPath = work + mixName;
    exportRequest.format = aiff ? trx5::ExportFormat::Aiff : trx5::ExportFormat::Wav;
    const auto exported = trx5::ExportTakes(exportRequest, progress);
    FUZZ_CHECK(exported.ok());
    FUZZ_CHECK(exported->channels == int(slots.size()) && exported->blocks == takeBlocks &&
               exported->blocksWritten == takeBlocks && !exported->cancelled);
    FUZZ_CHECK(FolderNames(work) == (std::vector<std::string>{"card", mixName, "source"}));

    // Read back: one channel per take (a pair is mixed to stereo), every
    // block's samples, and a lone take's samples unchanged.
    std::FILE* out = std::fopen(exportRequest.outputPath.c_str(), "rb");
    FUZZ_CHECK(out != nullptr);
    trx5::AudioFileInfo mix;
    const std::int32_t kind = trx5::OpenAudioFileInfo(mix, out);
    FUZZ_CHECK(kind == (aiff ? trx5::AudioKindAiff : trx5::AudioKindWav));
    FUZZ_CHECK(mix.channels == int(slots.size()) && (mix.channels == 1 || mix.channels == 2));
    FUZZ_CHECK(mix.frames == takeBlocks * spb && mix.bitsPerSample == 16);
    FUZZ_CHECK(trx5::ExtendedToDouble(mix.sampleRate) == trx5::SampleRate(longMode));
    Samples mixed(std::size_t(mix.frames) * std::size_t(mix.channels));
    const bool seeked = trx5::SeekFrame(mix, out, 0).ok();
    FUZZ_CHECK(seeked);
    FUZZ_CHECK(trx5::ReadFrames(mix, out, mix.frames, mixed.data()) == mixed.size());
    std::fclose(out);
    if (slots.size() == 1) {
        Samples decoded(takeBlocks * spb);
        trx5::DecodeTakeBlocks(takes[0].data() + header.size(), decoded.data(), takeBlocks,
                               longMode);
        FUZZ_CHECK(decoded == mixed);
    }

    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
