#include "cli/Filter.h"

#include "cli/Pipeline.h"
#include "commands/StreamedStep.h"
#include "platform/DescriptorIO.h"
#include "text/TextDocument.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr const char* InputName = "standard input";

} // namespace

FilterOutcome FilterStream(int inFd, std::FILE* out, const PipelineSettings& settings) {
    FilterOutcome result;
    bool writeFailed = false;
    StreamedStep edit(
        FileStepOf(settings),
        [&](std::string_view piece) {
            if (!writeFailed && std::fwrite(piece.data(), 1, piece.size(), out) != piece.size())
                writeFailed = true;
        },
        TextDocument::ReadCharLimit);
    constexpr std::size_t ReadBytes = PieceEditor::BlockBytes;
    const std::unique_ptr<char[]> buffer(new char[ReadBytes]);
    try {
        for (;;) {
            if (settings.stop.stop_requested()) {
                result.failed = result.stopped = true;
                return result;
            }
            std::size_t n = 0;
            if (const int err = ReadSome(inFd, buffer.get(), ReadBytes, n)) {
                result.failed = true;
                result.error = std::string("Cannot read ") + InputName + ". " + std::strerror(err);
                return result;
            }
            if (n == 0)
                break;
            edit.Feed(std::string_view(buffer.get(), n));
            if (writeFailed)
                break;
        }
        if (!writeFailed)
            result.hasPre = edit.Finish().hasPre && settings.step.optimize;
    } catch (const CharLimitError& e) {
        result.failed = true;
        result.error = std::string(InputName) + ": " + e.what();
        return result;
    }
    if (writeFailed || std::fflush(out) != 0 || std::ferror(out)) {
        result.failed = true;
        result.error = std::string("Cannot write standard output. ") + std::strerror(errno);
    }
    return result;
}
