#include "partition/text.h"

#include <charconv>
#include <iterator>

namespace ssdprep {

std::string Decimal(long long value) {
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
    static_cast<void>(error);  // cannot fail: 24 characters hold any 64-bit number
    return std::string(std::begin(digits), end);
}

std::string Hex(unsigned value, std::size_t digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0 || text.size() < digits);
    return text;
}

std::string Bytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return bytes;
}

}  // namespace ssdprep
