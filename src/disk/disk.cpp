#include "disk/disk.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

namespace ssdprep {
namespace {

constexpr std::size_t kBusReplySizeOffset = 4;
constexpr std::size_t kBusTypeOffset = 28;
constexpr std::uint32_t kBusTypeUsb = 7;

constexpr std::uint32_t kShareReadWrite = platform::kFileShareRead | platform::kFileShareWrite;
constexpr std::uint32_t kReadWrite = platform::kGenericRead | platform::kGenericWrite;

// Presence only: asks for no access at all, so it succeeds where read-write
// access would be refused.
bool IsDrivePresent(std::uint32_t driveNumber) {
    const Disk disk(driveNumber);
    return OpenDrive(disk, 0, 0).valid();
}

}  // namespace

void FormatDrivePath(char16_t (&buffer)[kDrivePathCapacity], std::uint32_t driveNumber) {
    // The 17 fixed characters and at most 10 digits always fit the 40.
    constexpr std::u16string_view kPrefix = u"\\\\.\\PHYSICALDRIVE";
    char digits[10];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), driveNumber);
    static_cast<void>(error);  // cannot fail: 10 digits hold any 32-bit number
    char16_t* out = std::copy(kPrefix.begin(), kPrefix.end(), buffer);
    out = std::copy(std::begin(digits), end, out);
    std::fill(out, std::end(buffer), u'\0');
}

platform::UniqueDrive OpenDrive(const Disk& disk, std::uint32_t access, std::uint32_t flags) {
    char16_t path[kDrivePathCapacity];
    FormatDrivePath(path, disk.DriveNumber());
    return platform::UniqueDrive(
        platform::OpenDrive(path, access, kShareReadWrite, platform::kOpenExisting, flags));
}

std::uint32_t ReadU32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t ReadU64(const std::uint8_t* bytes) {
    return ReadU32(bytes) | static_cast<std::uint64_t>(ReadU32(bytes + 4)) << 32;
}

void WriteU32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

BusQuery ComposeBusQuery() {
    // PropertyId StorageDeviceProperty (0), QueryType PropertyStandardQuery
    // (0): all 14 bytes are zero, the 5 bytes behind the query included.
    return BusQuery{};
}

BusReply ComposeBusReply() {
    BusReply reply{};
    WriteU32(reply.data() + kBusReplySizeOffset, kBusReplySize);
    return reply;
}

std::uint32_t BusTypeOf(const BusReply& reply) { return ReadU32(reply.data() + kBusTypeOffset); }

int BusReplyIsUsb(const BusReply& reply) { return BusTypeOf(reply) == kBusTypeUsb ? 1 : 0; }

BusAnswer QueryBus(const Disk& disk) {
    BusAnswer answer;
    const platform::UniqueDrive drive = OpenDrive(disk, kReadWrite, platform::kFileAttributeNormal);
    if (!drive.valid()) {
        return answer;
    }
    answer.opened = true;
    const BusQuery query = ComposeBusQuery();
    answer.reply = ComposeBusReply();
    std::uint32_t returned = 0;
    answer.answered =
        platform::DeviceControl(drive.get(), kStorageQueryPropertyCode, query.data(), kBusQuerySize,
                                answer.reply.data(), kBusReplySize, &returned) != 0;
    return answer;
}

DriveBus ClassifyBus(const BusAnswer& answer) {
    if (!answer.answered) {
        return DriveBus::Unconfirmed;
    }
    return BusReplyIsUsb(answer.reply) != 0 ? DriveBus::Usb : DriveBus::Internal;
}

DrivePresence ReadDrivePresence() {
    DrivePresence presence{};
    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        presence[n] = IsDrivePresent(n);
    }
    return presence;
}

DriveBuses ReadDriveBuses() {
    DriveBuses buses{};
    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        buses[n] = QueryBus(Disk(n));
    }
    return buses;
}

int CountUsb(const DriveBuses& buses) {
    int count = 0;
    for (const BusAnswer& answer : buses) {
        count += ClassifyBus(answer) == DriveBus::Usb ? 1 : 0;
    }
    return count;
}

int CountInternal(const DrivePresence& presence, const DriveBuses& buses) {
    int present = 0;
    for (bool opened : presence) {
        present += opened ? 1 : 0;
    }
    return present - CountUsb(buses);
}

int CountUsbDrives() { return CountUsb(ReadDriveBuses()); }

int CountInternalDrives() {
    // All five presence tests come before the first bus query.
    const DrivePresence presence = ReadDrivePresence();
    return CountInternal(presence, ReadDriveBuses());
}

}  // namespace ssdprep
