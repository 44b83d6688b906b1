#include "common/module_path.h"

#include <algorithm>

#include "platform/platform.h"

namespace ssdprep {
namespace {

// The longest path Windows hands out, in wide characters.
constexpr std::uint32_t kLongestPath = 32768;

}  // namespace

std::u16string QueryModulePath() {
    std::u16string path;
    std::uint32_t size = platform::kMaxPath;
    for (;;) {
        path.assign(size, u'\0');
        const std::uint32_t length = platform::GetOwnModuleFileName(path.data(), size);
        if (length < size || size == kLongestPath) {
            path.resize(length < size ? length : size);
            return path;
        }
        size = std::min(2 * size, kLongestPath);
    }
}

}  // namespace ssdprep
