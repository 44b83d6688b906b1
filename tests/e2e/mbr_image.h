// Shared by the test doubles: the partition table of a raw disk image with
// 512-byte sectors, listed the way Windows lists an MBR disk's layout: the
// MBR's four slots, then the four slots of each extended boot record (EBR)
// in chain order. Non-empty slots that are not containers are numbered 1, 2,
// 3... in that order. It also tells a GPT disk's protective MBR and an image
// with no partition table at all. Nothing here writes to the image.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace mbr {

constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint64_t kSectorsPerMiB = (1024 * 1024) / kSectorSize;
constexpr std::size_t kSlotsPerTable = 4;

struct Slot {
    int chainIndex;  // 0 for the MBR, k for the k-th EBR of the chain
    int slot;        // 0 to 3 within its table
    std::uint8_t type;
    bool boot;
    std::uint32_t hiddenSectors;  // the start as stored: relative for logical drives
    std::uint64_t start;          // absolute, in sectors
    std::uint64_t sectors;
    int number;  // 0 for empty and container slots
};

struct Table {
    std::uint32_t signature;
    std::uint64_t diskSectors;
    std::vector<Slot> slots;
};

// As IsContainerPartition has it.
inline bool IsContainer(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

namespace detail {

constexpr std::size_t kTableOffset = 446;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kSignatureOffset = 440;
constexpr std::size_t kBootSignatureOffset = 510;

class ImageFile {
public:
    explicit ImageFile(const std::wstring& path)
        : m_handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ImageFile() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_handle);
        }
    }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    bool Sectors(std::uint64_t& count) const {
        LARGE_INTEGER size;
        if (m_handle == INVALID_HANDLE_VALUE || ::GetFileSizeEx(m_handle, &size) == 0) {
            return false;
        }
        count = static_cast<std::uint64_t>(size.QuadPart) / kSectorSize;
        return true;
    }

    bool Read(std::uint64_t sector, unsigned char (&bytes)[kSectorSize]) const {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(sector * kSectorSize);
        DWORD got = 0;
        return ::SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN) != 0 &&
               ::ReadFile(m_handle, bytes, kSectorSize, &got, nullptr) != 0 && got == kSectorSize;
    }

private:
    HANDLE m_handle;
};

inline std::uint32_t U32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace detail

// False when the image cannot be read, a table sector lacks the 0x55AA boot
// signature, or the EBR chain loops or leaves the image.
inline bool ReadTable(const std::wstring& path, Table& table) {
    using namespace detail;
    const ImageFile image(path);
    table = Table{};
    if (!image.Sectors(table.diskSectors)) {
        return false;
    }
    std::uint64_t tableSector = 0;
    std::uint64_t extendedStart = 0;
    std::set<std::uint64_t> visited;
    int number = 0;
    for (int chainIndex = 0;; ++chainIndex) {
        unsigned char sector[kSectorSize];
        if (tableSector >= table.diskSectors || !visited.insert(tableSector).second ||
            !image.Read(tableSector, sector) || sector[kBootSignatureOffset] != 0x55 ||
            sector[kBootSignatureOffset + 1] != 0xAA) {
            return false;
        }
        if (chainIndex == 0) {
            table.signature = U32(sector + kSignatureOffset);
        }
        bool linked = false;
        std::uint64_t next = 0;
        for (std::size_t i = 0; i < kSlotsPerTable; ++i) {
            const unsigned char* entry = sector + kTableOffset + kEntrySize * i;
            // An empty slot reads as all zero, whatever it holds.
            Slot slot{chainIndex, static_cast<int>(i), entry[4], false, 0, 0, 0, 0};
            if (slot.type != 0) {
                slot.boot = entry[0] == 0x80;
                slot.hiddenSectors = U32(entry + 8);
                slot.sectors = U32(entry + 12);
            }
            if (IsContainer(slot.type)) {
                // A link's start counts from the extended partition's start.
                slot.start = (chainIndex == 0 ? 0 : extendedStart) + slot.hiddenSectors;
                if (!linked) {
                    linked = true;
                    next = slot.start;
                }
            } else if (slot.type != 0) {
                slot.start = tableSector + slot.hiddenSectors;
                slot.number = ++number;
            }
            table.slots.push_back(slot);
        }
        if (!linked) {
            return true;
        }
        if (chainIndex == 0) {
            extendedStart = next;
        }
        tableSector = next;
    }
}

// A GPT disk's protective MBR: an MBR slot of type 0xEE.
inline bool IsProtective(const Table& table) {
    for (const Slot& slot : table.slots) {
        if (slot.chainIndex == 0 && slot.type == 0xEE) {
            return true;
        }
    }
    return false;
}

// A GPT disk's DiskGUID, as its header (sector 1, "EFI PART") holds it at
// byte 56, in the GUID's memory layout; false without such a header.
inline bool ReadGptDiskId(const std::wstring& path, unsigned char (&id)[16]) {
    using namespace detail;
    constexpr std::size_t kDiskGuidOffset = 56;
    const ImageFile image(path);
    unsigned char sector[kSectorSize];
    if (!image.Read(1, sector) || std::memcmp(sector, "EFI PART", 8) != 0) {
        return false;
    }
    std::memcpy(id, sector + kDiskGuidOffset, sizeof id);
    return true;
}

// True when the image's first sector reads but lacks the 0x55AA boot
// signature: the disk has no partition table.
inline bool IsUnsigned(const std::wstring& path) {
    using namespace detail;
    const ImageFile image(path);
    unsigned char sector[kSectorSize];
    return image.Read(0, sector) &&
           (sector[kBootSignatureOffset] != 0x55 || sector[kBootSignatureOffset + 1] != 0xAA);
}

}  // namespace mbr
