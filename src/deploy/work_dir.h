// ssdprep-deploy's work dir: where the tool's scripts, the log and the state
// file go, and the current directory of the programs it starts.
#pragma once

#include <string>

namespace ssdprep::deploy {

// X:\...: a path on a drive letter, which depends on no current directory.
bool IsDrivePath(const std::u16string& path);

// --work-dir, or else the program's own folder, as a full path with no
// trailing backslash but a drive root's.
std::u16string ResolveWorkDir(const std::u16string& given, const std::u16string& programDir);

// Why the work dir cannot serve, or empty. It must be an X:\ path on a
// volume that GetDriveTypeW calls fixed (a folder under a mount point
// counts as its volume's), leave the tool's script paths under 260
// characters, and be writable. Nothing is written before the first two
// hold. `given`: it came from --work-dir, not from the program's folder.
std::string CheckWorkDir(const std::u16string& fullPath, bool given);

}  // namespace ssdprep::deploy
