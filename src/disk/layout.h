// Questions about a drive's partition layout, each read afresh from the drive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "disk/disk.h"

namespace ssdprep {

inline constexpr std::uint32_t kGetDriveLayoutCode = 0x7400C;  // IOCTL_DISK_GET_DRIVE_LAYOUT
inline constexpr int kHibernationPartitionType = 0x84;
inline constexpr int kNoPartition = -1;

// The number of entries a layout reply holds. Windows lists four entries per
// partition table (the MBR's and each logical drive's), and refuses a buffer
// that cannot hold every entry whole: 16 entries reach three logical drives.
inline constexpr std::uint32_t kLayoutEntryLimit = 16;
// The 8-byte header and 16 whole 32-byte entries.
inline constexpr std::size_t kLayoutReplySize = 8 + 32 * kLayoutEntryLimit;
using LayoutReply = std::array<std::uint8_t, kLayoutReplySize>;

int GetPartitionType(const Disk& disk, int partitionNumber);
int FindHibernationPartition(const Disk& disk);

// One layout read as it went: open with full access, the request, close.
// A failed request is reported on the debugger output.
struct LayoutAnswer {
    bool opened = false;
    bool read = false;        // the request succeeded
    std::uint32_t error = 0;  // the system's error code when the open or request failed
    LayoutReply reply{};
};
LayoutAnswer QueryLayout(const Disk& disk);

struct PartitionEntry {
    int number;
    int type;  // 0 to 255
};

// Every entry of a layout reply, recognised or not, as Windows lists them:
// the MBR's four, then four for each logical drive's table.
struct LayoutEntry {
    std::uint32_t index;   // 0 to 3: one of the MBR's own (primary) entries
    std::uint64_t offset;  // StartingOffset, bytes
    std::uint64_t length;  // PartitionLength, bytes
    int number;
    int type;
    bool recognized;
};
inline constexpr std::uint32_t kPrimaryEntries = 4;
std::vector<LayoutEntry> LayoutEntries(const LayoutReply& reply);
// The types IsContainerPartition names: an extended partition.
bool IsContainer(int type);
// The entries the scans take part in: recognised (exactly 1), in order,
// among the first PartitionCount but never past the 16th entry, whatever
// PartitionCount claims.
std::vector<PartitionEntry> RecognizedPartitions(const LayoutReply& reply);
int CountRecognizedPartitions(const LayoutReply& reply);
// The type of the last recognised entry with that number, or -1.
int FindPartitionType(const LayoutReply& reply, int partitionNumber);
// The same questions on a read that may have failed, as the tool asks them:
// an unreadable layout has no partitions and no types.
int RecognizedCountOrZero(const LayoutAnswer& answer);
int PartitionTypeOrNone(const LayoutAnswer& answer, int partitionNumber);

// The partition style of a drive, as IOCTL_DISK_GET_DRIVE_LAYOUT_EX gives it.
// The tool never asks this; the report does, once, after every read the tool
// makes, to say why a layout could not be read.
inline constexpr std::uint32_t kGetDriveLayoutExCode = 0x70050;  // IOCTL_DISK_GET_DRIVE_LAYOUT_EX
inline constexpr std::uint32_t kPartitionStyleMbr = 0;
inline constexpr std::uint32_t kPartitionStyleGpt = 1;
inline constexpr std::uint32_t kPartitionStyleRaw = 2;
using Guid = std::array<std::uint8_t, 16>;  // as a GUID lies in memory
struct StyleAnswer {
    bool read = false;            // opened, and the request succeeded
    std::uint32_t error = 0;      // the system's error code when not
    std::uint32_t style = 0;      // PARTITION_STYLE_*, when read
    std::uint32_t signature = 0;  // Mbr.Signature, when read and MBR
    Guid diskId{};                // Gpt.DiskId, when read and GPT
};
// Opened asking for no access: the request needs none (FILE_ANY_ACCESS), so
// the style can be told even where the layout cannot be read.
StyleAnswer QueryPartitionStyle(const Disk& disk);

// A disk as its partition table names it: an MBR disk by its signature, a
// GPT disk by its GUID. Disks of different styles are different disks.
struct DiskIdentity {
    std::uint32_t style = kPartitionStyleMbr;
    std::uint32_t signature = 0;  // MBR only
    Guid guid{};                  // GPT only
    bool operator==(const DiskIdentity&) const = default;
};
// The identity, when the style was read and is MBR or GPT.
std::optional<DiskIdentity> IdentityOf(const StyleAnswer& style);

// Drive 0's size, sector size and cylinders, as
// IOCTL_DISK_GET_DRIVE_GEOMETRY_EX gives them (Windows XP and Server 2003
// on). The report's own read, after the tool's, opened asking for no
// access: the request needs none.
inline constexpr std::uint32_t kGetDriveGeometryExCode = 0x700A0;
struct Geometry {
    std::uint64_t diskSize = 0;  // bytes
    std::uint32_t bytesPerSector = 0;
    std::uint64_t cylinders = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
};
struct GeometryAnswer {
    bool read = false;
    std::uint32_t error = 0;
    Geometry geometry;  // when read
};
GeometryAnswer QueryGeometry(const Disk& disk);

// The lowest number from 1 to the count whose type is the hibernation
// partition's, or -1. `count` and `typeOf(n)` each read the drive afresh.
template <typename Count, typename TypeOf>
int SearchHibernationPartition(Count count, TypeOf typeOf) {
    const int partitions = count();
    for (int number = 1; number <= partitions; ++number) {
        if (typeOf(number) == kHibernationPartitionType) {
            return number;
        }
    }
    return kNoPartition;
}

}  // namespace ssdprep
