// Preloaded into trx5card by the exit test: every message from the sound
// server that a PulseAudio event thread dispatches takes a millisecond
// longer, as when a busy machine preempts that thread mid-dispatch. An exit
// that tore the connection down under such a thread would then meet it in
// one run of a few, not in a few runs of a hundred.
#include <dlfcn.h>
#include <unistd.h>

extern "C" int pa_pdispatch_run(void* dispatch, void* packet, void* ancil, void* userdata) {
    using Run = int (*)(void*, void*, void*, void*);
    static const auto real = reinterpret_cast<Run>(dlsym(RTLD_NEXT, "pa_pdispatch_run"));
    usleep(1000);
    return real(dispatch, packet, ancil, userdata);
}
