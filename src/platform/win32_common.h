// Shared by the Win32 units: UTF-16 text as the wide API takes it, and
// loading a system library when a call first needs it.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to the wide API as is");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// user32, oleaut32 and shlwapi serve only the partition steps (and the
// presence test of systems before Vista). Imported, they would be loaded on
// every start, declined runs included; this loads one on the first call that
// needs it, which saves a declined run their start-up cost. (All three are
// KnownDLLs, so the system's copy is the one loaded whatever the path.) A
// library or function that cannot be had is that call's failure. Nothing is
// freed: the process ends soon after its last use, which frees it anyway.
class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* fileName) : m_fileName(fileName) {}
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // The function's address, or null.
    template <typename Function>
    Function* Find(const char* name) {
        if (!m_tried) {
            m_tried = true;
            m_module = Load();
        }
        if (m_module == nullptr) {
            return nullptr;
        }
        // Through the generic function pointer type, to which and from
        // which any other converts.
        return reinterpret_cast<Function*>(
            reinterpret_cast<void (*)()>(::GetProcAddress(m_module, name)));
    }

private:
    HMODULE Load() const {
        wchar_t directory[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return nullptr;
        }
        const std::wstring path = std::wstring(directory, length) + L'\\' + m_fileName;
        return ::LoadLibraryW(path.c_str());
    }

    const wchar_t* const m_fileName;
    bool m_tried = false;
    HMODULE m_module = nullptr;
};

}  // namespace platform::win32
