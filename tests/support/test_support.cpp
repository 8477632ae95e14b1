#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"

namespace trx5test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "trx5test-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    if (made == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
        return;
    }
    path_ = std::string(made) + "/";
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    // Make read-only folders left by a test removable again.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all,
                                                  fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void WriteFile(const std::string& path, const std::string& text) {
    WriteFile(path, Bytes(text.begin(), text.end()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) {
        in.clear();
        in.seekg(0);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // In one read: the tests compare whole takes of many megabytes.
    Bytes bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void PutLE16(Bytes& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void PutLE32(Bytes& b, std::uint32_t v) {
    PutLE16(b, v & 0xFFFF);
    PutLE16(b, v >> 16);
}
void PutBE16(Bytes& b, std::uint32_t v) {
    b.push_back((v >> 8) & 0xFF);
    b.push_back(v & 0xFF);
}
void PutBE32(Bytes& b, std::uint32_t v) {
    PutBE16(b, v >> 16);
    PutBE16(b, v & 0xFFFF);
}
void PutText(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

void MakeMachineFile(const std::string& folder) {
    Bytes b;
    PutText(b, trx5::kMachineSignature);
    b.resize(64, 0);
    WriteFile(folder + trx5::kMachineFileName, b);
}

void MakeSongFile(const std::string& folder, int fileNumber, bool longMode) {
    Bytes b;
    PutText(b, trx5::kSongSignature);
    b.resize(trx5::kSongModeOffset, 0);
    PutLE32(b, longMode ? 1 : 0);
    b.resize(256, 0);
    char name[32];
    std::snprintf(name, sizeof name, "UtyPrm%02d.tx5", fileNumber);
    WriteFile(folder + name, b);
}

void MakeTake(const std::string& folder, int fileNumber, int track, int vtake, bool longMode,
              int blocks, int seed) {
    const trx5::TakeHeader header = trx5::MakeTakeHeader(longMode);
    Bytes b(header.begin(), header.end());
    const int spb = trx5::SamplesPerBlock(longMode);
    std::vector<std::int16_t> samples(spb);
    std::uint8_t block[trx5::kTakeBlockSize];
    for (int n = 0; n < blocks; ++n) {
        for (int i = 0; i < spb; ++i) {
            const double t = double(n * spb + i);
            samples[i] = std::int16_t(12000.0 * std::sin(t * 0.01 * (seed + 1)) +
                                      3000.0 * std::sin(t * 0.137 * (seed + 2)));
        }
        trx5::EncodeTakeBlock(block, samples.data(), longMode);
        b.insert(b.end(), block, block + sizeof block);
    }
    WriteFile(folder + trx5::TakeFileName(fileNumber, track, vtake), b);
}

}  // namespace trx5test
