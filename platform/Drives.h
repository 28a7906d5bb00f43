#pragma once
// Drives of the scanner: a drive is a mounted file system, listed from the mount
// table in mount order, with a drive type like the classic drive-type codes.

#include <string>
#include <string_view>
#include <vector>

enum TDriveType : int {
    dtUnknown = 0,   // never walked
    dtNoRootDir = 1, // pseudo file systems (proc, sysfs, overlay layers ...): never walked
    dtRemovable = 2, // mounted from a device whose "removable" flag is 1
    dtFixed = 3,     // local block-device file systems
    dtRemote = 4,    // network file systems
    dtCDROM = 5,     // iso9660, udf
    dtRAMDisk = 6,   // tmpfs, ramfs
};

struct TMountEntry {
    std::string Device;
    std::string MountPoint;
    std::string FsType;
};

struct TDriveInfo {
    std::string MountPoint;
    int Type = dtUnknown;
};

// The drive services the scan needs, behind an interface so tests can give a
// fixed mount table.
class TDriveService {
public:
    virtual ~TDriveService();
    // Every mounted file system in mount order, with its type.
    virtual std::vector<TDriveInfo> Drives() const;
    // The mount point of the file system that holds path (the longest mount point
    // that is path or one of its parent directories; the last mounted wins), or ""
    // when none does.
    virtual std::string MountPointOf(const std::string& path) const;

protected:
    // The raw mount table; the system's comes from /proc/self/mounts.
    virtual std::vector<TMountEntry> MountTable() const;
    // Whether the block device is removable media.
    virtual bool IsRemovableDevice(const std::string& device) const;
};

const TDriveService& SystemDrives();

// The drive type of one mount-table entry (removable: the device's sysfs flag).
int DriveTypeOf(std::string_view fsType, std::string_view device, bool removable);

// Absolute, "." and ".." resolved and links followed where the path exists;
// otherwise made absolute against the current directory and tidied by name.
std::string ResolvedPath(const std::string& path);
