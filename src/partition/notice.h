// The application title and the failure notice that carries it.
#pragma once

#include <string>
#include <string_view>

namespace ssdprep {

// The file name of an executable path, without directory and extension.
std::u16string ApplicationTitleFromPath(std::u16string_view path);
// The title of the running executable, however long its path.
std::u16string QueryApplicationTitle();
// A message box with the application title as caption, OK and the
// exclamation icon; returns once it is dismissed.
void ShowFailureNotice(const std::u16string& text);

}  // namespace ssdprep
