// A sound test without its sound server: skipped on a developer's machine
// that has none, failed where the server is required (scripts/test.sh, CI).
#pragma once

#include <gtest/gtest.h>

#include "sound_support.h"

#define TRX5_NO_SOUND(why)                               \
    do {                                                 \
        if (trx5sound::SoundRequired()) FAIL() << (why); \
        GTEST_SKIP() << (why);                           \
    } while (false)
