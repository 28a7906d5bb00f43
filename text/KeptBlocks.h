#pragma once
// Finding the stretches the optimizer keeps as they are, in a text that may
// arrive a piece at a time.
//
// Blocks: the elements whose content a browser shows as written (pre, textarea,
// script, style, xmp, listing, plaintext). A block starts with "<" and one of
// those names in any letter case, followed by white space (space, tab, CR, LF,
// form feed), "/" or ">" ("<prefix>" is no start tag). It ends with the ">" of the
// first "</" + the same name, in any case, followed by optional white space and
// ">" ("</pre x>" does not end it); a start tag of another name inside it counts
// for nothing. A block whose end tag never comes lasts to the end of the text.
// The finder calls the byte after the name the block's first byte: "<" and the
// name are ordinary text either way, so that a tag cut between two pieces needs
// nothing held back.
//
// Preformatted elements: any other element whose style attribute, or a rule of
// the page's CSS (PreformattedRules.h), sets white-space to keep its text. Its
// content, from after its start tag's ">" to the ">" of its end tag, is kept;
// start and end tags of its own name inside it nest. The rules are those of the
// <style> blocks and linked sheets met so far: a rule that comes after an element
// does not reach back to it. An element that has no content (br, img, input, ...)
// keeps nothing.
//
// Attribute values: inside a start tag (from "<" and a letter to its ">"), a
// quoted value is kept from its opening to its closing quote, as a browser takes
// it byte for byte. A server script's section in a tag or a value ("<?" to "?>",
// "<%" to "%>") is no HTML: it is never kept and nothing in it ends the tag or
// the value. A value kept or not gives the same bytes when it holds no run of
// blanks and no line break, so only those are kept.
//
// The text may hold any line breaks: the values and rules looked at are taken
// with every break made CR LF, so that a text gives the same stretches whatever
// its breaks.

#include "text/BreakUnifier.h"
#include "text/PreformattedRules.h"

#include <cstddef>
#include <string>
#include <string_view>

class BlockFinder {
public:
    // linked: the sheets the page links (nullptr: none read).
    explicit BlockFinder(LinkedStyleSheets* linked = nullptr) : linked_(linked), css_(rules_) {}
    BlockFinder(const BlockFinder&) = delete;
    BlockFinder& operator=(const BlockFinder&) = delete;

    bool Inside() const { return region_ != Region::None; }

    // Outside a kept stretch: the position in text of the first byte of the next
    // one, or text.size() when none starts in it. The stretch is entered there.
    std::size_t FindStart(std::string_view text);
    // Inside a kept stretch: the position just after its last byte (it is left
    // there), or text.size() when it goes on.
    std::size_t FindEnd(std::string_view text);

private:
    enum class Region : unsigned char { None, Block, Element, Value };
    enum class Where : unsigned char {
        Text,          // between tags
        Lt,            // after a "<" between tags
        Name,          // a start tag's name
        BeforeAttr,    // in a start tag, before an attribute's name
        AttrName,      // an attribute's name
        AfterAttrName, // after it, before "=" or the next one
        BeforeValue,   // after "="
        Unquoted,      // an unquoted value
        Value,         // a quoted value, not kept (yet)
        TagLt,         // a "<" in a tag, which may open a server script's section
        ValueLt,       // the same in a quoted value
        Server,        // a server script's section
        ServerEnd,     // its "?" or "%" that may close it
    };

    std::size_t Start(std::string_view text);
    std::size_t End(std::string_view text);
    std::size_t BlockEnd(std::string_view text);
    std::size_t ElementEnd(std::string_view text);
    std::size_t ValueEnd(std::string_view text);
    bool StartsBlock();
    bool StepBlockEnd(char c);
    bool StepElementEnd(char c);
    // The start tag's ">": true when its element's content is kept.
    bool TagEnds();
    bool NothingToLookAt() const;
    void StartValue();
    // before: the byte before bytes in the text ('\0': none).
    void Capture(std::string_view bytes, char before);

    LinkedStyleSheets* linked_;
    PreformattedRules rules_;
    CssScanner css_;
    BreakUnifier cssBreaks_; // a <style> block's breaks made CR LF
    std::string cssText_;
    std::string captured_; // a captured value's bytes with their breaks made CR LF
    char before_ = '\0';   // the byte before the next text looked at

    Region region_ = Region::None;
    Where where_ = Where::Text;
    Where back_ = Where::Text; // where a server script's section returns to
    char serverClose_ = '\0';  // "?" or "%"
    char quote_ = '\0';        // the quote of the value under way

    // A name in lower case, held to its first N bytes.
    template <std::size_t N> struct ShortName {
        char bytes[N];
        std::size_t size = 0;
        void Clear() { size = 0; }
        void Append(std::string_view more) {
            const std::size_t take = more.size() < N - size ? more.size() : N - size;
            for (std::size_t k = 0; k < take; ++k) {
                const char c = more[k];
                bytes[size + k] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
            }
            size += take;
        }
        std::string_view View() const { return {bytes, size}; }
    };
    // Longer names are cut: a cut name matches more. An attribute's name is held
    // to one byte past the longest wanted one ("class", "style"), so that a
    // longer name is none of them.
    static constexpr std::size_t MaxName = 64;
    static constexpr std::size_t MaxAttr = 6;

    ShortName<MaxName> name_;        // the start tag's name
    ShortName<MaxAttr> attr_;        // the attribute's name
    std::string* capture_ = nullptr; // where the value's bytes go, when wanted
    std::string classes_, id_, style_, rel_, href_;
    bool cut_ = false;     // a class, id or style was too long to hold
    bool linkCut_ = false; // so was a rel or href

    // A block: its name's index, and how much of its end tag has come: -1
    // nothing, 0 "<", 1 "</", then 1 + the name's bytes; past the name, white
    // space until ">".
    int block_ = -1;
    int endMatched_ = -1;
    bool styleTag_ = false; // a <style> block's start tag is still under way
    // A preformatted element: its name, how deep its own name nests, and how much
    // of a tag of that name has come (-1 nothing, 0 "<", then 1 + the name's
    // bytes), and whether it is an end tag.
    std::string element_;
    std::size_t depth_ = 0;
    int elementMatched_ = -1;
    bool elementEnd_ = false;
};
