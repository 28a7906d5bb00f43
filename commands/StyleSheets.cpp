#include "commands/StyleSheets.h"

#include "platform/FileIO.h"
#include "platform/Paths.h"

#include <stdexcept>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HasScheme(std::string_view href) {
    for (std::size_t i = 0; i < href.size(); ++i) {
        const char c = href[i];
        if (c == ':')
            return i > 0;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    return false;
}

// The part of path below the folder root (both tidied), or "" when path does
// not lie below it.
std::string Below(const std::string& path, const std::string& root) {
    if (root == ".")
        return path.front() == '/' || path == ".." || path.starts_with("../") ? std::string()
                                                                              : path;
    if (root == "/")
        return path.front() == '/' ? path.substr(1) : std::string();
    if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
        path[root.size()] == '/')
        return path.substr(root.size() + 1);
    return {};
}

} // namespace

std::string SheetPath(std::string_view page, std::string_view href) {
    while (!href.empty() && (href.front() == ' ' || href.front() == '\t' || href.front() == '\n' ||
                             href.front() == '\r' || href.front() == '\f'))
        href.remove_prefix(1);
    while (!href.empty() && (href.back() == ' ' || href.back() == '\t' || href.back() == '\n' ||
                             href.back() == '\r' || href.back() == '\f'))
        href.remove_suffix(1);
    href = href.substr(0, href.find_first_of("?#"));
    if (href.empty() || href.front() == '/' || href.front() == '\\' || HasScheme(href))
        return {};
    std::string name;
    for (std::size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size() && HexDigit(href[i + 1]) >= 0 &&
            HexDigit(href[i + 2]) >= 0) {
            name += static_cast<char>(HexDigit(href[i + 1]) * 16 + HexDigit(href[i + 2]));
            i += 2;
        } else {
            name += href[i];
        }
    }
    if (name.find('\0') != std::string::npos)
        return {};
    return TidiedPath(JoinPath(FolderPrefixOf(page), name));
}

const PreformattedRules* StyleSheetCache::Rules(const std::string& path, const std::string& root) {
    // Read from the walked folder as the walk reads a file there: no link below
    // it followed, a link in the sheet's own place only with the file's owner.
    std::string read = path;
    if (!root.empty()) {
        const std::string rel = Below(path, TidiedPath(root));
        if (rel.empty())
            return nullptr;
        read = JoinPath(TrimTrailingSlashes(root), rel);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    // One root's rules may refuse what another's let through.
    std::string key = root;
    key += '\0';
    key += path;
    auto sheet = sheets_.find(key);
    if (sheet == sheets_.end()) {
        std::unique_ptr<PreformattedRules> rules;
        try {
            std::string css;
            ReadWholeFile(read, css, nullptr, root);
            rules = std::make_unique<PreformattedRules>();
            rules->AddStyleSheet(css);
        } catch (const std::exception&) {
            rules.reset(); // not readable: nothing kept for it
        }
        sheet = sheets_.emplace(std::move(key), std::move(rules)).first;
    }
    return sheet->second.get();
}

const PreformattedRules* PageStyleSheets::Sheet(std::string_view href) {
    const std::string path = SheetPath(page_, href);
    return path.empty() ? nullptr : cache_->Rules(path, root_);
}
