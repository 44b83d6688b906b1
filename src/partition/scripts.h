// Writing the partitioning scripts and running the partitioning tool on them.
#pragma once

#include <string>

#include "partition/script_text.h"

namespace ssdprep {

// Creates (or empties) the file and writes the bytes. True only when the
// path passed its checks and every byte was written and the file closed.
bool WriteScriptFile(const std::u16string& path, const std::string& bytes);

}  // namespace ssdprep
