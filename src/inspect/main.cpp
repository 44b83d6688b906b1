#include <string>
#include <vector>

#include "inspect/program.h"
// Generated per executable from project(VERSION); see cmake/windows.cmake.
#include "version_record.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return ssdprep::RunInspector(arguments, SSDPREP_VERSION_TEXT);
}
