#pragma once

#include <string>
#include <string_view>

// Conversion between the device's Windows-1251 bytes and UTF-8 text. The printer works in
// Windows-1251 on the wire and on paper; our sources and the terminal use UTF-8.
namespace sim {

// UTF-8 to Windows-1251. A character with no Windows-1251 form becomes '?'; invalid UTF-8 bytes
// become '?' too, so the result is always one byte per character.
std::string ToCp1251(std::string_view utf8);

// Windows-1251 to UTF-8. Bytes with no assigned character (0x98) become U+FFFD.
std::string FromCp1251(std::string_view cp1251);

} // namespace sim
