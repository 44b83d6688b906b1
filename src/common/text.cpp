#include "common/text.h"

#include <charconv>
#include <cstdint>
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

std::string BinarySize(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    constexpr std::uint64_t kStep = 1024;
    if (bytes < kStep) {
        return Decimal(static_cast<long long>(bytes)) + " bytes";
    }
    std::size_t unit = 0;
    std::uint64_t size = kStep;
    while (unit + 1 < std::size(kUnits) && bytes / size >= kStep) {
        size *= kStep;
        ++unit;
    }
    std::uint64_t whole = bytes / size;
    std::uint64_t tenths = ((bytes % size) * 10 + size / 2) / size;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    // Rounded up to the next unit's first: 1023.96 MiB is 1.0 GiB.
    if (whole == kStep && unit + 1 < std::size(kUnits)) {
        whole = 1;
        ++unit;
    }
    return Decimal(static_cast<long long>(whole)) + "." + Decimal(static_cast<long long>(tenths)) +
           " " + kUnits[unit];
}

std::u16string Utf16Text(const std::uint8_t* bytes, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == u'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

}  // namespace ssdprep
