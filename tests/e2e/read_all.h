// Shared by the test doubles: the rest of an open file, read to its end.
#pragma once

#include <windows.h>

#include <string>

inline bool ReadAll(HANDLE file, std::string& bytes) {
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) == 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(chunk, got);
    }
}
