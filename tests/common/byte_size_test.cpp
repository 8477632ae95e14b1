#include "common/byte_size.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Nearest rounding, one decimal only below 10, and the step to the next unit
// where rounding reaches 1000.
TEST(FormatByteSize, DecimalUnits) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {999, "999 bytes"},
        {1000, "1.0 kB"},
        {1049, "1.0 kB"},
        {1050, "1.1 kB"},
        {9949, "9.9 kB"},
        {9950, "10 kB"},
        {999499, "999 kB"},
        {999500, "1.0 MB"},
        {120'000'000, "120 MB"},
        {120'499'999, "120 MB"},
        {4'026'531'840, "4.0 GB"},
        {4'000'000'000'000, "4.0 TB"},
        {UINT64_MAX, "18 EB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(trx5::FormatByteSize(bytes), text) << bytes;
}

}  // namespace
