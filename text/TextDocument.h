#pragma once
// The one text the main window's view holds: a byte string whose line breaks are
// always CR LF, seen as a whole and as a list of lines.

#include "platform/FileStamp.h"
#include "text/LineBreaks.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct OptimizeRun;
struct OptimizeOptions;

// Lines are the text's own lines, split at line breaks, of any length. A line break
// is CR LF; a content given by SetWholeText may also hold lone CRs and LFs, which
// end lines as they do in a file. NUL bytes are ordinary characters everywhere.
class TextDocument {
public:
    // The capacity the commands set before each fill (hexadecimal FFFFF).
    static constexpr std::size_t FileCharLimit = 0xFFFFF;
    // The capacity a completed ReadFromFile raises the limit to.
    static constexpr std::size_t ReadCharLimit = 0x7FFFFFF0;

    void SetCharLimit(std::size_t n);
    std::size_t CharLimit() const { return charLimit_; }

    // The view is always plain text; the flag records that a command asked for it.
    void SetPlainText(bool on) { plainText_ = on; }
    bool PlainText() const { return plainText_; }

    // Replaces the content by the file's bytes, every CR LF, lone CR and lone LF
    // becoming CR LF. Throws std::runtime_error "Cannot open file "%s". %s";
    // the content is unchanged then. Fills are never truncated. With stamp, the
    // file as it was read (to tell later whether another program changed it).
    // The file's own line break style is kept (OwnBreaks).
    // beneath: the folder whose walk found the file, which it is read inside by
    // the rules a write there follows (InputFile of platform/FileIO.h).
    void ReadFromFile(const std::string& path, FileStamp* stamp = nullptr,
                      const std::string& beneath = {});

    // The style of the first line break of the file the text came from
    // (FirstBreakStyle of its bytes as read): what LineBreakStyle::Keep writes.
    // Set by ReadFromFile, or by whoever fills the text from a file's kept text;
    // Lf before any file was read.
    LineBreakStyle OwnBreaks() const { return ownBreaks_; }
    void SetOwnBreaks(LineBreakStyle style) { ownBreaks_ = style; }
    // Writes WholeText() to the file, safely (old or new, never half).
    // Throws std::runtime_error "Cannot create file "%s". %s"; the file is untouched then.
    void WriteToFile(const std::string& path) const;

    void ClearDocument();
    std::size_t LineCount() const;
    // Line i (from 0) without its line break.
    std::string_view LineAt(std::size_t i) const;
    // Adds s + CR LF at the end. Throws std::runtime_error "RichEdit line insertion
    // error" when the content would exceed the character limit.
    void AppendLine(std::string_view s);

    const std::string& WholeText() const { return text_; }
    // WholeText with its line breaks written in style (Keep: OwnBreaks()): the
    // bytes a file gets. For Lf they are made in a buffer of the document, valid
    // until its next change.
    std::string_view BytesIn(LineBreakStyle style);
    // Makes s the content; nothing happens when s equals the current content.
    void SetWholeText(std::string s);
    // Every line followed by CR LF, the last included; empty without lines.
    std::string JoinedText() const;
    std::size_t JoinedLength() const;
    // ClearDocument, then every piece of s up to CR, LF or the end appended as a line.
    void AssignLines(std::string_view s);

    // Bumped by every change of the content, so the view refreshes only when needed.
    std::uint64_t Revision() const { return revision_; }

    // Replaces the content by lines, each followed by CR LF, checking the limit
    // line by line as AppendLine does (the fast refill after optimizing).
    void ReplaceWithLines(const std::vector<std::string_view>& lines);

    // What a fill that would pass the character limit throws.
    [[noreturn]] static void FailInsertion();

    // A command that may fail part-way keeps the content it started from: the
    // first change after Checkpoint() keeps it aside (moved, not copied, where the
    // change replaces the content whole), Rollback() puts it back, Release()
    // forgets it. Checkpoint() returns false, and does nothing, while another
    // checkpoint is open.
    bool Checkpoint();
    void Rollback();
    void Release();

private:
    friend OptimizeRun OptimizeDocument(TextDocument& doc, const OptimizeOptions& options);

    void Changed();
    // Every change calls this before it touches the content: keeps the content
    // once per checkpoint, moved when the change replaces it whole, else copied.
    void KeepForRollback(bool replacesWhole);
    bool KeepsNextChange() const { return checkpoint_ && !keptValid_; }
    void IndexLines() const;
    void Measure() const;
    bool Fits(std::size_t more) const;

    std::string text_;
    std::size_t charLimit_ = ReadCharLimit;
    bool plainText_ = true;
    std::uint64_t revision_ = 0;
    mutable std::vector<std::size_t> lineStarts_; // built lazily
    mutable bool indexed_ = false;
    // JoinedLength and the lone breaks, valid while measured_ is set.
    mutable std::size_t joinedLength_ = 0;
    mutable std::size_t loneBreaks_ = 0;
    mutable bool measured_ = true;
    // A second whole-text buffer, kept so that fills reuse memory.
    std::string spare_;
    // The content a checkpoint keeps.
    std::string kept_;
    LineBreakStyle keptOwnBreaks_ = LineBreakStyle::Lf;
    LineBreakStyle ownBreaks_ = LineBreakStyle::Lf;
    bool checkpoint_ = false;
    bool keptValid_ = false;
};
