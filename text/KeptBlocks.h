#pragma once
// Finding the blocks the optimizer keeps as they are: the elements whose content
// a browser shows as written (pre, textarea, script, style, xmp, listing,
// plaintext), in a text that may arrive a piece at a time.
//
// A block starts with "<" and one of those names in any letter case, followed by
// white space (space, tab, CR, LF, form feed), "/" or ">" ("<prefix>" is no
// start tag). It ends with the ">" of the first "</" + the same name, in any case,
// followed by optional white space and ">" ("</pre x>" does not end it); a start
// tag of another name inside it counts for nothing. A block whose end tag never
// comes lasts to the end of the text.
//
// The finder calls the byte after the name the block's first byte: "<" and the
// name are ordinary text either way, so that a tag cut between two pieces needs
// nothing held back.

#include <cstddef>
#include <string_view>

class BlockFinder {
public:
    bool Inside() const { return name_ >= 0; }

    // Outside a block: the position in text of the first byte of the next block,
    // or text.size() when none starts in it. The block is entered there.
    std::size_t FindStart(std::string_view text);
    // Inside a block: the position just after the ">" that ends it (the block is
    // left there), or text.size() when it goes on.
    std::size_t FindEnd(std::string_view text);

private:
    bool StepStart(char c);
    bool StepEnd(char c);

    int name_ = -1; // the block's name, while inside
    // Outside: the bytes of a possible start tag after its "<" (-1: no "<"), and
    // the names they still fit.
    int matched_ = -1;
    unsigned fits_ = 0;
    // Inside: how much of an end tag has come: -1 nothing, 0 "<", 1 "</", then 1 +
    // the name's bytes; past the name, white space until ">".
    int endMatched_ = -1;
};
