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

std::uint16_t RotationRate(const IdentifyData& data) {
    return static_cast<std::uint16_t>(data[kRotationRateOffset] |
                                      (data[kRotationRateOffset + 1] << 8));
}

int IdentifyReportsSolidState(const IdentifyData& data) {
    return RotationRate(data) == kNonRotatingMedia ? 1 : 0;
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

IdentifyAnswer QueryIdentify(const Disk& disk) {
    IdentifyAnswer answer;
    const platform::UniqueDrive drive =
        OpenDrive(disk, platform::kGenericRead | platform::kGenericWrite, 0);
    if (!drive.valid()) {
        return answer;
    }
    answer.opened = true;
    answer.exchanged = IdentifyDevice(drive.get(), answer.data) != 0;
    return answer;
}

int IdentifyAnswerIsSolidState(const IdentifyAnswer& answer) {
    return answer.exchanged && IdentifyReportsSolidState(answer.data) != 0 ? 1 : 0;
}

int IsSsd(const Disk& disk) { return IdentifyAnswerIsSolidState(QueryIdentify(disk)); }

int IsSsdOnlyModel() {
    const int internalDrives = CountInternalDrives();
    const Disk disk(kTargetDrive);
    const SsdOnlyOutcome outcome = DecideSsdOnly(
        internalDrives, [&] { return ClassifyBus(QueryBus(disk)); }, [&] { return IsSsd(disk); });
    return outcome == SsdOnlyOutcome::SsdOnly ? 1 : 0;
}

}  // namespace ssdprep
