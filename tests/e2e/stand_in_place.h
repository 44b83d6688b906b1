// Where the stand-in partitioning tool puts `create partition primary` with
// no size and no offset: the rules the report's model follows, written
// again over sectors, so that the Wine tests compare two readings of them.
// The Windows version is the registry's CurrentVersion, the geometry 255
// heads and 63 sectors a track, as the simulated drives answer for an image.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mbr_image.h"

namespace place {

constexpr std::uint64_t kHeads = 255;
constexpr std::uint64_t kSectorsPerTrack = 63;
constexpr std::uint64_t kCylinder = kHeads * kSectorsPerTrack;

struct Rules {
    bool cylinders = false;         // Windows XP and Server 2003
    std::uint64_t alignment = 128;  // sectors, Vista and later
    std::uint64_t end = 0;          // the sector past the last one the tool uses
};

// A registry value of HKEY_LOCAL_MACHINE, into `data`; false when missing.
inline bool ReadValue(const wchar_t* key, const wchar_t* name, void* data, DWORD size) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool read = ::RegQueryValueExW(opened, name, nullptr, nullptr, static_cast<BYTE*>(data),
                                         &size) == ERROR_SUCCESS;
    ::RegCloseKey(opened);
    return read;
}

inline Rules ReadRules(std::uint64_t diskSectors) {
    wchar_t version[16] = L"6";  // a version the registry does not name: Vista's rules
    ReadValue(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"CurrentVersion", version,
              sizeof version - sizeof version[0]);
    Rules rules;
    rules.cylinders = std::wcstoul(version, nullptr, 10) < 6;
    rules.end = std::min<std::uint64_t>(diskSectors, std::uint64_t{1} << 32);
    if (rules.cylinders) {
        rules.end = std::min(rules.end, diskSectors / kCylinder * kCylinder);
        return rules;
    }
    // The VDS value for the disk's size, in decimal gigabytes, as the report takes it.
    const std::uint64_t bytes = diskSectors * mbr::kSectorSize;
    const wchar_t* const names[] = {L"LessThan4GB", L"Between4_8GB", L"Between8_32GB",
                                    L"GreaterThan32GB"};
    const int band = bytes < 4000000000ULL    ? 0
                     : bytes < 8000000000ULL  ? 1
                     : bytes < 32000000000ULL ? 2
                                              : 3;
    DWORD alignment = 0;
    if (!ReadValue(L"SYSTEM\\CurrentControlSet\\Services\\VDS\\Alignment", names[band], &alignment,
                   sizeof alignment) ||
        alignment == 0 || alignment % mbr::kSectorSize != 0) {
        alignment = band == 0 ? 64 * 1024 : 1024 * 1024;
    }
    rules.alignment = alignment / mbr::kSectorSize;
    return rules;
}

// The largest unallocated extent outside the MBR's entries (an extended
// partition covers its logical drives), by its length as it lies, the first
// of equal ones, aligned: on XP from a cylinder (one track in, in the first)
// to a cylinder, holding one at least; else from the next boundary to its
// end. False, with why, when what is left holds less than 1 MiB.
inline bool LargestExtent(const mbr::Table& table, const Rules& rules, std::uint64_t& start,
                          std::uint64_t& sectors, std::string& why) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used = {{rules.end, rules.end}};
    for (const mbr::Slot& slot : table.slots) {
        if (slot.chainIndex == 0 && slot.type != 0) {
            used.emplace_back(slot.start, slot.start + slot.sectors);
        }
    }
    std::sort(used.begin(), used.end());
    std::uint64_t from = 1;  // after the MBR
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    for (const auto& [usedStart, usedEnd] : used) {
        if (std::min(usedStart, rules.end) > from &&
            std::min(usedStart, rules.end) - from > end - first) {
            first = from;
            end = std::min(usedStart, rules.end);
        }
        from = std::max(from, usedEnd);
    }
    why = "the largest unallocated extent, sectors " + std::to_string(first) + "-" +
          std::to_string(end - 1) + ", holds no partition once aligned";
    start = (first + rules.alignment - 1) / rules.alignment * rules.alignment;
    if (rules.cylinders) {
        start = first <= kSectorsPerTrack ? kSectorsPerTrack
                                          : (first + kCylinder - 1) / kCylinder * kCylinder;
        end = end / kCylinder * kCylinder;
        if (end < start / kCylinder * kCylinder + kCylinder) {
            return false;
        }
    }
    sectors = end > start ? end - start : 0;
    return sectors >= mbr::kSectorsPerMiB;
}

}  // namespace place
