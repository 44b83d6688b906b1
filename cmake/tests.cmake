# Unit tests against the fake machine, and the end-to-end tests under Wine.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB_RECURSE SSDPREP_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(ssdprep_unit_tests ${SSDPREP_UNIT_TESTS} tests/fake/fake_machine.cpp
               tests/fake/fake_deploy.cpp)
target_include_directories(ssdprep_unit_tests PRIVATE tests)
# The README's samples are checked against what the report prints.
target_compile_definitions(ssdprep_unit_tests PRIVATE SSDPREP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(ssdprep_unit_tests PRIVATE ssdprep_inspect ssdprep_change ssdprep_deploy ssdprep_core
                      GTest::gtest_main)
gtest_discover_tests(ssdprep_unit_tests DISCOVERY_TIMEOUT 60)

option(SSDPREP_E2E "Also run the end-to-end tests of the windows preset's build" ON)
if(NOT SSDPREP_E2E)
    return()
endif()

# End to end: the Windows build's executables, as files and under Wine.
set(SSDPREP_WINDOWS_DIR "${CMAKE_SOURCE_DIR}/build/windows" CACHE PATH
    "Build folder of the windows preset, whose executables the Wine tests run")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SSDPREP_E2E_ENVIRONMENT
    "SSDPREP_WINDOWS_DIR=${SSDPREP_WINDOWS_DIR};SSDPREP_E2E_WORK=${CMAKE_BINARY_DIR}/e2e")
# Headers, imports and resources of ssdprep.exe; needs no Wine.
add_test(NAME e2e_binary
         COMMAND Python3::Interpreter -m unittest -v test_binary
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
# Every wine_*.py module, in one throwaway Wine prefix.
add_test(NAME e2e_wine
         COMMAND Python3::Interpreter -m unittest discover -v -p "wine_*.py"
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
set_tests_properties(e2e_binary e2e_wine PROPERTIES
    ENVIRONMENT "${SSDPREP_E2E_ENVIRONMENT}"
    TIMEOUT 600)
# Two builds of the same tree give the same ssdprep.exe.
add_test(NAME reproducible_build COMMAND bash ${CMAKE_SOURCE_DIR}/tests/reproducible_build.sh)
set_tests_properties(reproducible_build PROPERTIES TIMEOUT 600)
# The release package, from clean clones of HEAD; compares its executables
# with the windows preset's build.
add_test(NAME release_package
         COMMAND Python3::Interpreter -m unittest -v test_package
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/release)
set_tests_properties(release_package PROPERTIES
    ENVIRONMENT "SSDPREP_WINDOWS_DIR=${SSDPREP_WINDOWS_DIR};SSDPREP_RELEASE_WORK=${CMAKE_BINARY_DIR}/release"
    TIMEOUT 900)
