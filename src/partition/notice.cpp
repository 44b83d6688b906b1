#include "partition/notice.h"

#include "common/module_path.h"
#include "platform/changes.h"

namespace ssdprep {

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

std::u16string QueryApplicationTitle() { return ApplicationTitleFromPath(QueryModulePath()); }

void ShowFailureNotice(const std::u16string& text) {
    const std::u16string caption = QueryApplicationTitle();
    platform::ShowMessageBox(text.c_str(), caption.c_str(),
                             platform::kMbOk | platform::kMbIconExclamation);
}

}  // namespace ssdprep
