// Preloaded into trx5card by the start-up test: the first read of a take's
// fourth block waits 100 ms, as when a busy machine preempts the player
// while it makes its first buffers. Sound that began before the player had
// them all at hand would break after three buffers; sound that begins with
// them all does not.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr long kTakeHeaderBytes = 512;
constexpr long kTakeBlockBytes = 512;
constexpr long kFourthBlock = kTakeHeaderBytes + 3 * kTakeBlockBytes;
constexpr useconds_t kStallUs = 100000;

std::atomic<bool> stalled{false};

}  // namespace

extern "C" std::size_t fread(void* data, std::size_t size, std::size_t count, std::FILE* file) {
    using Read = std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*);
    static const auto real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "fread"));
    if (size * count == kTakeBlockBytes && std::ftell(file) == kFourthBlock &&
        !stalled.exchange(true)) {
        usleep(kStallUs);
    }
    return real(data, size, count, file);
}
