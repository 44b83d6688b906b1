// What the fake machine's units share: handles, the call record, paths as
// Windows resolves them, and text returned into a caller's buffer.
#pragma once

#include <cstdint>
#include <string>

#include "fake/fake_machine.h"

namespace fake {

// Distinct, never-dereferenced handle values.
platform::Handle NewHandle();
// Records the call; true when fault injection makes this one fail.
bool Call(const char* name);
std::u16string Text(const char16_t* text);
std::u16string Upper(std::u16string text);
// Windows' resolution, as far as the tools' paths need it.
std::u16string FullPath(const std::u16string& path);
// The Win32 convention: the length when it fits with its terminator, else
// the size it needs and nothing written.
std::uint32_t CopyOut(const std::u16string& text, char16_t* buffer, std::uint32_t size);

// CreateFileW on the fake machine, for both seams: recorded, then refused
// where the machine says (injected, a path too long, a read-only folder, a
// folder of that name, a file held elsewhere, a missing file to open), else
// opened, emptied with CREATE_ALWAYS.
platform::Handle OpenFakeFile(bool injected, const FileCreate& request);
// A file or folder at that FileKey, and its attributes (NORMAL unless set).
bool Exists(const std::u16string& key);
std::uint32_t Attributes(const std::u16string& key);

template <typename Set, typename Value>
void Release(Set& live, Value value, const char* what) {
    if (live.erase(value) == 0) {
        Current().releaseErrors.emplace_back(what);
    }
}

}  // namespace fake
