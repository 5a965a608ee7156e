#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// A four-character chunk id as it appears in the file, first character in the low byte.
using FourCC = std::uint32_t;

constexpr FourCC makeFourCC(const char (&id)[5]) {
    return FourCC(std::uint8_t(id[0])) | FourCC(std::uint8_t(id[1])) << 8 |
           FourCC(std::uint8_t(id[2])) << 16 | FourCC(std::uint8_t(id[3])) << 24;
}

// The id stored in the four bytes at p.
inline FourCC fourCCAt(const std::uint8_t* p) {
    return FourCC{p[0]} | FourCC{p[1]} << 8 | FourCC{p[2]} << 16 | FourCC{p[3]} << 24;
}

inline std::string fourCCText(FourCC id) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[i] = static_cast<char>((id >> (8 * i)) & 0xFF);
    return text;
}

} // namespace tolvane
