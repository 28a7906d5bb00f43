#pragma once
// ReplaceText over a text that arrives a piece at a time: the pieces given out,
// joined, are exactly ReplaceText over the pieces fed, joined, whatever the cuts.
// A match is decided byte by byte, and the upper case of a character by its own
// bytes (at most four), so only the pattern's length and a few bytes on either
// side are held back between pieces; what is given out is passed on in pieces of
// about FlushBytes, however long the replacement makes it.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class StreamingReplace {
public:
    using Sink = std::function<void(std::string_view)>;

    // flushBytes: about how much is given out at a time (at least one byte).
    StreamingReplace(std::string_view pattern, std::string_view replacement, bool caseSensitive,
                     Sink sink, std::size_t flushBytes = FlushBytes);

    void Feed(std::string_view bytes);
    // The end of the text: the rest is searched and given out.
    void Finish();
    // True when the text given out differs from the text fed.
    bool Changed() const { return changed_; }

    static constexpr std::size_t FlushBytes = std::size_t{256} << 10;

private:
    void Search(bool atEnd);
    void Fold(std::size_t end);
    void Emit(std::string_view bytes);
    void Flush();

    std::string pattern_; // upper-cased for a search that ignores case
    std::string replacement_;
    bool caseSensitive_;
    bool asciiPattern_;
    bool checkStart_; // the pattern starts with a UTF-8 continuation byte
    Sink sink_;
    std::size_t flushBytes_;
    bool changed_ = false;

    // The bytes not yet given out, after up to Context bytes that were: a match's
    // start and a character's case look that far back.
    std::string held_;
    std::string folded_; // held_ upper-cased, exact up to foldedTo_
    std::size_t foldedTo_ = 0;
    std::size_t emitted_ = 0; // held_[0, emitted_) has been given out
    std::size_t next_ = 0;    // where the next match may start
    std::string out_;
};
