#include "common/byte_size.h"

#include <cstdio>

namespace trx5 {

std::string FormatByteSize(std::uint64_t bytes) {
    if (bytes == 1) return "1 byte";
    if (bytes < 1000) return std::to_string(bytes) + " bytes";
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    // In 128 bits, so tenths of the largest count do not overflow.
    using Wide = unsigned __int128;
    Wide unit = 1;
    char text[32];
    for (const char* name : kUnits) {
        unit *= 1000;
        const Wide tenths = (Wide(bytes) * 10 + unit / 2) / unit;
        if (tenths < 100) {
            std::snprintf(text, sizeof text, "%u.%u %s", unsigned(tenths / 10),
                          unsigned(tenths % 10), name);
            return text;
        }
        const Wide whole = (Wide(bytes) + unit / 2) / unit;
        if (whole < 1000 || name == kUnits[5]) {
            std::snprintf(text, sizeof text, "%u %s", unsigned(whole), name);
            return text;
        }
    }
    return {};  // not reached: the last unit always gives the text
}

}  // namespace trx5
