#include "TreeGen.h"

#include "settings/FileTypeLists.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

// DefaultTypeList is an inline variable: set before this, and without linking the store.
const char* const kDefaultTypes = DefaultTypeList.c_str();

namespace {

constexpr int kBranching = 7; // 7 + 49 + 343 + 2401 directories
constexpr int kLevels = 4;

const char* const kWords[] = {
    "the",      "site",    "page",  "product", "service",  "contact", "about",  "news",
    "company",  "welcome", "price", "order",   "shipping", "support", "team",   "quality",
    "lorem",    "ipsum",   "dolor", "sit",     "amet",     "update",  "latest", "offer",
    "customer", "account", "login", "search",  "gallery",  "review",  "today",  "free"};

// Weighted web types (matching) and other types (not matching any default mask).
const char* const kWebTypes[] = {".htm",   ".html",  ".html",  ".html", ".php", ".php",
                                 ".php",   ".css",   ".css",   ".HTM",  ".asp", ".jsp",
                                 ".shtml", ".phtml", ".xhtml", ".cgi",  ".pl",  ".php3",
                                 ".php4",  ".xhtm",  ".phtm",  ".shtm"};
const char* const kOtherTypes[] = {".jpg", ".png",  ".gif", ".js",  ".txt",  ".svg",
                                   ".ico", ".json", ".xml", ".pdf", ".htmx", ".css~"};

class Writer {
public:
    explicit Writer(std::uint32_t seed) : random_(seed) {}

    std::uint32_t Pick(std::uint32_t n) { return random_() % n; }

    std::string Words(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                s += ' ';
            }
            s += kWords[Pick(sizeof kWords / sizeof *kWords)];
        }
        return s;
    }

    // Indented HTML with blank lines, runs of spaces and tabs, as hand-edited pages have.
    std::string Html(std::size_t target) {
        std::string s = "<!DOCTYPE html>\r\n<html>\r\n  <head>\r\n    <title>" + Words(3) +
                        "</title>\r\n    <link rel=\"stylesheet\" href=\"style.css\">\r\n  "
                        "</head>\r\n  <body>\r\n";
        while (s.size() < target) {
            const std::string indent(2 * (1 + Pick(6)), Pick(4) == 0 ? '\t' : ' ');
            switch (Pick(6)) {
            case 0:
                s += indent + "<div class=\"" + Words(1) + "\">\r\n";
                break;
            case 1:
                s += indent + "<p>   " + Words(8 + static_cast<int>(Pick(12))) + "   </p>\r\n";
                break;
            case 2:
                s += indent + "<a href=\"/" + Words(1) + ".html\">" + Words(2) + "</a>\r\n";
                break;
            case 3:
                s += "\r\n" + indent + "\r\n";
                break;
            case 4:
                s += indent + "</div>\r\n";
                break;
            default:
                s += indent + "<?php echo $" + Words(1) + "; ?>  \t\r\n";
                break;
            }
        }
        s += "  </body>\r\n</html>\r\n";
        return s;
    }

    std::string Css(std::size_t target) {
        std::string s;
        while (s.size() < target) {
            // Appended piece by piece, as GCC 12 warns (-Wrestrict, wrongly) about
            // "literal" + std::string; drawn last to first, as GCC evaluated the
            // one expression this was, so that the generated trees stay the same.
            const std::string margin = std::to_string(Pick(40));
            const std::string color = std::to_string(100 + Pick(900));
            s += '.';
            s += Words(1);
            s += " {\r\n    color: #";
            s += color;
            s += ";\r\n    margin:   ";
            s += margin;
            s += "px;\r\n}\r\n\r\n";
        }
        return s;
    }

    // Sizes around 4 KB on average for web files, skewed: many small, some large.
    std::size_t WebSize() {
        std::lognormal_distribution<double> d(8.09, 0.7);
        const double v = d(random_);
        return static_cast<std::size_t>(v < 200 ? 200 : (v > 60000 ? 60000 : v));
    }

private:
    std::mt19937 random_;
};

void WriteFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

// limit 0: the classic tree of 2801 directories. Otherwise the start folder gets
// as many subtrees as it takes, and the walk stops at exactly limit files, so
// every size has the same mix of folder sizes, depths and file types.
void Fill(const std::string& dir, int level, Writer& w, TreeStats& stats, long limit) {
    if (::mkdir(dir.c_str(), 0755) != 0) {
        throw std::runtime_error("cannot create " + dir);
    }
    ++stats.directories;
    const auto full = [&] {
        return limit > 0 && stats.files >= limit;
    };
    // 2801 directories hold about 50,000 files: 10 to 25 each.
    const int files = 10 + static_cast<int>(w.Pick(16));
    for (int i = 0; i < files && !full(); ++i) {
        const bool web = w.Pick(5) != 0;
        std::string name = w.Words(1) + std::to_string(stats.files);
        if (web) {
            const char* type = kWebTypes[w.Pick(sizeof kWebTypes / sizeof *kWebTypes)];
            const std::string t(type);
            const std::size_t size = w.WebSize();
            const std::string content = (t == ".css") ? w.Css(size) : w.Html(size);
            WriteFile(dir + "/" + name + type, content);
            ++stats.matchingFiles;
            stats.matchingBytes += content.size();
        } else {
            const char* type = kOtherTypes[w.Pick(sizeof kOtherTypes / sizeof *kOtherTypes)];
            const std::string content(64 + w.Pick(1024), 'x');
            WriteFile(dir + "/" + name + type, content);
            stats.otherBytes += content.size();
        }
        ++stats.files;
    }
    if (level < kLevels) {
        const bool growing = limit > 0 && level == 0;
        for (int i = 0; growing ? !full() : i < kBranching && !full(); ++i) {
            Fill(dir + "/" + w.Words(1) + "_" + std::to_string(i), level + 1, w, stats, limit);
        }
    }
}

} // namespace

TreeStats GenerateTree(const std::string& root, std::uint32_t seed, long files) {
    Writer w(seed);
    TreeStats stats;
    Fill(root, 0, w, stats, files);
    return stats;
}

std::string BenchTree(long files) {
    const char* env = std::getenv("VX_BENCH_TREE");
    std::string root = (env != nullptr && *env != 0) ? env : "/tmp/velocitrix-bench-tree";
    if (files > 0) {
        root += '-'; // not "-" + ...: GCC 12 warns (-Wrestrict, wrongly)
        root += std::to_string(files);
    }
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) {
        const TreeStats s = GenerateTree(root, 1, files);
        std::fprintf(stderr,
                     "generated %s: %ld directories, %ld files, %ld matching (%llu bytes)\n",
                     root.c_str(), s.directories, s.files, s.matchingFiles,
                     static_cast<unsigned long long>(s.matchingBytes));
    }
    return root;
}
