#include "platform/Drives.h"

#include "platform/Paths.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mntent.h>
#include <unistd.h>

TDriveService::~TDriveService() = default;

namespace {

bool OneOf(std::string_view s, std::initializer_list<std::string_view> list) {
    for (std::string_view x : list) {
        if (s == x) {
            return true;
        }
    }
    return false;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Whether dir equals path or is one of its parent directories (both absolute).
bool Contains(std::string_view dir, std::string_view path) {
    if (dir == "/") {
        return !path.empty() && path[0] == '/';
    }
    if (!StartsWith(path, dir)) {
        return false;
    }
    return path.size() == dir.size() || path[dir.size()] == '/';
}

} // namespace

int DriveTypeOf(std::string_view fsType, std::string_view device, bool removable) {
    if (OneOf(fsType, {"proc",        "sysfs",           "cgroup",     "cgroup2",
                       "devpts",      "devtmpfs",        "securityfs", "debugfs",
                       "tracefs",     "pstore",          "bpf",        "mqueue",
                       "hugetlbfs",   "configfs",        "fusectl",    "binfmt_misc",
                       "autofs",      "overlay",         "efivarfs",   "nsfs",
                       "rpc_pipefs",  "selinuxfs",       "nfsd",       "fuse.lxcfs",
                       "fuse.portal", "fuse.gvfsd-fuse", "aufs"})) {
        return dtNoRootDir;
    }
    if (OneOf(fsType,
              {"nfs",        "nfs4",  "cifs",        "smb3",      "smbfs",          "sshfs",
               "fuse.sshfs", "9p",    "ceph",        "glusterfs", "fuse.glusterfs", "afs",
               "ncpfs",      "davfs", "fuse.davfs2", "fuse.s3fs", "fuse.rclone",    "lustre",
               "gpfs",       "beegfs"})) {
        return dtRemote;
    }
    if (OneOf(fsType, {"iso9660", "udf"})) {
        return dtCDROM;
    }
    if (OneOf(fsType, {"tmpfs", "ramfs"})) {
        return dtRAMDisk;
    }
    if (StartsWith(device, "/dev/")) {
        return removable ? dtRemovable : dtFixed;
    }
    if (OneOf(fsType, {"ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs", "ntfs3",
                       "fuseblk", "f2fs", "jfs", "reiserfs", "zfs", "hfsplus", "msdos"})) {
        return dtFixed;
    }
    return dtUnknown;
}

std::vector<TMountEntry> TDriveService::MountTable() const {
    std::vector<TMountEntry> table;
    FILE* f = setmntent("/proc/self/mounts", "re");
    if (f == nullptr) {
        return table;
    }
    mntent entry{};
    std::array<char, 4096> buffer{};
    while (getmntent_r(f, &entry, buffer.data(), static_cast<int>(buffer.size())) != nullptr) {
        table.push_back({entry.mnt_fsname ? entry.mnt_fsname : "",
                         entry.mnt_dir ? entry.mnt_dir : "", entry.mnt_type ? entry.mnt_type : ""});
    }
    endmntent(f);
    return table;
}

bool TDriveService::IsRemovableDevice(const std::string& device) const {
    if (!StartsWith(device, "/dev/")) {
        return false;
    }
    char resolved[PATH_MAX];
    std::string dev = realpath(device.c_str(), resolved) ? std::string(resolved) : device;
    const std::string name = NameOf(dev);
    if (name.empty()) {
        return false;
    }
    // A partition keeps the flag on its disk, one level up in sysfs.
    for (const char* candidate : {"/removable", "/../removable"}) {
        std::ifstream in("/sys/class/block/" + name + candidate);
        int flag = 0;
        if (in >> flag) {
            return flag == 1;
        }
    }
    return false;
}

std::vector<TDriveInfo> TDriveService::Drives() const {
    std::vector<TDriveInfo> drives;
    for (const TMountEntry& m : MountTable()) {
        const int type = DriveTypeOf(m.FsType, m.Device, false);
        const bool mayBeRemovable = type == dtFixed && StartsWith(m.Device, "/dev/");
        drives.push_back({m.MountPoint, mayBeRemovable && IsRemovableDevice(m.Device)
                                            ? static_cast<int>(dtRemovable)
                                            : type});
    }
    return drives;
}

std::string TDriveService::MountPointOf(const std::string& path) const {
    const std::string full = ResolvedPath(path);
    std::string best;
    for (const TMountEntry& m : MountTable()) {
        if (Contains(m.MountPoint, full) && m.MountPoint.size() >= best.size()) {
            best = m.MountPoint;
        }
    }
    return best;
}

const TDriveService& SystemDrives() {
    static const TDriveService service;
    return service;
}

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!path.empty() && realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        char cwd[PATH_MAX];
        const std::string base = getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/");
        full = base + "/" + full;
    }
    // Tidy by name: drop empty and "." components, let ".." remove its parent.
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= full.size()) {
        const std::size_t j = std::min(full.find('/', i), full.size());
        const std::string part = full.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& p : parts) {
        out += "/" + p;
    }
    return out.empty() ? std::string("/") : out;
}
