#include "cli/Report.h"

#include "cli/FileList.h"
#include "cli/Pipeline.h"

#include "cli/QuotedNames.h"

#include <QByteArray>

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace {

constexpr const char* Program = "velocitrix-cli";

// True when the bytes are UTF-8 throughout.
bool IsUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8Length(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// ", \"NAMEBytes\": \"BASE64\"": the exact bytes of a name that is not UTF-8,
// whose JSON string shows U+FFFD in their place.
std::string BytesField(const char* name, const std::string& bytes) {
    if (IsUtf8(bytes))
        return {};
    const QByteArray base64 =
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    return std::string(", \"") + name + "Bytes\": \"" + base64.toStdString() + "\"";
}

std::string Signed(std::int64_t v) {
    return std::to_string(v);
}

// "; gzip 400 -> 380 bytes, 20 saved"
std::string GzipPart(std::uint64_t before, std::uint64_t after) {
    return "; gzip " + std::to_string(before) + " -> " + std::to_string(after) + " bytes, " +
           Signed(static_cast<std::int64_t>(before) - static_cast<std::int64_t>(after)) + " saved";
}

} // namespace

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = Utf8Length(bytes, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(bytes, i, n);
            i += n;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

Reporter::Reporter(bool json, bool optimize, bool dryRun, std::FILE* out, std::FILE* err)
    : json_(json), optimize_(optimize), dryRun_(dryRun), out_(out), err_(err) {}

void Reporter::Error(const std::string& text) {
    std::fflush(out_);
    CheckOutput();
    std::fprintf(err_, "%s: %s\n", Program, PrintableText(text).c_str());
    std::fflush(err_);
}

void Reporter::CheckOutput() {
    if (outputFailed_ || !std::ferror(out_))
        return;
    const int err = errno;
    outputFailed_ = true;
    std::fprintf(err_, "%s: cannot write the report to standard output: %s\n", Program,
                 std::strerror(err != 0 ? err : EIO));
    std::fflush(err_);
}

void Reporter::Warning(const std::string& text) {
    warnings_.push_back(text);
    Error("warning: " + text);
}

void Reporter::File(const ListEntry& entry, const FileOutcome& o) {
    ++totals_.files;
    if (o.failed) {
        ++totals_.failed;
        Error(QuoteNameIn(QuoteNameIn(ErrorBoxText(o.error), entry.path), o.backupPath));
    } else {
        totals_.before += o.before;
        totals_.after += o.after;
        totals_.changed += o.changed ? 1 : 0;
        totals_.pre += o.hasPre ? 1 : 0;
        if (o.hasPre)
            Error("warning: <pre> tags have been detected in " + QuotedName(entry.path) +
                  ": the Velocitrix Website Optimizer could damage text within the <pre></pre> "
                  "tags");
        totals_.gzipBefore += o.gzipBefore;
        totals_.gzipAfter += o.gzipAfter;
        if (!json_ && o.changed) {
            if (diff_) {
                std::fwrite(o.diff.data(), 1, o.diff.size(), out_);
            } else if (check_) {
                std::fprintf(out_, "would change: %s\n", QuotedName(entry.path).c_str());
            } else {
                std::fprintf(
                    out_, "%s: %zu -> %zu bytes, %s saved%s\n", QuotedName(entry.path).c_str(),
                    o.before, o.after,
                    Signed(static_cast<std::int64_t>(o.before) - static_cast<std::int64_t>(o.after))
                        .c_str(),
                    compressed_ ? GzipPart(o.gzipBefore, o.gzipAfter).c_str() : "");
            }
            CheckOutput();
        }
    }
    if (!json_)
        return;
    std::string& j = filesJson_;
    j += filesJson_.empty() ? "\n    {" : ",\n    {";
    j += "\"path\": " + JsonString(entry.path) + BytesField("path", entry.path);
    j += ", \"ok\": ";
    j += o.failed ? "false" : "true";
    if (o.failed) {
        j += ", \"error\": " + JsonString(ErrorBoxText(o.error));
    } else {
        j += ", \"changed\": ";
        j += o.changed ? "true" : "false";
        j += ", \"written\": ";
        j += o.written ? "true" : "false";
        j += ", \"sizeOnDisk\": " + std::to_string(o.sizeOnDisk);
        j += ", \"before\": " + std::to_string(o.before);
        j += ", \"after\": " + std::to_string(o.after);
        j += ", \"saved\": " +
             Signed(static_cast<std::int64_t>(o.before) - static_cast<std::int64_t>(o.after));
        if (optimize_) {
            j += ", \"pre\": ";
            j += o.hasPre ? "true" : "false";
            j += ", \"empty\": ";
            j += o.empty ? "true" : "false";
        }
        if (compressed_)
            j += ", \"gzipBefore\": " + std::to_string(o.gzipBefore) +
                 ", \"gzipAfter\": " + std::to_string(o.gzipAfter);
        if (!o.backupPath.empty())
            j += ", \"backup\": " + JsonString(o.backupPath) + BytesField("backup", o.backupPath);
    }
    j += "}";
}

void Reporter::Finish(int exitStatus) {
    const RunTotals& t = totals_;
    if (!json_) {
        if (!check_ && !diff_)
            std::fprintf(out_,
                         "Total: %zu files, %zu changed, %zu failed; %" PRIu64 " -> %" PRIu64
                         " bytes, %s saved%s%s\n",
                         t.files, t.changed, t.failed, t.before, t.after, Signed(t.Saved()).c_str(),
                         compressed_ ? GzipPart(t.gzipBefore, t.gzipAfter).c_str() : "",
                         dryRun_ ? " (dry run: nothing written)" : "");
        std::fflush(out_);
        CheckOutput();
        return;
    }
    std::string doc = "{\n  \"command\": ";
    doc += optimize_ ? "\"optimize\"" : "\"replace\"";
    doc += ",\n  \"dryRun\": ";
    doc += dryRun_ ? "true" : "false";
    if (check_)
        doc += ",\n  \"check\": true";
    doc += ",\n  \"files\": [" + filesJson_ + (filesJson_.empty() ? "]" : "\n  ]");
    doc += ",\n  \"total\": {\"files\": " + std::to_string(t.files) +
           ", \"changed\": " + std::to_string(t.changed) +
           ", \"failed\": " + std::to_string(t.failed) + ", \"pre\": " + std::to_string(t.pre) +
           ", \"before\": " + std::to_string(t.before) + ", \"after\": " + std::to_string(t.after) +
           ", \"saved\": " + Signed(t.Saved());
    if (compressed_)
        doc += ", \"gzipBefore\": " + std::to_string(t.gzipBefore) +
               ", \"gzipAfter\": " + std::to_string(t.gzipAfter);
    doc += "}";
    doc += ",\n  \"warnings\": [";
    for (std::size_t i = 0; i < warnings_.size(); ++i)
        doc += (i ? ", " : "") + JsonString(warnings_[i]);
    doc += "],\n  \"exitStatus\": " + std::to_string(exitStatus) + "\n}\n";
    std::fwrite(doc.data(), 1, doc.size(), out_);
    std::fflush(out_);
    CheckOutput();
}
