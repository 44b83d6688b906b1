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
// 1 when word 217 (nominal media rotation rate) is exactly 1.
int IdentifyReportsSolidState(const IdentifyData& data);

}  // namespace ssdprep
