// The solid-state gate: one internal drive, and drive 0 reporting
// non-rotating media in its ATA identify data.
#pragma once

#include <array>
#include <cstdint>

#include "disk/disk.h"

namespace ssdprep {

inline constexpr std::uint32_t kSmartReceiveDriveDataCode = 0x7C088;  // SMART_RCV_DRIVE_DATA
inline constexpr std::size_t kIdentifyRequestSize = 32;
inline constexpr std::size_t kIdentifyReplySize = 528;
inline constexpr std::size_t kIdentifyDataSize = 512;
using IdentifyData = std::array<std::uint8_t, kIdentifyDataSize>;

int IsSsdOnlyModel();
int IsSsd(const Disk& disk);
// Always fills `data`: the identify data when the exchange succeeded.
int IdentifyDevice(platform::Handle drive, IdentifyData& data);

// Writes the fields of the identify request and reply into zero-filled blocks.
void ComposeIdentifyRequest(std::uint8_t* request);
void ComposeIdentifyReply(std::uint8_t* reply);
// Word 217 of the identify data: the nominal media rotation rate.
std::uint16_t RotationRate(const IdentifyData& data);
// 1 when word 217 is exactly 1 (non-rotating media).
int IdentifyReportsSolidState(const IdentifyData& data);

// One identify exchange on a drive, as it went.
struct IdentifyAnswer {
    bool opened = false;     // read-write
    bool exchanged = false;  // the request succeeded
    IdentifyData data{};
};
IdentifyAnswer QueryIdentify(const Disk& disk);
// 1 when the exchange succeeded and reports non-rotating media.
int IdentifyAnswerIsSolidState(const IdentifyAnswer& answer);

enum class SsdOnlyOutcome {
    SsdOnly,
    NotOneInternalDrive,  // none, or more than one, among drives 0 to 4
    Drive0OnUsb,
    Drive0Unconfirmed,  // drive 0 could not be asked for its bus type
    NotSolidState,      // no identify answer, or word 217 is not 1
};

// The gate, in the order the drives are read: each reader is called only
// when what came before leaves the gate open. `drive0Bus` gives drive 0's
// DriveBus, `drive0SolidState` its IsSsd answer.
template <typename Drive0Bus, typename Drive0SolidState>
SsdOnlyOutcome DecideSsdOnly(int internalDrives, Drive0Bus drive0Bus,
                             Drive0SolidState drive0SolidState) {
    if (internalDrives != 1) {
        return SsdOnlyOutcome::NotOneInternalDrive;
    }
    // Drive 0 is the one that gets partitioned: unless it is confirmed to
    // be internal (a USB drive 0 means the one internal drive is another),
    // nothing may be changed.
    switch (drive0Bus()) {
        case DriveBus::Usb:
            return SsdOnlyOutcome::Drive0OnUsb;
        case DriveBus::Unconfirmed:
            return SsdOnlyOutcome::Drive0Unconfirmed;
        case DriveBus::Internal:
            break;
    }
    return drive0SolidState() != 0 ? SsdOnlyOutcome::SsdOnly : SsdOnlyOutcome::NotSolidState;
}

}  // namespace ssdprep
