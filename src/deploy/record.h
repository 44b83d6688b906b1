// The registry record HKLM\SOFTWARE\ssdprep: the state of the run that last
// started the tool, which stays with the machine wherever its work dir
// goes, and drive 0's MBR disk signature then, which tells a record that
// came with an image of another disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ssdprep::deploy {

inline constexpr char kRecordName[] = "HKLM\\SOFTWARE\\ssdprep";

struct Record {
    bool present = false;
    std::string problem;                     // why it cannot be read as it is written, or empty
    std::string state;                       // DeployState, as the state file has it
    std::optional<std::uint32_t> signature;  // DeployDiskSignature, when there
};

// Reads the record in the 64-bit registry view.
Record ReadRecord();
// Writes DeployState and, when known, DeployDiskSignature, and flushes the
// key to the disk: empty when done, else why not.
std::string WriteRecord(const std::string& state, std::optional<std::uint32_t> signature);

}  // namespace ssdprep::deploy
