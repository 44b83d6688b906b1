// Owners for what the seam hands out: each releases its resource exactly once,
// on whatever path the owning scope is left. The owners of what the changing
// calls hand out are in changes.h.
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
struct RegistryKeyTraits {
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseRegistryKey(h); }
};
struct GlobalTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { FreeGlobal(p); }
};

using UniqueDrive = Unique<Handle, DriveTraits>;
using UniqueRegistryKey = Unique<Handle, RegistryKeyTraits>;
using UniqueGlobal = Unique<void*, GlobalTraits>;

}  // namespace platform
