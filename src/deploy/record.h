// The registry record HKLM\SOFTWARE\ssdprep: the state of the run that last
// started the tool, which stays with the machine wherever its work dir
// goes, and drive 0's identity then, which tells a record that came with an
// image of another disk.
#pragma once

#include <optional>
#include <string>

#include "disk/layout.h"

namespace ssdprep::deploy {

inline constexpr char kRecordName[] = "HKLM\\SOFTWARE\\ssdprep";

struct Record {
    bool present = false;
    std::string problem;               // why it cannot be read as it is written, or empty
    std::string state;                 // DeployState, as the state file has it
    std::optional<DiskIdentity> disk;  // DeployDiskSignature (MBR) or DeployDiskGuid (GPT)
};

// Reads the record in the 64-bit registry view.
Record ReadRecord();
// Writes DeployState and, when known, the disk's identity, and flushes the
// key to the disk: empty when done, else why not.
std::string WriteRecord(const std::string& state, const std::optional<DiskIdentity>& disk);
// Deletes the record: empty when it is gone, or never was, else why not.
std::string RemoveRecord();

}  // namespace ssdprep::deploy
