#include "deploy/log.h"

#include <array>

#include "common/text.h"
#include "deploy/decision.h"

namespace ssdprep::deploy {
namespace {

// Values under 100 only: the parts of a date and time but the year.
std::string TwoDigits(unsigned value) {
    return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

std::u16string UpperCase(std::u16string text) {
    for (char16_t& c : text) {
        c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    }
    return text;
}

}  // namespace

std::u16string Within(const std::u16string& folder, std::u16string_view backslashName) {
    return folder +
           std::u16string(folder.ends_with(u'\\') ? backslashName.substr(1) : backslashName);
}

std::string Stamp(const platform::LocalTime& t) {
    return Decimal(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string ErrorText(std::uint32_t error) {
    std::array<char16_t, 512> buffer{};
    std::uint32_t length =
        platform::SystemMessage(error, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    while (length > 0 && (buffer[length - 1] == u'\r' || buffer[length - 1] == u'\n' ||
                          buffer[length - 1] == u' ' || buffer[length - 1] == u'.')) {
        --length;
    }
    return "error " + CodeText(error) + (length > 0 ? ": " + Utf8({buffer.data(), length}) : "");
}

void WriteAll(platform::Handle handle, const std::string& text) {
    // A handle that is not there (no console, a log that did not open) fails
    // the write, and nothing else.
    std::uint32_t written{};
    platform::WriteHandle(handle, text.data(), static_cast<std::uint32_t>(text.size()), &written);
}

Log OpenLog(const std::u16string& path) {
    return Log{platform::OwnFile(
        platform::OpenFile(path.c_str(), platform::kFileAppendData, platform::kFileShareRead, true,
                           platform::kOpenAlways, platform::kFileAttributeNormal))};
}

void Say(const Log& log, const std::string& text) {
    const std::string line = Stamp(platform::CurrentLocalTime()) + " " + text + "\r\n";
    WriteAll(log.file.get(), line);
    WriteAll(platform::StandardOutput(), line);
}

void Refuse(const std::string& line, std::string_view version, const std::u16string& refused) {
    WriteAll(platform::StandardError(), "ssdprep-deploy: " + line + "\n");
    std::array<char16_t, platform::kMaxPath + 1> temp{};
    const std::uint32_t length =
        platform::GetTempDir(static_cast<std::uint32_t>(temp.size()), temp.data());
    // GetTempPathW's folder ends in a backslash; the refused one does not.
    const std::u16string path = Within(std::u16string(temp.data()), kLogName);
    if (length == 0 || length >= temp.size() ||
        UpperCase(path) == UpperCase(Within(refused, kLogName))) {
        return;
    }
    const Log log{platform::OwnFile(
        platform::OpenFile(path.c_str(), platform::kFileAppendData, platform::kFileShareRead, false,
                           platform::kOpenAlways, platform::kFileAttributeNormal))};
    WriteAll(log.file.get(), Stamp(platform::CurrentLocalTime()) + " ssdprep-deploy " +
                                 std::string(version) + " ends with " + Decimal(kStop) + ": " +
                                 line + "\r\n");
}

}  // namespace ssdprep::deploy
