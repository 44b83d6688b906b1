// ssdprep-deploy as a program: its arguments, its log and its exit code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ssdprep::deploy {

// 0 or 3, whatever happens: the command line as GetCommandLineW gives it.
int RunDeploy(std::u16string_view commandLine, std::string_view version);

}  // namespace ssdprep::deploy
