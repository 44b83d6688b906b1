// Owners for what the seam hands out: each releases its resource exactly once,
// on whatever path the owning scope is left.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace platform {

template <typename T, typename Traits>
class Unique {
public:
    Unique() = default;
    explicit Unique(T value) : m_value(value) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : m_value(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Unique() { reset(); }

    [[nodiscard]] T get() const { return m_value; }
    [[nodiscard]] bool valid() const { return m_value != Traits::Invalid(); }
    T release() { return std::exchange(m_value, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        T old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    T m_value = Traits::Invalid();
};

struct DriveTraits {
    static Handle Invalid() { return InvalidHandle(); }
    static void Close(Handle h) { CloseDrive(h); }
};
struct FileTraits {
    static Handle Invalid() { return InvalidHandle(); }
    static void Close(Handle h) { CloseHandle(h); }
};
// Process and thread handles are NULL when absent, not INVALID_HANDLE_VALUE.
struct KernelObjectTraits {
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct RegistryKeyTraits {
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseRegistryKey(h); }
};
struct GlobalTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { FreeGlobal(p); }
};
struct SysStringTraits {
    static char16_t* Invalid() { return nullptr; }
    static void Close(char16_t* s) { FreeSysString(s); }
};

using UniqueDrive = Unique<Handle, DriveTraits>;
using UniqueFile = Unique<Handle, FileTraits>;
using UniqueKernelObject = Unique<Handle, KernelObjectTraits>;
using UniqueRegistryKey = Unique<Handle, RegistryKeyTraits>;
using UniqueGlobal = Unique<void*, GlobalTraits>;
using UniqueSysString = Unique<char16_t*, SysStringTraits>;

}  // namespace platform
