#include "platform/DirList.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

void TFindData::Clear() {
    Attributes = 0;
    LastWriteTime = TFileTime{};
    SizeHigh = 0;
    SizeLow = 0;
    Name.clear();
}

std::int32_t AttributesOf(const struct stat& st, const char* name) {
    std::int32_t attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr |= kAttrDirectory;
    } else if (S_ISREG(st.st_mode)) {
        attr |= kAttrArchive;
    } else {
        attr |= kAttrSysFile;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
        attr |= kAttrReadOnly;
    }
    if (name[0] == '.') {
        attr |= kAttrHidden;
    }
    return attr;
}

namespace {

int OpenSubdirectory(int parentFd, const char* name) {
    return openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

TDirListing::TDirListing(const std::string& path) {
    dir_.reset(opendir(path.empty() ? "." : path.c_str()));
    if (dir_ == nullptr) {
        error_ = errno;
        return;
    }
    fd_ = dirfd(dir_.get());
}

TDirListing::TDirListing(const TDirListing& parent, const char* name) {
    if (parent.fd_ < 0) {
        error_ = EBADF;
        return;
    }
    UniqueFd fd(OpenSubdirectory(parent.fd_, name));
    if (!fd.Valid()) {
        error_ = errno;
        return;
    }
    dir_.reset(fdopendir(fd.Get()));
    if (dir_ == nullptr) {
        error_ = errno;
        return;
    }
    fd_ = fd.Release(); // the stream owns it now
}

TDirListing::~TDirListing() = default;

bool TDirListing::Next() {
    statState_ = 0;
    lstatState_ = 0;
    if (dir_ == nullptr) {
        if (next_ >= pending_.size()) {
            name_ = nullptr;
            nameLength_ = 0;
            return false;
        }
        const Pending& p = pending_[next_++];
        name_ = names_.data() + p.offset;
        nameLength_ = p.length;
        type_ = p.type;
        return true;
    }
    errno = 0;
    const dirent* e = readdir(dir_.get());
    if (e == nullptr) {
        if (errno != 0) {
            error_ = errno;
        }
        name_ = nullptr;
        nameLength_ = 0;
        return false;
    }
    name_ = e->d_name;
    nameLength_ = std::strlen(e->d_name);
    type_ = e->d_type;
    return true;
}

void TDirListing::Suspend(const std::stop_token& stop) {
    name_ = nullptr;
    nameLength_ = 0;
    statState_ = 0;
    lstatState_ = 0;
    if (fd_ < 0) {
        return;
    }
    if (dir_ == nullptr) {
        reopened_.Reset();
        fd_ = -1;
        return;
    }
    struct stat st {};
    known_ = fstat(fd_, &st) == 0;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    for (;;) {
        if (stop.stop_requested()) {
            error_ = ECANCELED;
            break;
        }
        errno = 0;
        const dirent* e = readdir(dir_.get());
        if (e == nullptr) {
            if (errno != 0) {
                error_ = errno;
            }
            break;
        }
        const std::size_t length = std::strlen(e->d_name);
        pending_.push_back(Pending{names_.size(), length, e->d_type});
        names_.append(e->d_name, length + 1); // with its terminating zero
    }
    dir_.reset();
    fd_ = -1;
}

int TDirListing::Reopen(const TDirListing& parent, const char* name) {
    if (fd_ >= 0) {
        return 0;
    }
    if (dir_ != nullptr || !known_ || parent.fd_ < 0) {
        return EBADF; // never suspended, or no directory to look in
    }
    UniqueFd fd(OpenSubdirectory(parent.fd_, name));
    if (!fd.Valid()) {
        return errno;
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0) {
        return errno;
    }
    if (st.st_dev != dev_ || st.st_ino != ino_) {
        return ENOENT;
    }
    reopened_ = std::move(fd);
    fd_ = reopened_.Get();
    return 0;
}

bool TDirListing::IsDotOrDotDot() const {
    return name_ != nullptr && name_[0] == '.' &&
           (name_[1] == 0 || (name_[1] == '.' && name_[2] == 0));
}

bool TDirListing::StatFollow() {
    if (statState_ == 0) {
        statState_ = fstatat(fd_, name_, &st_, 0) == 0 ? 1 : -1;
    }
    return statState_ == 1;
}

bool TDirListing::StatNoFollow() {
    if (lstatState_ == 0) {
        lstatState_ = fstatat(fd_, name_, &lst_, AT_SYMLINK_NOFOLLOW) == 0 ? 1 : -1;
    }
    return lstatState_ == 1;
}

std::int32_t TDirListing::AttributesFor(std::int32_t wanted) {
    if (wanted == 0 || name_ == nullptr) {
        return 0;
    }
    const bool typeKnown = type_ != DT_UNKNOWN && type_ != DT_LNK;
    if (typeKnown && (wanted & kAttrReadOnly) == 0) {
        std::int32_t attr = type_ == DT_DIR   ? kAttrDirectory
                            : type_ == DT_REG ? kAttrArchive
                                              : kAttrSysFile;
        if (name_[0] == '.') {
            attr |= kAttrHidden;
        }
        return attr;
    }
    TFindData data;
    return Fill(data) ? data.Attributes : 0;
}

bool TDirListing::IsRealDirectory() {
    if (name_ == nullptr) {
        return false;
    }
    if (type_ != DT_UNKNOWN) {
        return type_ == DT_DIR;
    }
    return StatNoFollow() && S_ISDIR(lst_.st_mode);
}

bool TDirListing::DeviceOf(dev_t& device) {
    if (name_ == nullptr || !StatNoFollow()) {
        return false;
    }
    device = lst_.st_dev;
    return true;
}

bool TDirListing::RegularFileId(std::uint64_t& device, std::uint64_t& inode) {
    if (name_ == nullptr || !StatFollow() || !S_ISREG(st_.st_mode)) {
        return false;
    }
    device = static_cast<std::uint64_t>(st_.st_dev);
    inode = static_cast<std::uint64_t>(st_.st_ino);
    return true;
}

bool TDirListing::Fill(TFindData& data) {
    if (name_ == nullptr) {
        return false;
    }
    const struct stat* st = nullptr;
    std::int32_t attr = 0;
    if (StatFollow()) {
        st = &st_;
        attr = AttributesOf(st_, name_);
    } else if (StatNoFollow()) {
        // A link whose target is missing or out of reach: a plain file of size 0.
        st = &lst_;
        attr = kAttrArchive | (name_[0] == '.' ? kAttrHidden : 0);
    } else {
        return false;
    }
    data.Attributes = attr;
    data.LastWriteTime.Seconds = static_cast<std::int64_t>(st->st_mtim.tv_sec);
    data.LastWriteTime.Nanoseconds = static_cast<std::int32_t>(st->st_mtim.tv_nsec);
    // Only a regular file has a size; a directory, a device or a dangling link reports 0.
    const std::uint64_t size =
        (st == &st_ && S_ISREG(st->st_mode)) ? static_cast<std::uint64_t>(st->st_size) : 0;
    data.SizeHigh = static_cast<std::uint32_t>(size >> 32);
    data.SizeLow = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    data.Name.assign(name_, nameLength_);
    return true;
}
