# The Windows executables: the tool, its report, and their test-only twins.
enable_language(RC)

# Unicode Win32 API throughout. The headers offer nothing newer than Windows
# Server 2003 SP2 (XP x64), the oldest 64-bit Windows, whose file form of the
# audit check the tool keeps.
target_compile_definitions(ssdprep_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0502)

# Link options of every Windows executable here:
# - static, so a bare Windows image needs no runtime DLL beside it;
# - no link time stamp, so the same tree gives the same bytes;
# - the loader of Windows Server 2003 / XP x64 (5.2) accepts the image;
# - uncaught exceptions end in abort() without libstdc++'s verbose handler,
#   whose name demangler is a quarter of the executable and would only
#   print to a console nobody reads;
# - stripped outside Debug builds.
set(SSDPREP_LINK_OPTIONS -static -Wl,--no-insert-timestamp
    -Wl,--major-os-version=5,--minor-os-version=2
    -Wl,--major-subsystem-version=5,--minor-subsystem-version=2
    -Wl,--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort
    $<$<NOT:$<CONFIG:Debug>>:-s>)

# Objects, not archives: the logic's archives are what refer to them. The
# calls that change the machine are a unit of their own, which the report
# does not link.
add_library(ssdprep_win32 OBJECT src/platform/win32_system.cpp)
target_link_libraries(ssdprep_win32 PUBLIC ssdprep_core)
add_library(ssdprep_win32_shell OBJECT src/platform/win32_shell.cpp)
target_link_libraries(ssdprep_win32_shell PUBLIC ssdprep_core)
add_library(ssdprep_win32_changes OBJECT src/platform/win32_changes.cpp)
target_link_libraries(ssdprep_win32_changes PUBLIC ssdprep_core)

# project(VERSION) is the only place the version is written. The version
# record holds it as four 16-bit numbers, so it must have exactly four.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "project(VERSION ${PROJECT_VERSION}) needs four parts: major.minor.patch.build")
endif()
foreach(part IN ITEMS MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} GREATER 65535)
        message(FATAL_ERROR "project(VERSION ${PROJECT_VERSION}): each part must be at most 65535")
    endif()
endforeach()
# What scripts/release.sh names the package after.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/release-version CONTENT "${PROJECT_VERSION}\n")

# windres does not see the manifest as a dependency of the resource script.
set_source_files_properties(resources/ssdprep.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/ssdprep.exe.manifest)

# Gives an executable the manifest and a version record with the project's
# version and this executable's own description and original file name.
function(ssdprep_resources target description original_filename)
    set(header_dir ${CMAKE_BINARY_DIR}/resources/${target})
    configure_file(${CMAKE_SOURCE_DIR}/resources/version_record.h.in
                   ${header_dir}/version_record.h @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources/ssdprep.rc)
    target_include_directories(${target} PRIVATE ${header_dir})
endfunction()

set(SSDPREP_DESCRIPTION "Configure SSD partition after iRST installation")
set(SSDPREP_INSPECT_DESCRIPTION "Report what ssdprep sees on this machine and would do")
set(SSDPREP_DEPLOY_DESCRIPTION "Run ssdprep once, unattended: end with 0 to go on or 3 to stop")

# A shipped program or its test-only twin, which carries the same resources;
# `units` are its physical-drive unit and its pause (Sleep) unit, the real
# ones or the twins' simulated ones; `logic` names the libraries above the
# seam it links.
function(ssdprep_executable name main_source units description original_filename logic)
    add_executable(${name} ${main_source} ${units})
    ssdprep_resources(${name} "${description}" ${original_filename})
    # user32, oleaut32 and shlwapi are loaded when first needed, not imported.
    target_link_libraries(${name} PRIVATE ${logic} ssdprep_win32 ssdprep_win32_shell ssdprep_core
                          advapi32)
    target_link_options(${name} PRIVATE ${SSDPREP_LINK_OPTIONS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

set(SSDPREP_TOOL_LOGIC ssdprep_change ssdprep_win32_changes)
set(SSDPREP_INSPECT_LOGIC ssdprep_inspect)
set(SSDPREP_REAL_UNITS src/platform/win32_drive.cpp src/platform/win32_pause.cpp)
set(SSDPREP_SIM_UNITS tests/e2e/sim_drive.cpp tests/e2e/sim_pause.cpp)
ssdprep_executable(ssdprep src/app/main.cpp "${SSDPREP_REAL_UNITS}"
                   "${SSDPREP_DESCRIPTION}" ssdprep.exe "${SSDPREP_TOOL_LOGIC}")

# The read-only report of what ssdprep.exe sees and would do, shipped beside it.
ssdprep_executable(ssdprep-inspect src/inspect/main.cpp "${SSDPREP_REAL_UNITS}"
                   "${SSDPREP_INSPECT_DESCRIPTION}" ssdprep-inspect.exe "${SSDPREP_INSPECT_LOGIC}")

# The unattended run, shipped beside both: it starts them as programs of
# their own and links neither's logic. Its own Win32 unit for files,
# processes and the registry record names neither user32 nor oleaut32, and
# it links no shlwapi call, which would load user32 with it. Its drive unit
# serves the two reading requests it makes: drive 0's style and signature,
# and volume extents.
add_library(ssdprep_win32_deploy OBJECT src/platform/win32_deploy.cpp)
target_link_libraries(ssdprep_win32_deploy PUBLIC ssdprep_core)
function(ssdprep_deploy_executable name drive_source)
    add_executable(${name} src/deploy/main.cpp ${drive_source} src/platform/win32_pause.cpp)
    ssdprep_resources(${name} "${SSDPREP_DEPLOY_DESCRIPTION}" ssdprep-deploy.exe)
    target_link_libraries(${name} PRIVATE ssdprep_deploy ssdprep_win32_deploy ssdprep_win32
                          ssdprep_core advapi32)
    target_link_options(${name} PRIVATE ${SSDPREP_LINK_OPTIONS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
ssdprep_deploy_executable(ssdprep-deploy src/platform/win32_drive.cpp)

# Benchmark only: a bare start with the same flags, timed against the tool
# by scripts/bench.sh; not built by default.
add_executable(bench-hello EXCLUDE_FROM_ALL tests/bench/hello.cpp)
target_link_options(bench-hello PRIVATE ${SSDPREP_LINK_OPTIONS})
set_target_properties(bench-hello PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Test-only: the tool with simulated drives (never shipped) ...
ssdprep_executable(ssdprep-sim src/app/main.cpp "${SSDPREP_SIM_UNITS}"
                   "${SSDPREP_DESCRIPTION}" ssdprep.exe "${SSDPREP_TOOL_LOGIC}")
ssdprep_executable(ssdprep-inspect-sim src/inspect/main.cpp "${SSDPREP_SIM_UNITS}"
                   "${SSDPREP_INSPECT_DESCRIPTION}" ssdprep-inspect.exe "${SSDPREP_INSPECT_LOGIC}")
# The unattended run on the simulated drives, for drive 0's signature and the
# stand-in's volume; its pause is the real one (3 seconds between checks).
ssdprep_deploy_executable(ssdprep-deploy-sim tests/e2e/sim_drive.cpp)

# ... and the partitioning tool it starts, as the Wine tests install it.
add_executable(fake-diskpart tests/e2e/fake_diskpart.cpp)
target_compile_definitions(fake-diskpart PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_options(fake-diskpart PRIVATE ${SSDPREP_LINK_OPTIONS})
set_target_properties(fake-diskpart PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
