// Which disk a trace of a run belongs to: drive 0's identity as the log, the
// state file and the record write it, and whether drive 0 is the disk
// Windows runs from.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "disk/layout.h"

namespace ssdprep::deploy {

// "MBR disk signature 0x55D0CAFE", "GPT disk GUID {...}": for the log.
std::string IdentityText(const DiskIdentity& disk);
// The state file's line: "disk MBR 0x55D0CAFE", "disk GPT {...}"; and back,
// nothing for a line of any other form.
std::string IdentityLine(const DiskIdentity& disk);
std::optional<DiskIdentity> ParseIdentityLine(std::string_view line);
// A GUID as the registry writes one: "{0123ABCD-...}", upper case; and back.
std::string GuidText(const Guid& guid);
std::optional<Guid> ParseGuid(std::string_view text);

// Drive 0's identity, from the style read that needs no access; nothing for
// a RAW disk or a read that failed.
std::optional<DiskIdentity> ReadDrive0Identity();

struct SystemDisk {
    std::string line;        // for the log: where the system volume lies, or why that is unknown
    bool elsewhere = false;  // its extents were read, and none lies on drive 0
};
// Where the volume that holds the system directory lies.
SystemDisk FindSystemDisk();

}  // namespace ssdprep::deploy
