#pragma once
// Which elements a page's CSS makes preformatted: the selectors of the rules that
// set white-space to pre, pre-wrap, pre-line or break-spaces (or
// white-space-collapse to one of the preserving values), found in a stylesheet's
// text, in <style> blocks or in the sheets a page links.
//
// Each selector is reduced to its last compound (in "div.a > span.b" the element
// matched is a span.b), and the compound to one test: its id, else its first
// class (with its type, when it names one), else its type. A compound with none of
// these ("*", "[lang]", ":is(...)") matches every element. The reduction only ever
// matches more elements than the selector, never fewer: what it keeps that a
// browser would not have kept is text left as it was. Names are compared in lower
// case for the same reason. What a page's scripts change at run time is not known.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

class PreformattedRules {
public:
    bool Empty() const { return !all_ && types_.empty() && classes_.empty() && ids_.empty(); }
    bool All() const { return all_; }
    // name: the element's name in lower case; classes: its class attribute as
    // written; id: its id attribute.
    bool Matches(std::string_view name, std::string_view classes, std::string_view id) const;
    // Whether the name alone matches: a tag without a class or id is kept by it.
    bool MatchesType(std::string_view name) const {
        return all_ || (!types_.empty() && types_.count(std::string(name)) != 0);
    }
    // Every selector of other is a selector of this too.
    void Add(const PreformattedRules& other);

    // The selectors of a rule's prelude (a selector list), as written.
    void AddSelectorList(std::string_view selectors);
    // The selectors of every rule in a whole stylesheet.
    void AddStyleSheet(std::string_view css);

private:
    void AddCompound(std::string_view compound);

    bool all_ = false;
    std::unordered_set<std::string> types_;
    std::unordered_set<std::string> classes_; // ".class" or "type.class"
    std::unordered_set<std::string> ids_;
};

// True when a declaration block (a rule's body or a style attribute) holds a
// declaration that makes its element's text preformatted.
bool SetsPreformatted(std::string_view declarations);

// A stylesheet's text read in pieces: the rules it adds go to rules as each
// ends. A statement longer than MaxStatement is cut; a rule whose selectors were
// cut matches every element.
class CssScanner {
public:
    explicit CssScanner(PreformattedRules& rules) : rules_(&rules) {}
    void Feed(std::string_view css);
    // The end of the sheet (of a <style> block): a rule still open counts.
    void End();

    static constexpr std::size_t MaxStatement = std::size_t{64} << 10;
    static constexpr int MaxDepth = 32;

private:
    void Open();
    void Close();
    void Statement();
    void Append(char c);

    PreformattedRules* rules_;
    std::string statement_; // since the last "{", "}" or ";"
    bool cut_ = false;
    char quote_ = '\0';
    bool escaped_ = false;
    bool slash_ = false;     // a "/" that may open a comment
    bool inComment_ = false; // inside /* */
    bool star_ = false;      // a "*" inside a comment that may close it
    int depth_ = 0;
    // For each open block: 0 a list of rules, 1 a rule's declarations, 2 skipped.
    unsigned char kinds_[MaxDepth] = {};
    std::string selectors_[MaxDepth]; // for each open rule, its selectors
};

// The sheets a page links, as its caller reads them (from the page's folder, and
// only where a directory command may read): the rules of the sheet at href, as
// written in the page, or nullptr when there is none to read. Each sheet is read
// once per run.
class LinkedStyleSheets {
public:
    virtual ~LinkedStyleSheets() = default;
    virtual const PreformattedRules* Sheet(std::string_view href) = 0;
};
