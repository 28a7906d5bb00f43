#include "platform/DescriptorIO.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The most one call is asked to move (the system moves at most about 2 GiB).
constexpr std::size_t MaxStep = std::size_t{1} << 30;

} // namespace

int TransferBytes(int fd, Transfer way, char* buffer, std::size_t count, std::int64_t at,
                  bool whole, std::size_t& done) {
    done = 0;
    while (done < count) {
        const std::size_t step = std::min(count - done, MaxStep);
        char* p = buffer + done;
        const auto offset = static_cast<off_t>(at + static_cast<std::int64_t>(done));
        ssize_t n = 0;
        if (way == Transfer::Read)
            n = at < 0 ? ::read(fd, p, step) : ::pread(fd, p, step, offset);
        else
            n = at < 0 ? ::write(fd, p, step) : ::pwrite(fd, p, step, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0) {
            if (way == Transfer::Write)
                return ENOSPC;
            break; // the end of the file
        }
        done += static_cast<std::size_t>(n);
        if (!whole)
            break;
    }
    return 0;
}

int WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    return TransferBytes(fd, Transfer::Write, const_cast<char*>(data.data()), data.size(), -1, true,
                         done);
}

int WriteAllAt(int fd, std::string_view data, std::int64_t at) {
    std::size_t done = 0;
    return TransferBytes(fd, Transfer::Write, const_cast<char*>(data.data()), data.size(), at, true,
                         done);
}

int ReadSome(int fd, char* into, std::size_t room, std::size_t& got) {
    return TransferBytes(fd, Transfer::Read, into, room, -1, false, got);
}

int ReadSomeAt(int fd, char* into, std::size_t room, std::int64_t at, std::size_t& got) {
    return TransferBytes(fd, Transfer::Read, into, room, at, false, got);
}

int ReadStart(int fd, std::string& out, std::size_t size) {
    out.assign(size, '\0');
    std::size_t got = 0;
    const int err = TransferBytes(fd, Transfer::Read, out.data(), size, 0, true, got);
    if (err != 0)
        return err;
    out.resize(got);
    return 0;
}

int CopyBytes(int from, std::int64_t fromAt, int to, std::int64_t toAt, std::size_t count,
              std::size_t* copied) {
    constexpr std::size_t Piece = std::size_t{1} << 20;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[std::min(count, Piece) + 1]);
    if (!buffer)
        return ENOMEM;
    std::size_t done = 0;
    while (done < count) {
        const auto offset = static_cast<std::int64_t>(done);
        std::size_t n = 0;
        if (const int err =
                ReadSomeAt(from, buffer.get(), std::min(count - done, Piece), fromAt + offset, n))
            return err;
        if (n == 0)
            break;
        if (const int err = WriteAllAt(to, std::string_view(buffer.get(), n), toAt + offset))
            return err;
        done += n;
    }
    if (copied != nullptr)
        *copied = done;
    return 0;
}
