#pragma once
// Reading a whole file, and the whole-file buffers the text core works in.

#include "platform/FileStamp.h"
#include "platform/UniqueFd.h"
#include "platform/WriteTarget.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// The file's bytes, start to end. Only regular files are read: a directory, FIFO,
// socket or device fails at once (it is never opened for a blocking read).
// Throws std::runtime_error "Cannot open file "<path>". <system text>".
std::string ReadWholeFile(const std::string& path);

// The same into out, reusing its capacity; out is left as it was on failure. With
// stamp, the file's stamp as it was opened (before its first byte was read).
// beneath: see InputFile.
void ReadWholeFile(const std::string& path, std::string& out, FileStamp* stamp = nullptr,
                   const std::string& beneath = {});

// Makes room for n bytes in s, keeping its content. Buffers of whole files are
// large: they ask the kernel for transparent huge pages, since the first touch of
// fresh memory in 4 KiB pages costs far more than filling it.
void ReserveBuffer(std::string& s, std::size_t n);

// A regular file opened for reading a piece at a time, with ReadWholeFile's checks
// and messages: the constructor and Read throw std::runtime_error
// "Cannot open file "<path>". <system text>". A file found by a walk (beneath:
// the walked folder) is reached as a write to it would be (OpenToRead of
// platform/WriteTarget.h): what a write there refuses, reading refuses too.
class InputFile {
public:
    explicit InputFile(const std::string& path, const std::string& beneath = {});
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // The size when the file was opened; the file may grow or shrink meanwhile.
    std::size_t SizeWhenOpened() const { return size_; }
    // The file as it was opened.
    const FileStamp& Stamp() const { return stamp_; }
    // Its permission bits and type when it was opened.
    mode_t Mode() const { return mode_; }
    // Up to room bytes into into; 0 at the end of the file. The end is the size
    // the file had when opened, once exactly that much was read (the stamp, which
    // a write checks, holds that size); a file that grew meanwhile is read on to
    // its end.
    std::size_t Read(char* into, std::size_t room);
    // room bytes into into, fewer only where the file ends first.
    std::size_t ReadFull(char* into, std::size_t room);
    // Up to room bytes from offset at, leaving the reading position as it is; 0
    // past the end of the file.
    std::size_t ReadAt(char* into, std::size_t room, std::uint64_t at);

    // For a write that follows the reading (WriteOptions::source): the folder and
    // name a walk's file was found at (null for another file), its status and
    // flags as opened, and its descriptor.
    const WriteTarget* Target() const { return found_ ? &target_ : nullptr; }
    const struct stat& Status() const { return status_; }
    const FileFlags& Flags() const { return flags_; }
    int Descriptor() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    UniqueFd fd_;
    std::size_t size_ = 0;
    std::size_t delivered_ = 0; // bytes given by Read and ReadFull
    FileStamp stamp_;
    mode_t mode_ = 0;
    bool found_ = false;
    WriteTarget target_;
    struct stat status_ {};
    FileFlags flags_;
};

// "Cannot open file "<path>". <system text for errnum>"
std::string OpenErrorMessage(const std::string& path, int errnum);
