#include "CorpusGen.h"

#include <array>
#include <string_view>

namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }

private:
    std::uint64_t state_;
};

constexpr std::array<std::string_view, 24> Words{"site",
                                                 "page",
                                                 "optimizer",
                                                 "white",
                                                 "space",
                                                 "browser",
                                                 "caf\xc3\xa9",
                                                 "na\xc3\xafve",
                                                 "r\xc3\xa9sum\xc3\xa9",
                                                 "\xd0\xb6\xd1\x83\xd1\x80\xd0\xbd\xd0\xb0\xd0\xbb",
                                                 "\xe4\xb8\xad\xe6\x96\x87",
                                                 "Stra\xc3\x9f"
                                                 "e",
                                                 "menu",
                                                 "footer",
                                                 "header",
                                                 "content",
                                                 "news",
                                                 "contact",
                                                 "about",
                                                 "list",
                                                 "item",
                                                 "link",
                                                 "table",
                                                 "\xc3\x89t\xc3\xa9"};

void AddWords(Random& rng, std::string& out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += rng.Chance(8) ? "  " : " ";
        out += Words[rng.Below(Words.size())];
    }
}

void AddIndent(Random& rng, std::string& out, std::size_t depth) {
    for (std::size_t i = 0; i < depth; ++i) {
        switch (rng.Below(4)) {
        case 0:
            out += '\t';
            break;
        case 1:
            out += "  ";
            break;
        case 2:
            out += "    ";
            break;
        default:
            out += " \t";
            break;
        }
    }
}

} // namespace

std::string GenerateWebCorpus(std::size_t bytes, std::uint64_t seed) {
    Random rng(seed);
    std::string out;
    out.reserve(bytes + 4096);
    std::size_t sinceLink = 0;
    std::size_t sinceRare = 0;
    std::size_t depth = 1;
    bool inPre = false;
    while (out.size() < bytes) {
        const std::size_t lineStart = out.size();
        if (!inPre && rng.Chance(6)) {
            // blank line: empty or blanks only
            if (rng.Chance(50))
                AddIndent(rng, out, rng.Below(3));
        } else {
            AddIndent(rng, out, inPre ? 0 : depth);
            if (sinceRare > 20'000'000) {
                out += CorpusRareMarker;
                sinceRare = 0;
            } else if (sinceLink > 200 + rng.Below(100)) {
                out += "<a ";
                out += CorpusLinkPrefix;
                out += "section/" + std::to_string(rng.Below(1000)) + ".html\">";
                AddWords(rng, out, 1 + rng.Below(3));
                out += "</a>";
                sinceLink = 0;
            } else {
                switch (rng.Below(10)) {
                case 0:
                    out += "<div class=\"box\">";
                    depth = depth < 6 ? depth + 1 : depth;
                    break;
                case 1:
                    out += "</div>";
                    depth = depth > 1 ? depth - 1 : depth;
                    break;
                case 2:
                    out += "color: #333;\tmargin:  0 auto;";
                    break;
                case 3:
                    out += "<?php echo $title; ?>";
                    break;
                case 4:
                    if (!inPre && rng.Chance(5)) {
                        out += "<pre>";
                        inPre = true;
                    } else if (inPre) {
                        out += "</pre>";
                        inPre = false;
                    } else {
                        out += "<PRE>x</PRE>";
                    }
                    break;
                default:
                    out += "<p>";
                    AddWords(rng, out, 3 + rng.Below(8));
                    out += "</p>";
                    break;
                }
            }
            if (rng.Chance(15))
                out += rng.Chance(50) ? " " : " \t ";
        }
        const unsigned brk = static_cast<unsigned>(rng.Below(100));
        out += brk < 85 ? "\r\n" : brk < 95 ? "\n" : "\r";
        sinceLink += out.size() - lineStart;
        sinceRare += out.size() - lineStart;
    }
    return out;
}
