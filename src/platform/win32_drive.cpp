// Physical-drive I/O over Win32. Kept apart from the rest of the Win32 layer
// so that the simulated test build can replace exactly this unit.
//
// The request and reply blocks are composed byte by byte in portable code; the
// assertions below pin the SDK structures to the offsets that code uses.
#include <windows.h>
// After windows.h, which it builds on.
#include <winioctl.h>

#include <cstddef>

#include "platform/platform.h"

static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400);
static_assert(SMART_RCV_DRIVE_DATA == 0x7C088);
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT == 0x7400C);

// Bus query: the 14-byte request and the 37-byte head of the reply.
static_assert(offsetof(STORAGE_PROPERTY_QUERY, PropertyId) == 0);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == 4);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == 8);
static_assert(StorageDeviceProperty == 0 && PropertyStandardQuery == 0);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, Size) == 4);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(sizeof(STORAGE_BUS_TYPE) == 4 && BusTypeUsb == 7);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);

// Identify exchange: 32-byte request (no data byte), 528-byte reply.
static_assert(offsetof(SENDCMDINPARAMS, cBufferSize) == 0);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == 4);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) + offsetof(IDEREGS, bCommandReg) == 10);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == 12);
static_assert(offsetof(SENDCMDINPARAMS, bBuffer) == 32);
static_assert(offsetof(SENDCMDOUTPARAMS, cBufferSize) == 0);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == 16);
static_assert(sizeof(SENDCMDINPARAMS) == 33 && sizeof(SENDCMDOUTPARAMS) == 17);
static_assert(IDENTIFY_BUFFER_SIZE == 512);
static_assert(ID_CMD == 0xEC);

// Layout reply: 8-byte header, 32-byte entries.
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionCount) == 0);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8);
static_assert(sizeof(PARTITION_INFORMATION) == 32);
static_assert(offsetof(PARTITION_INFORMATION, PartitionNumber) == 20);
static_assert(offsetof(PARTITION_INFORMATION, PartitionType) == 24);
static_assert(offsetof(PARTITION_INFORMATION, RecognizedPartition) == 26);
static_assert(offsetof(PARTITION_INFORMATION, StartingOffset) == 0);
static_assert(offsetof(PARTITION_INFORMATION, PartitionLength) == 8);

// The reads that need no access to the drive (FILE_ANY_ACCESS, bits 14 and
// 15 of the code): the extended layout for the style and the disk's
// signature or GUID, the geometry for the size, and a volume's extents.
constexpr DWORD AccessOf(DWORD code) { return (code >> 14) & 3; }
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == 0x70050);
static_assert(AccessOf(IOCTL_DISK_GET_DRIVE_LAYOUT_EX) == FILE_ANY_ACCESS);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionStyle) == 0);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Mbr) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_MBR, Signature) == 0);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, DiskId) == 0 && sizeof(GUID) == 16);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x700A0);
static_assert(AccessOf(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX) == FILE_ANY_ACCESS);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24);
static_assert(offsetof(DISK_GEOMETRY, Cylinders) == 0 &&
              offsetof(DISK_GEOMETRY, TracksPerCylinder) == 12);
static_assert(offsetof(DISK_GEOMETRY, SectorsPerTrack) == 16);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == 20);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x560000);
static_assert(AccessOf(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS) == FILE_ANY_ACCESS);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8 && sizeof(DISK_EXTENT) == 24);
static_assert(offsetof(DISK_EXTENT, StartingOffset) == 8 &&
              offsetof(DISK_EXTENT, ExtentLength) == 16);

namespace platform {

Handle OpenDrive(const char16_t* path, std::uint32_t access, std::uint32_t share,
                 std::uint32_t disposition, std::uint32_t flags) {
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(path), access, share, nullptr,
                         disposition, flags, nullptr);
}

int DeviceControl(Handle drive, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                  std::uint32_t outSize, std::uint32_t* returned) {
    DWORD bytes = *returned;
    const BOOL ok = ::DeviceIoControl(drive, code, const_cast<void*>(in), inSize, out, outSize,
                                      &bytes, nullptr);
    *returned = bytes;
    return ok;
}

int CloseDrive(Handle drive) { return ::CloseHandle(drive); }

}  // namespace platform
