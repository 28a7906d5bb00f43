#include "platform/FileStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/sysmacros.h>

int StatusWithFlags(int dir, const char* name, int atFlags, struct stat& st, FileFlags& flags) {
    flags = FileFlags();
    struct statx sx {};
    if (::statx(dir, name, atFlags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &sx) != 0) {
        if (errno != ENOSYS && errno != EPERM)
            return errno;
        // No statx (an old kernel, a seccomp filter): the plain status, flags unknown.
        return ::fstatat(dir, name, &st, atFlags) == 0 ? 0 : errno;
    }
    st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_blksize = sx.stx_blksize;
    st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
    st.st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    if ((sx.stx_attributes_mask & STATX_ATTR_IMMUTABLE) != 0)
        flags.immutable = (sx.stx_attributes & STATX_ATTR_IMMUTABLE) != 0 ? 1 : 0;
    if ((sx.stx_attributes_mask & STATX_ATTR_APPEND) != 0)
        flags.appendOnly = (sx.stx_attributes & STATX_ATTR_APPEND) != 0 ? 1 : 0;
    return 0;
}
