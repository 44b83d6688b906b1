#include "deploy/run.h"
#include "platform/platform.h"
// Generated per executable from project(VERSION); see cmake/windows.cmake.
#include "version_record.h"

int main() {
    return ssdprep::deploy::RunDeploy(platform::GetProcessCommandLine(), SSDPREP_VERSION_TEXT);
}
