// Physical drives by number: the drive object, its path, the bus query and
// the count of internal drives.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/unique.h"

namespace ssdprep {

// One physical drive, named by its number. It holds no handle: every query
// opens the drive afresh and closes it before returning.
class Disk {
public:
    explicit Disk(std::uint32_t driveNumber) : m_driveNumber(driveNumber) {}
    virtual ~Disk() = default;
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    [[nodiscard]] std::uint32_t DriveNumber() const { return m_driveNumber; }

    // Recognised partitions in the layout (layout.cpp); 0 when unreadable.
    int GetPartitionCount() const;
    // Partition changes through the partitioning tool (scripts.cpp): 1 when
    // the tool ran on a complete script, 0 when not. `toolStarted`, when
    // given, is set when the partitioning tool was started, whatever the
    // wait for it gave.
    int DeletePartition(int partitionNumber, bool* toolStarted = nullptr) const;
    int CreatePartition(const std::u16string& label, const std::u16string& fileSystem) const;

private:
    const std::uint32_t m_driveNumber;
};

// The drive the solid-state gate examines and the partition steps change.
inline constexpr std::uint32_t kTargetDrive = 0;

inline constexpr std::size_t kDrivePathCapacity = 40;  // wide characters, terminator included
inline constexpr std::uint32_t kProbedDriveCount = 5;  // drives 0 to 4 take part in the counts

// Writes "\\.\PHYSICALDRIVE<n>" into the buffer.
void FormatDrivePath(char16_t (&buffer)[kDrivePathCapacity], std::uint32_t driveNumber);

// Opens the drive with the given access and flags, sharing read and write.
platform::UniqueDrive OpenDrive(const Disk& disk, std::uint32_t access, std::uint32_t flags);

int CountUsbDrives();
int CountInternalDrives();

// The bus query's request and reply blocks, byte for byte.
inline constexpr std::uint32_t kStorageQueryPropertyCode =
    0x2D1400;  // IOCTL_STORAGE_QUERY_PROPERTY
inline constexpr std::size_t kBusQuerySize = 14;
inline constexpr std::size_t kBusReplySize = 37;
using BusQuery = std::array<std::uint8_t, kBusQuerySize>;
using BusReply = std::array<std::uint8_t, kBusReplySize>;
BusQuery ComposeBusQuery();
BusReply ComposeBusReply();
// The reply's BusType (a STORAGE_BUS_TYPE), and 1 when it is USB.
std::uint32_t BusTypeOf(const BusReply& reply);
int BusReplyIsUsb(const BusReply& reply);

// One bus query as it went: the read-write open, the request, the reply.
struct BusAnswer {
    bool opened = false;
    bool answered = false;  // the request succeeded, however short the reply
    BusReply reply{};
};
BusAnswer QueryBus(const Disk& disk);

enum class DriveBus {
    Internal,     // answered, and not USB
    Usb,          // answered with BusType USB
    Unconfirmed,  // could not be opened read-write, or the request failed
};
DriveBus ClassifyBus(const BusAnswer& answer);

// What the counts read of drives 0 to 4: first whether each opens at all,
// then each one's bus query.
using DrivePresence = std::array<bool, kProbedDriveCount>;
using DriveBuses = std::array<BusAnswer, kProbedDriveCount>;
DrivePresence ReadDrivePresence();
DriveBuses ReadDriveBuses();
// USB drives: a drive that cannot be asked counts as not USB, and so as
// internal when it is present.
int CountUsb(const DriveBuses& buses);
// Drives present less drives on USB, as a plain difference.
int CountInternal(const DrivePresence& presence, const DriveBuses& buses);

// Little-endian reads and writes on byte blocks.
std::uint32_t ReadU32(const std::uint8_t* bytes);
std::uint64_t ReadU64(const std::uint8_t* bytes);
void WriteU32(std::uint8_t* bytes, std::uint32_t value);

}  // namespace ssdprep
