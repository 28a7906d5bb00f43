#include "platform/Temporaries.h"

#include "platform/TempNames.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The process's number, asked once.
unsigned long long ProcessNumber() {
    static const auto pid = static_cast<unsigned long long>(::getpid());
    return pid;
}

std::string RandomSuffix() {
    static std::atomic<unsigned long long> counter{0};
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long x = static_cast<unsigned long long>(
                               std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           (ProcessNumber() << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    std::string s(kWriteTemporaryRandomLength, 'X');
    for (char& c : s) {
        c = Alphabet[x % 62];
        x /= 62;
    }
    return s;
}

} // namespace

int CreateTemporary(int folder, const std::string& targetName, mode_t mode, TemporaryFile& made) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        made.name = WriteTemporaryName(targetName, RandomSuffix());
        made.fd.Reset(::openat(folder, made.name.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY,
                               mode));
        if (made.fd.Valid())
            return 0;
        if (errno != EEXIST) {
            const int err = errno;
            made.name.clear();
            return err;
        }
    }
    made.name.clear();
    return EEXIST;
}

WriteFault OpenTemporaryAgain(int folder, TemporaryFile& temp, int flags, bool checkChangeTime) {
    UniqueFd fd(
        ::openat(folder, temp.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | flags));
    if (!fd.Valid())
        return errno == ENOENT || errno == ELOOP ? ReplacedFault : SystemFault(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 ||
        !(checkChangeTime ? temp.SameFileUnchanged(st) : temp.SameFile(st)))
        return ReplacedFault;
    temp.fd = std::move(fd);
    return {};
}

WriteFault TemporaryStillThere(int folder, const TemporaryFile& temp) {
    struct stat st {};
    if (::fstatat(folder, temp.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? ReplacedFault : SystemFault(errno);
    return temp.SameFileUnchanged(st) ? WriteFault{} : ReplacedFault;
}

void RemoveIfSameFile(int folder, const std::string& name, dev_t device, ino_t inode) noexcept {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == device &&
        st.st_ino == inode)
        ::unlinkat(folder, name.c_str(), 0);
}
