#include "platform/DirList.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

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

TDirListing::TDirListing(const std::string& path) {
    dir_ = opendir(path.empty() ? "." : path.c_str());
}

TDirListing::TDirListing(const TDirListing& parent, const char* name) {
    if (parent.dir_ == nullptr) {
        return;
    }
    const int fd =
        openat(dirfd(parent.dir_), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    dir_ = fdopendir(fd);
    if (dir_ == nullptr) {
        close(fd);
    }
}

TDirListing::~TDirListing() {
    if (dir_ != nullptr) {
        closedir(dir_);
    }
}

bool TDirListing::Next() {
    if (dir_ == nullptr) {
        return false;
    }
    errno = 0;
    const dirent* e = readdir(dir_);
    statState_ = 0;
    lstatState_ = 0;
    if (e == nullptr) {
        name_ = nullptr;
        nameLength_ = 0;
        return false;
    }
    name_ = e->d_name;
    nameLength_ = std::strlen(e->d_name);
    type_ = e->d_type;
    return true;
}

bool TDirListing::IsDotOrDotDot() const {
    return name_ != nullptr && name_[0] == '.' &&
           (name_[1] == 0 || (name_[1] == '.' && name_[2] == 0));
}

bool TDirListing::StatFollow() {
    if (statState_ == 0) {
        statState_ = fstatat(dirfd(dir_), name_, &st_, 0) == 0 ? 1 : -1;
    }
    return statState_ == 1;
}

bool TDirListing::StatNoFollow() {
    if (lstatState_ == 0) {
        lstatState_ = fstatat(dirfd(dir_), name_, &lst_, AT_SYMLINK_NOFOLLOW) == 0 ? 1 : -1;
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
