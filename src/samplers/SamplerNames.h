#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// A name (UTF-8) as a sampler's character set takes it: every character becomes exactly one
// character of printable ASCII, its letter for the accented Latin letters ("Küche" is
// "Kuche"), a close ASCII form for a few marks (curly quotes, dashes), a blank for everything
// else, control characters and bytes that are no UTF-8 among them. So nothing of 0x80 or more
// reaches a System Exclusive message, and a name is cut by characters, never inside one.
std::string samplerText(std::string_view utf8);

// The first `length` characters of samplerText(utf8).
std::string samplerText(std::string_view utf8, std::size_t length);

} // namespace tolvane
