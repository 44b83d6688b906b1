// The report as a program: its arguments, its output and its exit code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ssdprep {

int RunInspector(const std::vector<std::string>& arguments, std::string_view version);

}  // namespace ssdprep
