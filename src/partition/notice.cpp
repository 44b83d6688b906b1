#include "partition/notice.h"

#include <algorithm>

#include "platform/changes.h"

namespace ssdprep {
namespace {

// The longest path Windows hands out, in wide characters.
constexpr std::uint32_t kLongestPath = 32768;

}  // namespace

std::u16string ApplicationTitleFromPath(std::u16string_view path) {
    const std::size_t separator = path.find_last_of(u"\\/");
    std::u16string_view name =
        separator == std::u16string_view::npos ? path : path.substr(separator + 1);
    const std::size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::u16string(name);
}

std::u16string QueryApplicationTitle() {
    // A result that fills the buffer may have been cut short: grow and ask
    // again, so a long installation path still gives the whole name.
    std::u16string path;
    std::uint32_t size = platform::kMaxPath;
    for (;;) {
        path.assign(size, u'\0');
        const std::uint32_t length = platform::GetOwnModuleFileName(path.data(), size);
        if (length < size || size == kLongestPath) {
            path.resize(length < size ? length : size);
            return ApplicationTitleFromPath(path);
        }
        size = std::min(2 * size, kLongestPath);
    }
}

void ShowFailureNotice(const std::u16string& text) {
    const std::u16string caption = QueryApplicationTitle();
    platform::ShowMessageBox(text.c_str(), caption.c_str(),
                             platform::kMbOk | platform::kMbIconExclamation);
}

}  // namespace ssdprep
