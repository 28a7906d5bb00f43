#pragma once
// Reading and writing through a file descriptor. One loop does every transfer:
// it repeats a call a signal interrupted (EINTR) and, where the whole count is
// wanted, a call that moved fewer bytes; a write that stores nothing means a
// full disk (ENOSPC). Each function returns 0 or the error number.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class Transfer { Read, Write };

// Moves up to count bytes between buffer and fd: at the offset at (pread,
// pwrite), or at the file's position where at is negative (read, write).
// whole: until count bytes moved or the file ends (a read); otherwise one call
// that moved something, or nothing at the end of the file. done: the bytes moved,
// also when it fails. Writing only reads buffer.
int TransferBytes(int fd, Transfer way, char* buffer, std::size_t count, std::int64_t at,
                  bool whole, std::size_t& done);

// All of data, at the file's position.
int WriteAll(int fd, std::string_view data);
// All of data, at offset at.
int WriteAllAt(int fd, std::string_view data, std::int64_t at);

// One read of up to room bytes at the file's position: got is 0 at the end.
int ReadSome(int fd, char* into, std::size_t room, std::size_t& got);
// The same at offset at, leaving the file's position as it is.
int ReadSomeAt(int fd, char* into, std::size_t room, std::int64_t at, std::size_t& got);

// The file's first size bytes into out (fewer where it ends before).
int ReadStart(int fd, std::string& out, std::size_t size);

// Copies count bytes of from, starting at fromAt, to to at toAt, a piece at a
// time; copied, when given, says how many there were (fewer where from ends early).
int CopyBytes(int from, std::int64_t fromAt, int to, std::int64_t toAt, std::size_t count,
              std::size_t* copied = nullptr);
