#include "text/TextDocument.h"

#include "platform/FileIO.h"
#include "platform/SafeWrite.h"
#include "text/LineBreaks.h"

#include <algorithm>
#include <stdexcept>

namespace {

bool HasLineBreak(std::string_view s) {
    return FindLineBreak(s.data(), s.data() + s.size()) != s.data() + s.size();
}

bool EndsWithBreak(const std::string& s) {
    return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

} // namespace

void TextDocument::SetCharLimit(std::size_t n) {
    charLimit_ = n;
}

void TextDocument::Changed() {
    ++revision_;
    indexed_ = false;
    lineStarts_.clear();
    measured_ = false;
}

void TextDocument::KeepForRollback(bool replacesWhole) {
    if (!KeepsNextChange())
        return;
    if (replacesWhole)
        kept_.swap(text_); // text_ is about to be replaced: its buffer's content is moot
    else
        kept_ = text_;
    keptOwnBreaks_ = ownBreaks_;
    keptValid_ = true;
}

bool TextDocument::Checkpoint() {
    if (checkpoint_)
        return false;
    checkpoint_ = true;
    keptValid_ = false;
    return true;
}

void TextDocument::Rollback() {
    if (keptValid_) {
        text_.swap(kept_);
        ownBreaks_ = keptOwnBreaks_;
        Changed();
    }
    Release();
}

void TextDocument::Release() {
    checkpoint_ = false;
    keptValid_ = false;
    // Keep one spare buffer, not two.
    if (kept_.capacity() > spare_.capacity())
        spare_.swap(kept_);
    std::string().swap(kept_);
}

void TextDocument::FailInsertion() {
    throw std::runtime_error("RichEdit line insertion error");
}

bool TextDocument::Fits(std::size_t more) const {
    return more <= charLimit_ && text_.size() <= charLimit_ - more;
}

void TextDocument::Measure() const {
    if (measured_)
        return;
    const LineFigures f = MeasureLines(text_);
    joinedLength_ = f.joinedLength;
    loneBreaks_ = f.loneBreaks;
    measured_ = true;
}

void TextDocument::ReadFromFile(const std::string& path, FileStamp* stamp,
                                const std::string& beneath) {
    ReadWholeFile(path, spare_, stamp, beneath); // throws before anything here changes
    KeepForRollback(true);
    ownBreaks_ = FirstBreakStyle(spare_);
    const std::size_t lone = FirstLoneBreak(spare_);
    if (lone == std::string::npos) {
        text_.swap(spare_);
    } else {
        text_.clear();
        AppendUnifiedBreaks(spare_, lone, text_);
    }
    charLimit_ = ReadCharLimit;
    Changed();
    joinedLength_ = text_.size() + (text_.empty() || EndsWithBreak(text_) ? 0 : 2);
    loneBreaks_ = 0;
    measured_ = true;
}

void TextDocument::WriteToFile(const std::string& path) const {
    WriteWholeFile(path, text_);
}

void TextDocument::ClearDocument() {
    if (text_.empty())
        return;
    KeepForRollback(true);
    text_.clear();
    Changed();
    joinedLength_ = 0;
    loneBreaks_ = 0;
    measured_ = true;
}

void TextDocument::IndexLines() const {
    if (indexed_)
        return;
    lineStarts_.clear();
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    for (const char* p = begin; p != end;) {
        lineStarts_.push_back(static_cast<std::size_t>(p - begin));
        const char* brk = FindLineBreak(p, end);
        if (brk == end)
            break;
        p = SkipLineBreak(brk, end);
    }
    indexed_ = true;
}

std::size_t TextDocument::LineCount() const {
    IndexLines();
    return lineStarts_.size();
}

std::string_view TextDocument::LineAt(std::size_t i) const {
    IndexLines();
    if (i >= lineStarts_.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    const std::size_t start = lineStarts_[i];
    std::size_t end = i + 1 < lineStarts_.size() ? lineStarts_[i + 1] : text_.size();
    // Strip the break: CR LF, or a lone LF or CR.
    if (end > start && text_[end - 1] == '\n') {
        --end;
        if (end > start && text_[end - 1] == '\r')
            --end;
    } else if (end > start && text_[end - 1] == '\r') {
        --end;
    }
    return std::string_view(text_).substr(start, end - start);
}

void TextDocument::AppendLine(std::string_view s) {
    if (!Fits(s.size() + 2))
        FailInsertion();
    KeepForRollback(false);
    const std::size_t old = text_.size();
    // A plain line after a break is added to the index and figures as they stand.
    const bool simple = (old == 0 || EndsWithBreak(text_)) && !HasLineBreak(s);
    const bool wasIndexed = indexed_ && simple;
    const bool wasMeasured = measured_ && simple;
    text_.append(s);
    text_.append("\r\n", 2);
    ++revision_;
    if (wasIndexed)
        lineStarts_.push_back(old);
    else {
        indexed_ = false;
        lineStarts_.clear();
    }
    if (wasMeasured)
        joinedLength_ += s.size() + 2;
    else
        measured_ = false;
}

void TextDocument::SetWholeText(std::string s) {
    if (s == text_)
        return;
    KeepForRollback(true);
    text_.swap(s);
    spare_.swap(s);
    Changed();
}

std::string_view TextDocument::BytesIn(LineBreakStyle style) {
    style = ResolvedBreaks(style, ownBreaks_);
    if (style == LineBreakStyle::CrLf)
        return text_;
    // The spare buffer holds nothing between changes; the next fill reuses it.
    spare_.clear();
    AppendInStyle(text_, style, spare_);
    return spare_;
}

std::string TextDocument::JoinedText() const {
    Measure();
    if (loneBreaks_ == 0) {
        std::string joined;
        joined.reserve(joinedLength_);
        joined = text_;
        if (joined.size() != joinedLength_)
            joined.append("\r\n", 2);
        return joined;
    }
    std::string joined;
    AppendUnifiedBreaks(text_, 0, joined, true);
    return joined;
}

std::size_t TextDocument::JoinedLength() const {
    Measure();
    return joinedLength_;
}

// Both fills below build the new content in the spare buffer, so that their input
// may be a view of the document's own text.
void TextDocument::AssignLines(std::string_view s) {
    // Pieces end at CR, LF or the end; after a piece one CR, then one LF, is skipped.
    const char* p = s.data();
    const char* const end = p + s.size();
    std::string& out = spare_;
    out.clear();
    ReserveBuffer(out, s.size() + 2);
    bool failed = false;
    while (p != end) {
        const char* brk = FindLineBreak(p, end);
        const auto len = static_cast<std::size_t>(brk - p);
        if (len + 2 > charLimit_ || out.size() > charLimit_ - len - 2) {
            failed = true;
            break;
        }
        out.append(p, len);
        out.append("\r\n", 2);
        if (brk == end)
            break;
        p = brk;
        if (p != end && *p == '\r')
            ++p;
        if (p != end && *p == '\n')
            ++p;
    }
    const bool change = !(text_.empty() && out.empty());
    if (change)
        KeepForRollback(true);
    text_.swap(out);
    if (change)
        Changed();
    joinedLength_ = text_.size();
    loneBreaks_ = 0;
    measured_ = true;
    if (failed)
        FailInsertion();
}

void TextDocument::ReplaceWithLines(const std::vector<std::string_view>& lines) {
    std::size_t total = 0;
    for (std::string_view line : lines)
        total += line.size() + 2;
    std::string& out = spare_;
    out.clear();
    ReserveBuffer(out, std::min(total, charLimit_));
    bool failed = false;
    bool plain = true;
    for (std::string_view line : lines) {
        if (line.size() + 2 > charLimit_ || out.size() > charLimit_ - line.size() - 2) {
            failed = true;
            break;
        }
        plain = plain && !HasLineBreak(line);
        out.append(line);
        out.append("\r\n", 2);
    }
    const bool change = !(text_.empty() && out.empty());
    if (change)
        KeepForRollback(true);
    text_.swap(out);
    if (change)
        Changed();
    if (plain) {
        joinedLength_ = text_.size();
        loneBreaks_ = 0;
        measured_ = true;
    }
    if (failed)
        FailInsertion();
}
