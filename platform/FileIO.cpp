#include "platform/FileIO.h"

#include "platform/DescriptorIO.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"
#include "platform/WriteTarget.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t HugeBufferThreshold = std::size_t{4} << 20;

[[noreturn]] void FailOpen(const std::string& path, int errnum) {
    throw std::runtime_error(OpenErrorMessage(path, errnum));
}

// What to report for something that exists but is not a regular file.
int NotRegularFileError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

} // namespace

std::string OpenErrorMessage(const std::string& path, int errnum) {
    return "Cannot open file \"" + path + "\". " + SystemErrorText(errnum);
}

void ReserveBuffer(std::string& s, std::size_t n) {
    if (s.capacity() >= n)
        return;
    s.reserve(n);
    if (n < HugeBufferThreshold)
        return;
    // Advise the whole pages inside the new allocation; the kernel backs the
    // 2 MiB-aligned stretches of it with huge pages when they are first touched.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(s.data());
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + s.capacity()) / page * page;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

std::string ReadWholeFile(const std::string& path) {
    std::string out;
    ReadWholeFile(path, out);
    return out;
}

InputFile::InputFile(const std::string& path, const std::string& beneath) : path_(path) {
    // The original platform opened files for reading while denying others the right
    // to write; POSIX has no mandatory share modes, so others may write meanwhile.
    struct stat st {};
    if (!beneath.empty()) {
        // Opened and looked at through its descriptor, as a write finds it.
        if (const int err = OpenToRead(path, beneath, fd_, &target_, &st, &flags_))
            FailOpen(path, err);
        found_ = true;
    } else {
        // Look before opening: opening a device can have effects of its own, and a
        // FIFO would block an ordinary open until a writer comes.
        if (::stat(path.c_str(), &st) != 0)
            FailOpen(path, errno);
        if (!S_ISREG(st.st_mode))
            FailOpen(path, NotRegularFileError(st.st_mode));
        fd_.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!fd_.Valid())
            FailOpen(path, errno);
    }
    if (!found_) {
        // The name may have been replaced between the look and the open.
        if (::fstat(fd_.Get(), &st) != 0)
            FailOpen(path, errno);
        if (!S_ISREG(st.st_mode))
            FailOpen(path, NotRegularFileError(st.st_mode));
    }
    status_ = st;
    size_ = static_cast<std::size_t>(st.st_size);
    stamp_ = FileStamp::Of(st);
    mode_ = st.st_mode;
}

InputFile::~InputFile() = default;

std::size_t InputFile::Read(char* into, std::size_t room) {
    // The whole file as opened is read: its end, with no call to say so.
    if (delivered_ == size_ && size_ != 0 && room != 0)
        return 0;
    std::size_t got = 0;
    if (const int err = ReadSome(fd_.Get(), into, room, got))
        FailOpen(path_, err);
    delivered_ += got;
    return got;
}

std::size_t InputFile::ReadFull(char* into, std::size_t room) {
    std::size_t got = 0;
    if (const int err = TransferBytes(fd_.Get(), Transfer::Read, into, room, -1, true, got))
        FailOpen(path_, err);
    delivered_ += got;
    return got;
}

std::size_t InputFile::ReadAt(char* into, std::size_t room, std::uint64_t at) {
    std::size_t got = 0;
    if (const int err = ReadSomeAt(fd_.Get(), into, room, static_cast<std::int64_t>(at), got))
        FailOpen(path_, err);
    return got;
}

void ReadWholeFile(const std::string& path, std::string& out, FileStamp* stamp,
                   const std::string& beneath) {
    InputFile file(path, beneath);
    // The size is a hint: the file may grow or shrink while it is read, so read
    // until the end of file.
    std::string buffer;
    buffer.swap(out); // reuse the caller's capacity; given back on failure
    buffer.clear();
    const std::size_t expected = file.SizeWhenOpened();
    ReserveBuffer(buffer, expected + 1);
    buffer.resize(expected);
    std::size_t used = 0;
    try {
        used = file.ReadFull(buffer.data(), expected);
        if (used == expected) {
            // Whatever was added after the size was taken.
            char more[65536];
            while (const std::size_t n = file.Read(more, sizeof more)) {
                buffer.append(more, n);
                used += n;
            }
        }
    } catch (...) {
        buffer.swap(out);
        throw;
    }
    buffer.resize(used);
    out.swap(buffer);
    if (stamp != nullptr)
        *stamp = file.Stamp();
}
