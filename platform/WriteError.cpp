#include "platform/WriteError.h"

#include "platform/SystemError.h"

#include <utility>

WriteError::WriteError(std::string path, int errnum, WriteFailure kind, std::size_t index)
    : std::runtime_error(WriteErrorMessage(path, errnum, kind)), path_(std::move(path)),
      errnum_(errnum), kind_(kind), index_(index) {}

std::string WriteErrorMessage(const std::string& path, int errnum, WriteFailure kind) {
    std::string why;
    switch (kind) {
    case WriteFailure::ChangedSinceRead:
        why = "The file was changed by another program since it was read";
        break;
    case WriteFailure::TemporaryReplaced:
        why = "Its temporary file was replaced by another program";
        break;
    case WriteFailure::LosesSetUserId:
        why = "It would lose its set-user-ID bit";
        break;
    case WriteFailure::LosesSetGroupId:
        why = "It would lose its set-group-ID bit";
        break;
    case WriteFailure::LosesCapabilities:
        why = "It would lose its capabilities";
        break;
    case WriteFailure::LinksOnOverlay:
        why = "It has several names on an overlay file system, and writing it would make "
              "them separate files";
        break;
    case WriteFailure::TooLargeInMemory:
        why = "Its folder takes no temporary file, and it is larger than the " +
              std::to_string(InPlaceMemoryBytes >> 20) + " MB that can be written in place there";
        break;
    case WriteFailure::System:
        why = SystemErrorText(errnum);
        break;
    }
    return "Cannot create file \"" + path + "\". " + why;
}

std::string CreateErrorMessage(const std::string& path, int errnum) {
    return WriteErrorMessage(path, errnum);
}
