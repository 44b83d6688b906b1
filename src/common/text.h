// Numbers and text as the scripts, the report and the deploy log write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ssdprep {

// Numbers as "%d" writes them: no leading zeros, a minus sign for
// negative numbers.
std::string Decimal(long long value);
// Upper-case hexadecimal, at least `digits` of them.
std::string Hex(unsigned value, std::size_t digits);
// One byte per character; the values passed are ASCII, anything else would
// have no byte of its own and is written as '?'.
std::string Bytes(std::u16string_view text);
// In the largest of KiB, MiB, GiB and TiB that leaves an integer part of at
// least 1 once rounded, with one decimal, rounded half up: "16.0 MiB", and
// "1.0 GiB" for 1023.96 MiB. Under 1 KiB, in bytes: "512 bytes".
std::string BinarySize(std::uint64_t bytes);
// UTF-16LE bytes up to the first zero unit, or all of them; an odd last
// byte is left out.
std::u16string Utf16Text(const std::uint8_t* bytes, std::size_t size);
// UTF-8, surrogate pairs joined; a lone surrogate is encoded as it stands.
std::string Utf8(std::u16string_view text);
// The parts one after another: where a line has many parts, far less code
// than a chain of +.
std::string Cat(std::initializer_list<std::string_view> parts);

}  // namespace ssdprep
