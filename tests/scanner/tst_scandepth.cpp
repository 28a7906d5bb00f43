// The walk of deep trees: every folder walked whatever the depth under a low
// limit of open descriptors, in the listing's order, and a deep folder swapped
// for a link while the walk is below it is neither followed nor passed over
// in silence.

#include "ScanFixture.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/resource.h>
#include <utility>

namespace {

// Each level: a.htm, the next level's folder d, z.htm and more files.
void MakeChain(const std::string& root, int levels) {
    std::string path = root;
    for (int i = 0; i < levels; ++i) {
        MakeFile(path + "/a.htm");
        MakeDir(path + "/d");
        for (const char* name : {"/z.htm", "/y.htm", "/x.htm"}) {
            MakeFile(path + name);
        }
        path += "/d";
    }
}

// The entries of a folder in listing order, "." and ".." left out; true for folders.
std::vector<std::pair<std::string, bool>> Listing(const std::string& path) {
    std::vector<std::pair<std::string, bool>> entries;
    DIR* dir = ::opendir(path.c_str());
    while (const dirent* e = dir != nullptr ? ::readdir(dir) : nullptr) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            entries.emplace_back(name, e->d_type == DT_DIR);
        }
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return entries;
}

// The events a walk with mask "*.htm" gives, a folder entered where it is listed.
void Expected(const std::string& path, QStringList& events) {
    events << QString::fromStdString("P " + path);
    for (const auto& [name, isDir] : Listing(path)) {
        if (name.ends_with(".htm")) {
            events << QString::fromStdString("F " + path + " " + name);
        }
        if (isDir) {
            Expected(path + "/" + name, events);
        }
    }
}

// A recursive walk with mask "*.htm" on this thread; onProcess runs at each folder.
struct Walk {
    QStringList events;
    std::function<void(const std::string&)> onProcess;
    std::vector<UnreadFolder> unread;

    void Run(const std::string& root) {
        TScanThread walk(
            true, 0, "*.htm", root, {}, ssSpecifiedDir,
            [this](const std::string& name, const std::string& path, std::int32_t, std::int32_t,
                   double) { events << QString::fromStdString("F " + path + " " + name); },
            [this](std::uint32_t, std::uint32_t, const std::string& path, std::uint32_t,
                   std::uint32_t) {
                events << QString::fromStdString("P " + path);
                if (onProcess) {
                    onProcess(path);
                }
            });
        walk.Execute();
        unread = walk.UnreadFolders();
    }
};

} // namespace

class tst_ScanDepth : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deepTreeUnderLowLimit();
    void swappedFolderNotFollowed();
};

void tst_ScanDepth::deepTreeUnderLowLimit() {
    QTemporaryDir tmp;
    const std::string root = Native(tmp.path());
    MakeChain(root, 300);
    QStringList expected;
    Expected(root, expected);
    QCOMPARE(expected.size(), 300 * 5 + 1);

    rlimit before{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = std::min<rlim_t>(before.rlim_cur, 64);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
    Walk walk;
    walk.Run(root);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &before), 0);

    QCOMPARE(walk.events, expected);
    QVERIFY(walk.unread.empty());
}

void tst_ScanDepth::swappedFolderNotFollowed() {
    QTemporaryDir tmp;
    const std::string root = Native(tmp.path());
    MakeDir(root + "/tree");
    MakeChain(root + "/tree", 45);
    MakeDir(root + "/decoy");
    MakeFile(root + "/decoy/decoy.htm");
    // A deep folder that still has entries to give after its subfolder's walk.
    std::string swapped;
    std::string path = root + "/tree";
    for (int level = 0; level < 40; ++level, path += "/d") {
        const auto entries = Listing(path);
        if (level > 34 && entries.back().first != "d") {
            swapped = path;
            break;
        }
    }
    if (swapped.empty()) {
        QSKIP("every deep folder lists its subfolder last here");
    }

    // Below it, the folder is moved away and a link to another folder takes its name.
    Walk walk;
    walk.onProcess = [&](const std::string& current) {
        if (current == swapped + "/d/d") {
            QVERIFY(::rename(swapped.c_str(), (root + "/moved").c_str()) == 0);
            QVERIFY(::symlink((root + "/decoy").c_str(), swapped.c_str()) == 0);
        }
    };
    walk.Run(root + "/tree");

    QVERIFY(walk.events.contains(QString::fromStdString("P " + swapped + "/d/d/d")));
    for (const QString& e : walk.events) {
        QVERIFY2(!e.contains(u"decoy"), qPrintable(e));
    }
    const auto it = std::find_if(walk.unread.begin(), walk.unread.end(),
                                 [&](const UnreadFolder& f) { return f.path == swapped; });
    QVERIFY(it != walk.unread.end());
    QCOMPARE(it->error, ENOTDIR); // a link where a folder is wanted
}

QTEST_GUILESS_MAIN(tst_ScanDepth)
#include "tst_scandepth.moc"
