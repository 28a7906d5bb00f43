#include "platform/BackupFile.h"

#include "platform/DescriptorIO.h"
#include "platform/FileAttributes.h"
#include "platform/Temporaries.h"
#include "platform/WriteError.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t slash = path.find('/', from);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > from)
            parts.push_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    return parts;
}

constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
// A folder made for the copies is its maker's alone: the folders they mirror may
// be closed to other accounts.
constexpr mode_t FolderMode = 0700;

// Opens the backup folder as the user wrote it, creating what is missing of it;
// a folder created here is opened without following a link (none can have
// taken its place unseen). Returns 0 or errno.
int OpenBackupFolder(const std::string& dir, UniqueFd& out) {
    out.Reset(::open(dir.c_str(), FolderFlags));
    if (out.Valid())
        return 0;
    if (errno != ENOENT)
        return errno;
    UniqueFd at(::open(dir.front() == '/' ? "/" : ".", FolderFlags));
    if (!at.Valid())
        return errno;
    for (const std::string& part : Components(dir)) {
        int fd = ::openat(at.Get(), part.c_str(), FolderFlags);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(at.Get(), part.c_str(), FolderMode) != 0 && errno != EEXIST)
                return errno;
            fd = ::openat(at.Get(), part.c_str(), FolderFlags | O_NOFOLLOW);
        }
        if (fd < 0)
            return errno;
        at.Reset(fd);
    }
    out = std::move(at);
    return 0;
}

// Below the backup folder: each folder created when missing and opened without
// following a link. Returns 0 or errno.
int OpenFolderBelow(UniqueFd& at, const std::string& part) {
    if (part == "..")
        return EINVAL;
    if (::mkdirat(at.Get(), part.c_str(), FolderMode) != 0 && errno != EEXIST)
        return errno;
    const int fd = ::openat(at.Get(), part.c_str(), FolderFlags | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    at.Reset(fd);
    return 0;
}

} // namespace

BackupFile::BackupFile(const std::string& path, const std::string& folder, const std::string& rel,
                       const std::string& original, unsigned mode)
    : path_(path) {
    std::vector<std::string> parts = Components(rel);
    if (parts.empty() || parts.back() == "." || parts.back() == "..")
        Fail(EINVAL);
    name_ = parts.back();
    parts.pop_back();
    if (const int err = OpenBackupFolder(folder, folder_))
        Fail(err);
    for (const std::string& part : parts) {
        if (part == ".")
            continue;
        if (const int err = OpenFolderBelow(folder_, part))
            Fail(err);
    }
    // No wider than the original is open to through its folders.
    file_.Reset(::openat(folder_.Get(), name_.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                         ModeSeenThroughFolders(original, static_cast<mode_t>(mode) & 0666)));
    if (!file_.Valid())
        Fail(errno);
}

BackupFile::~BackupFile() {
    if (kept_ || !file_.Valid())
        return;
    // Only the file made here is removed, should another have taken its name.
    struct stat mine {};
    if (::fstat(file_.Get(), &mine) == 0)
        RemoveIfSameFile(folder_.Get(), name_, mine.st_dev, mine.st_ino);
}

void BackupFile::Append(std::string_view bytes) {
    if (const int err = WriteAll(file_.Get(), bytes))
        Fail(err);
}

void BackupFile::Keep() {
    if (::fsync(file_.Get()) != 0)
        Fail(errno);
    // The new name in its folder, too (a folder is flushed through a descriptor
    // opened for reading).
    const UniqueFd folder(::openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid() && ::fsync(folder.Get()) != 0 && errno != EINVAL)
        Fail(errno);
    kept_ = true;
    file_.Reset();
    folder_.Reset();
}

void BackupFile::Fail(int err) const {
    throw std::runtime_error(CreateErrorMessage(path_, err));
}
