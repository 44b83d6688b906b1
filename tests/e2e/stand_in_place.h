// Where the stand-in partitioning tool puts `create partition primary` with
// no size and no offset: the rules the report's model follows, written
// again over sectors so that the Wine tests compare two readings of them.
// The Windows version is the registry's CurrentVersion (GetVersionExW's
// major where it cannot be read), the geometry 255 heads and 63 sectors a
// track, as the simulated drives answer for an image.
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
constexpr std::uint64_t kMiB = mbr::kSectorsPerMiB;

struct Rules {
    bool cylinders = false;         // Windows XP and Server 2003
    std::uint64_t alignment = 128;  // sectors, Vista and later
    std::uint64_t end = 0;          // the last sector the tool uses, plus one
};

inline DWORD ReadDword(HKEY key, const wchar_t* name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    return ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                       ERROR_SUCCESS &&
                   type == REG_DWORD && value != 0 && value % mbr::kSectorSize == 0
               ? value
               : fallback;
}

inline Rules ReadRules(std::uint64_t diskSectors) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ::GetVersionExW(&info);
    DWORD major = info.dwMajorVersion;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                        KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        wchar_t text[16] = {};
        DWORD size = sizeof text - sizeof text[0];
        DWORD type = 0;
        if (::RegQueryValueExW(key, L"CurrentVersion", nullptr, &type,
                               reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
            type == REG_SZ && text[0] >= L'0' && text[0] <= L'9') {
            major = static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
        }
        ::RegCloseKey(key);
    }
    const std::uint64_t bytes = diskSectors * mbr::kSectorSize;
    Rules rules;
    rules.cylinders = major < 6;
    rules.end = std::min<std::uint64_t>(diskSectors, std::uint64_t{1} << 32);
    if (rules.cylinders) {
        const std::uint64_t cylinder = kHeads * kSectorsPerTrack;
        rules.end = std::min(rules.end, diskSectors / cylinder * cylinder);
        return rules;
    }
    // The VDS values by disk size, in decimal gigabytes, as the report takes them.
    const wchar_t* const names[] = {L"LessThan4GB", L"Between4_8GB", L"Between8_32GB",
                                    L"GreaterThan32GB"};
    const std::size_t band = bytes < 4000000000ULL    ? 0
                             : bytes < 8000000000ULL  ? 1
                             : bytes < 32000000000ULL ? 2
                                                      : 3;
    DWORD alignment = band == 0 ? 64 * 1024 : 1024 * 1024;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\VDS\\Alignment",
                        0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        alignment = ReadDword(key, names[band], alignment);
        ::RegCloseKey(key);
    }
    rules.alignment = alignment / mbr::kSectorSize;
    return rules;
}

// The part of [start, end) a partition may take, as first sector and count;
// false when it holds less than 1 MiB, or on XP no whole cylinder.
inline bool Aligned(std::uint64_t start, std::uint64_t end, const Rules& rules,
                    std::pair<std::uint64_t, std::uint64_t>& taken) {
    std::uint64_t first = (start + rules.alignment - 1) / rules.alignment * rules.alignment;
    if (rules.cylinders) {
        const std::uint64_t cylinder = kHeads * kSectorsPerTrack;
        first = start <= kSectorsPerTrack ? kSectorsPerTrack
                                          : (start + cylinder - 1) / cylinder * cylinder;
        end = end / cylinder * cylinder;
        if (end < first / cylinder * cylinder + cylinder) {
            return false;
        }
    }
    if (end < first + kMiB) {
        return false;
    }
    taken = {first, end - first};
    return true;
}

// The largest unallocated extent outside the MBR's entries (an extended
// partition covers its logical drives), by its length as it lies, the first
// of equal ones, aligned. False with why, when it holds nothing.
inline bool LargestExtent(const mbr::Table& table, const Rules& rules, std::uint64_t& start,
                          std::uint64_t& sectors, std::string& why) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;  // first and end sectors
    for (const mbr::Slot& slot : table.slots) {
        if (slot.chainIndex == 0 && slot.type != 0) {
            used.emplace_back(slot.start, slot.start + slot.sectors);
        }
    }
    used.emplace_back(rules.end, rules.end);
    std::sort(used.begin(), used.end());
    std::uint64_t from = 1;  // after the MBR
    std::uint64_t largestStart = 0;
    std::uint64_t largestEnd = 0;
    for (const auto& [usedStart, usedEnd] : used) {
        const std::uint64_t end = std::min(usedStart, rules.end);
        if (end > from && end - from > largestEnd - largestStart) {
            largestStart = from;
            largestEnd = end;
        }
        from = std::max(from, usedEnd);
    }
    std::pair<std::uint64_t, std::uint64_t> taken;
    if (largestEnd == 0 || !Aligned(largestStart, largestEnd, rules, taken)) {
        why = "the largest unallocated extent, sectors " + std::to_string(largestStart) + "-" +
              std::to_string(largestEnd - 1) + ", holds no partition once aligned";
        return false;
    }
    start = taken.first;
    sectors = taken.second;
    return true;
}

}  // namespace place
