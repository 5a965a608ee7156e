#include "samplers/SamplerNames.h"

#include <cstdint>

namespace tolvane {
namespace {

// The letters of U+00C0 to U+017F without their accents, one character each.
constexpr std::string_view kLatin1Letters = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTs"
                                            "aaaaaaaceeeeiiiidnooooo/ouuuuyty";
constexpr std::string_view kLatinExtendedA = "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIi"
                                             "JjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTt"
                                             "UuUuUuUuUuUuWwYyYZzZzZzs";

char asciiFor(char32_t c) {
    if (c >= 0x20 && c < 0x7F)
        return static_cast<char>(c);
    if (c >= 0xC0 && c < 0x100)
        return kLatin1Letters[c - 0xC0];
    if (c >= 0x100 && c < 0x180)
        return kLatinExtendedA[c - 0x100];
    switch (c) {
    case 0xA1:
        return '!';
    case 0xBF:
        return '?';
    case 0xB7:
        return '.';
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
        return '-';
    case 0x2018:
    case 0x2019:
    case 0xB4:
        return '\'';
    case 0x201C:
    case 0x201D:
    case 0xAB:
    case 0xBB:
        return '"';
    default:
        return ' ';
    }
}

// The code point at `at` and the bytes it takes; a byte that starts no valid UTF-8 sequence
// is one character of its own (which has no form: a blank).
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || at + length > text.size())
        return {0xFFFD, 1};
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return {0xFFFD, 1};
        c = c << 6 | (next & 0x3F);
    }
    return {c, length};
}

} // namespace

std::string samplerText(std::string_view utf8, std::size_t length) {
    std::string text;
    for (std::size_t at = 0; at < utf8.size() && text.size() < length;) {
        const auto [c, bytes] = decodeAt(utf8, at);
        text += asciiFor(c);
        at += bytes;
    }
    return text;
}

std::string samplerText(std::string_view utf8) {
    return samplerText(utf8, utf8.size());
}

} // namespace tolvane
