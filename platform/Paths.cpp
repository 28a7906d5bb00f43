#include "platform/Paths.h"

#include <algorithm>
#include <vector>

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (folder.empty() || name.empty())
        return joined.append(name);
    if (folder.back() != '/')
        joined += '/';
    return joined.append(name);
}

std::string FoundPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path.append(name);
}

std::string NameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

std::string FolderPrefixOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string TrimTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

std::string TidiedPath(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    std::size_t ups = 0; // leading ".." of a relative path, which nothing takes away
    while (!path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        const std::string_view part = path.substr(0, slash);
        path.remove_prefix(std::min(slash + 1, path.size()));
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            else if (!absolute)
                ++ups;
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < ups; ++i)
        out += i == 0 ? ".." : "/..";
    for (const std::string_view part : parts) {
        if (!out.empty() && out.back() != '/')
            out += '/';
        out += part;
    }
    return out.empty() ? std::string(".") : out;
}
