// The running executable's own path.
#pragma once

#include <string>

namespace ssdprep {

// GetModuleFileNameW of the process, however long the path: a result that
// fills the buffer may have been cut short, so it asks again with more room.
std::u16string QueryModulePath();

}  // namespace ssdprep
