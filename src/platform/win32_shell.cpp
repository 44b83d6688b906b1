// shlwapi's two path calls, in a unit of their own: ssdprep-deploy.exe calls
// neither and does not link this, so it holds no name that would load
// shlwapi, and user32 with it.
#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include "platform/platform.h"
#include "platform/win32_common.h"

namespace {

using platform::win32::Wide;

platform::win32::SystemLibrary& ShlwApi() {
    static platform::win32::SystemLibrary library(L"shlwapi.dll");
    return library;
}

}  // namespace

namespace platform {

int StripPathToRoot(char16_t* path) {
    auto* strip = ShlwApi().Find<decltype(::PathStripToRootW)>("PathStripToRootW");
    return strip != nullptr ? strip(Wide(path)) : FALSE;
}

int IsUncPath(const char16_t* path) {
    auto* isUnc = ShlwApi().Find<decltype(::PathIsUNCW)>("PathIsUNCW");
    return isUnc != nullptr ? isUnc(Wide(path)) : FALSE;
}

}  // namespace platform
