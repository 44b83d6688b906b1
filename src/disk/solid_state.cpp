#include "disk/solid_state.h"

#include <cstring>

namespace ssdprep {
namespace {

constexpr std::size_t kCommandRegisterOffset = 10;
constexpr std::uint8_t kIdentifyDeviceCommand = 0xEC;
constexpr std::size_t kReplyBufferOffset = 16;
constexpr std::size_t kRotationRateOffset = std::size_t{2} * 217;  // word 217
constexpr std::uint16_t kNonRotatingMedia = 1;

}  // namespace

void ComposeIdentifyRequest(std::uint8_t* request) {
    // cBufferSize 0 and drive number 0 stay as the zero fill left them.
    request[kCommandRegisterOffset] = kIdentifyDeviceCommand;
}

void ComposeIdentifyReply(std::uint8_t* reply) { WriteU32(reply, kIdentifyDataSize); }

int IdentifyReportsSolidState(const IdentifyData& data) {
    const auto rate = static_cast<std::uint16_t>(data[kRotationRateOffset] |
                                                 (data[kRotationRateOffset + 1] << 8));
    return rate == kNonRotatingMedia ? 1 : 0;
}

int IdentifyDevice(platform::Handle drive, IdentifyData& data) {
    // Declared in this order so that the reply block is freed first.
    const platform::UniqueGlobal request(
        platform::AllocateGlobal(platform::kGmemZeroInit, kIdentifyRequestSize));
    const platform::UniqueGlobal reply(
        platform::AllocateGlobal(platform::kGmemZeroInit, kIdentifyReplySize));
    if (!request.valid() || !reply.valid()) {
        // Without both blocks there is no exchange; the caller sees a failure.
        data.fill(0);
        return 0;
    }
    auto* requestBytes = static_cast<std::uint8_t*>(request.get());
    auto* replyBytes = static_cast<std::uint8_t*>(reply.get());
    ComposeIdentifyRequest(requestBytes);
    ComposeIdentifyReply(replyBytes);
    std::uint32_t returned = 0;
    const int ok =
        platform::DeviceControl(drive, kSmartReceiveDriveDataCode, requestBytes,
                                kIdentifyRequestSize, replyBytes, kIdentifyReplySize, &returned);
    std::memcpy(data.data(), replyBytes + kReplyBufferOffset, kIdentifyDataSize);
    return ok;
}

int IsSsd(const Disk& disk) {
    const platform::UniqueDrive drive =
        OpenDrive(disk, platform::kGenericRead | platform::kGenericWrite, 0);
    if (!drive.valid()) {
        return 0;
    }
    IdentifyData data{};
    const int ok = IdentifyDevice(drive.get(), data);
    return ok != 0 && IdentifyReportsSolidState(data) != 0 ? 1 : 0;
}

int IsSsdOnlyModel() {
    if (CountInternalDrives() != 1) {
        return 0;
    }
    const Disk disk(0);
    // Drive 0 is the one that gets partitioned: unless it is confirmed to be
    // internal (a USB drive 0 means the one internal drive is another), nothing
    // may be changed.
    if (ClassifyBus(QueryBus(disk)) != DriveBus::Internal) {
        return 0;
    }
    return IsSsd(disk) != 0 ? 1 : 0;
}

}  // namespace ssdprep
