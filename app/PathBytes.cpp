#include "app/PathBytes.h"

#include "platform/DirList.h"

#include <string_view>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

QString Shown(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The entry of folder (bytes, "" for the current folder) that name stands for.
std::string EntryNamed(const std::string& folder, const std::string& name) {
    TDirListing listing(folder);
    const QString wanted = Shown(name);
    std::string found;
    int alike = 0;
    while (listing.Next()) {
        const std::string_view entry(listing.Name(), listing.NameLength());
        if (entry == name)
            return name;
        if (Shown(entry) == wanted) {
            found.assign(entry);
            ++alike;
        }
    }
    return alike == 1 ? found : name;
}

} // namespace

std::string PathBytesOf(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    const std::string typed(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (typed.find(kReplacement) == std::string::npos)
        return typed;
    std::string bytes;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = typed.find('/', start);
        const std::size_t end = slash == std::string::npos ? typed.size() : slash;
        const std::string part = typed.substr(start, end - start);
        bytes += part.find(kReplacement) == std::string::npos ? part : EntryNamed(bytes, part);
        if (slash == std::string::npos)
            return bytes;
        bytes += '/';
        start = slash + 1;
    }
}
