# libFuzzer targets (clang only): the layout scan, the image-state decision,
# and the bus and identify decisions, under AddressSanitizer and UBSan.
set(SSDPREP_FUZZ_TARGETS layout image_state bus_identify)
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
foreach(name IN LISTS SSDPREP_FUZZ_TARGETS)
    add_executable(fuzz_${name} tests/fuzz/fuzz_${name}.cpp tests/fake/fake_machine.cpp)
    target_include_directories(fuzz_${name} PRIVATE tests)
    target_link_libraries(fuzz_${name} PRIVATE ssdprep_core)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
