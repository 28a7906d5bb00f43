// The floor for velocitrix-cli's run over a tree: walks the tree and, for each
// file matching the program's default types (case ignored), reads it whole and
// writes the same bytes back through a temporary beside it and a rename. One
// thread, no flush, no check of any kind: what any rewrite of the tree costs.
//
//   plain_rewrite DIR     prints the number of files rewritten

#include "settings/FileTypeLists.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Extensions() {
    // "*.htm;*.html;..." -> "htm", "html", ...
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < DefaultTypeList.size()) {
        std::size_t end = DefaultTypeList.find(';', at);
        if (end == std::string::npos)
            end = DefaultTypeList.size();
        out.push_back(DefaultTypeList.substr(at + 2, end - at - 2));
        at = end + 1;
    }
    return out;
}

bool Matches(const char* name, const std::vector<std::string>& extensions) {
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr)
        return false;
    for (const std::string& e : extensions) {
        if (::strcasecmp(dot + 1, e.c_str()) == 0)
            return true;
    }
    return false;
}

bool Rewrite(const std::string& path, std::string& buffer) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    buffer.clear();
    char piece[262144];
    ssize_t n = 0;
    while ((n = ::read(in, piece, sizeof piece)) > 0)
        buffer.append(piece, static_cast<std::size_t>(n));
    ::close(in);
    if (n < 0)
        return false;
    const std::size_t slash = path.rfind('/');
    const std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".tmp";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    const bool written =
        ::write(out, buffer.data(), buffer.size()) == static_cast<ssize_t>(buffer.size());
    ::close(out);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void Walk(const std::string& folder, const std::vector<std::string>& extensions,
          std::string& buffer, std::size_t& count) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> below;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const std::string path = folder + "/" + e->d_name;
        if (e->d_type == DT_DIR)
            below.push_back(path);
        else if (e->d_type == DT_REG && Matches(e->d_name, extensions) && Rewrite(path, buffer))
            ++count;
    }
    ::closedir(dir);
    for (const std::string& b : below)
        Walk(b, extensions, buffer, count);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plain_rewrite DIR\n");
        return 2;
    }
    std::string buffer;
    std::size_t count = 0;
    Walk(argv[1], Extensions(), buffer, count);
    std::printf("%zu\n", count);
    return 0;
}
