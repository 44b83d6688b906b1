// The simulated drives' replies made from a disk image (see sim_drive.cpp):
// its layout, in both forms, and its geometry.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "mbr_image.h"
#include "stand_in_place.h"

namespace sim {

// The layout of an MBR disk as Windows reports it: PartitionCount is four
// per table (MBR and each EBR), the entries in table order, every non-empty
// slot that is no container recognised and numbered. Microsoft documents
// only that a recognised partition is "of a recognized type"; recognising
// every data partition, 0x84 included, is this simulation's model. So is
// the GPT disk: the _EX reply gives its style and DiskId and no entries
// (the programs read no more), and the legacy request, which has no GPT
// form, fails.
inline DWORD LayoutReply(const std::wstring& image, bool ex, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) {
    mbr::Table table{};
    const bool read = mbr::ReadTable(image, table);
    const bool raw = !read && ex && mbr::IsUnsigned(image);
    if (!read && !raw) {
        return ERROR_DISK_CORRUPT;
    }
    const bool gpt = read && mbr::IsProtective(table);
    if (gpt && !ex) {
        return ERROR_INVALID_FUNCTION;
    }
    const std::size_t count = raw || gpt ? 0 : table.slots.size();
    const std::size_t headerSize = ex ? offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)
                                      : offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry);
    const std::size_t entrySize =
        ex ? sizeof(PARTITION_INFORMATION_EX) : sizeof(PARTITION_INFORMATION);
    const std::size_t size = headerSize + entrySize * count;
    if (size > outSize) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    // Written field by field: the SDK declares a one-entry array.
    std::string reply(size, '\0');
    if (ex) {
        DRIVE_LAYOUT_INFORMATION_EX header{};
        header.PartitionStyle =
            raw ? PARTITION_STYLE_RAW : (gpt ? PARTITION_STYLE_GPT : PARTITION_STYLE_MBR);
        header.PartitionCount = static_cast<DWORD>(count);
        if (!raw && !gpt) {
            header.Mbr.Signature = table.signature;
        } else if (gpt) {
            unsigned char id[16] = {};
            mbr::ReadGptDiskId(image, id);
            std::memcpy(&header.Gpt.DiskId, id, sizeof id);
        }
        std::memcpy(reply.data(), &header, headerSize);
    } else {
        const DWORD header[2] = {static_cast<DWORD>(count), table.signature};
        std::memcpy(reply.data(), header, sizeof header);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const mbr::Slot& slot = table.slots[i];
        const auto start = static_cast<LONGLONG>(slot.start * mbr::kSectorSize);
        const auto length = static_cast<LONGLONG>(slot.sectors * mbr::kSectorSize);
        const BOOLEAN boot = slot.boot ? TRUE : FALSE;
        const BOOLEAN recognized = slot.number != 0 ? TRUE : FALSE;
        char* at = reply.data() + headerSize + entrySize * i;
        if (ex) {
            PARTITION_INFORMATION_EX entry{};
            entry.PartitionStyle = PARTITION_STYLE_MBR;
            entry.StartingOffset.QuadPart = start;
            entry.PartitionLength.QuadPart = length;
            entry.PartitionNumber = static_cast<DWORD>(slot.number);
            entry.RewritePartition = FALSE;
            entry.Mbr.PartitionType = slot.type;
            entry.Mbr.BootIndicator = boot;
            entry.Mbr.RecognizedPartition = recognized;
            entry.Mbr.HiddenSectors = slot.hiddenSectors;
            std::memcpy(at, &entry, sizeof entry);
        } else {
            PARTITION_INFORMATION entry{};
            entry.StartingOffset.QuadPart = start;
            entry.PartitionLength.QuadPart = length;
            entry.HiddenSectors = slot.hiddenSectors;
            entry.PartitionNumber = static_cast<DWORD>(slot.number);
            entry.PartitionType = slot.type;
            entry.BootIndicator = boot;
            entry.RecognizedPartition = recognized;
            entry.RewritePartition = FALSE;
            std::memcpy(at, &entry, sizeof entry);
        }
    }
    std::memcpy(out, reply.data(), size);
    if (returned != nullptr) {
        *returned = static_cast<std::uint32_t>(size);
    }
    return ERROR_SUCCESS;
}

// DISK_GEOMETRY_EX of an image: 512-byte sectors, its size, and as many
// whole cylinders of 255 heads and 63 sectors a track as it holds, the
// geometry the stand-in partitioning tool aligns to.
inline DWORD GeometryReply(const std::wstring& image, void* out, std::uint32_t outSize,
                           std::uint32_t* returned) {
    const HANDLE file =
        ::CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size{};
    const bool sized = file != INVALID_HANDLE_VALUE && ::GetFileSizeEx(file, &size) != 0;
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
    constexpr std::size_t kSize = offsetof(DISK_GEOMETRY_EX, Data);
    if (!sized) {
        return ERROR_NOT_READY;
    }
    if (outSize < kSize) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    DISK_GEOMETRY_EX geometry{};
    geometry.Geometry.BytesPerSector = mbr::kSectorSize;
    geometry.Geometry.TracksPerCylinder = place::kHeads;
    geometry.Geometry.SectorsPerTrack = place::kSectorsPerTrack;
    geometry.Geometry.Cylinders.QuadPart =
        static_cast<LONGLONG>(static_cast<std::uint64_t>(size.QuadPart) / mbr::kSectorSize /
                              (place::kHeads * place::kSectorsPerTrack));
    geometry.DiskSize = size;
    std::memcpy(out, &geometry, kSize);
    if (returned != nullptr) {
        *returned = kSize;
    }
    return ERROR_SUCCESS;
}

}  // namespace sim
