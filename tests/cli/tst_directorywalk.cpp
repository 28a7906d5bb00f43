// The parts of a walk cut by its helpers, joined as one walk on one thread meets
// them: after the entry that ends it, only the folders still open then count.

#include "cli/DirectoryWalk.h"

#include <QtTest>

#include <cerrno>

using namespace Qt::StringLiterals;

class tst_DirectoryWalk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void joinParts_data();
    void joinParts();
};

void tst_DirectoryWalk::joinParts_data() {
    // Each part: "top" (the start folder's walk) or "take FOLDER" (a helper's),
    // then what it met: "entry PATH", "old PATH" (an entry that ends the walk),
    // "leftover PATH", "unread FOLDER", "fail MESSAGE".
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QStringList>("joined");
    const QString unreadRoot = u"cannot read folder \"r/\": Permission denied"_s;
    const auto ended = [](const char* why) {
        return u"the walk of \"r/\" ended early; files after the last one listed were left out ("_s +
               QLatin1String(why) + u")"_s;
    };
    QTest::newRow("whole") << QStringList{u"top"_s,      u"entry r/a"_s,   u"leftover r/.x"_s,
                                          u"take r/s"_s, u"entry r/s/b"_s, u"leftover r/s/.y"_s,
                                          u"top"_s,      u"entry r/c"_s,   u"unread r/"_s}
                           << QStringList{u"entry r/a"_s,     u"entry r/s/b"_s,     u"entry r/c"_s,
                                          u"leftover r/.x"_s, u"leftover r/s/.y"_s, unreadRoot};
    // Folders met after the end are not entered, taken or not.
    QTest::newRow("ends in a taken folder")
        << QStringList{u"top"_s,           u"entry r/a"_s,       u"take r/s"_s,
                       u"old r/s/b"_s,     u"leftover r/s/.y"_s, u"top"_s,
                       u"entry r/u/d"_s,   u"leftover r/u/.z"_s, u"unread r/u"_s,
                       u"leftover r/.x"_s, u"entry r/c"_s,       u"unread r/"_s,
                       u"take r/v"_s,      u"entry r/v/e"_s,     u"leftover r/v/.w"_s}
        << QStringList{u"entry r/a"_s,     u"entry r/s/b"_s, u"leftover r/s/.y"_s,
                       u"leftover r/.x"_s, unreadRoot,       ended("r")};
    QTest::newRow("ends deeper")
        << QStringList{u"top"_s,         u"take r/s/t"_s,      u"old r/s/t/b"_s,
                       u"top"_s,         u"leftover r/s/.y"_s, u"leftover r/s/u/.z"_s,
                       u"entry r/s/c"_s, u"entry r/s/u/d"_s}
        << QStringList{u"entry r/s/t/b"_s, u"leftover r/s/.y"_s, ended("r/s")};
    // A failure ends everything there.
    QTest::newRow("fails in a taken folder")
        << QStringList{u"top"_s,           u"entry r/a"_s,      u"take r/s"_s,
                       u"entry r/s/b"_s,   u"fail no memory"_s, u"top"_s,
                       u"leftover r/.x"_s, u"entry r/c"_s,      u"unread r/"_s}
        << QStringList{u"entry r/a"_s, u"entry r/s/b"_s, ended("no memory")};
}

void tst_DirectoryWalk::joinParts() {
    QFETCH(QStringList, parts);
    QFETCH(QStringList, joined);
    std::deque<WalkPart> walked;
    for (const QString& event : parts) {
        const std::string what = event.section(u' ', 1).toStdString();
        const std::string folder = what.substr(0, what.rfind('/'));
        if (event == u"top"_s || event.startsWith(u"take "_s)) {
            walked.emplace_back().taken = event != u"top"_s;
            walked.back().path = what;
            continue;
        }
        WalkPart& part = walked.back();
        if (event.startsWith(u"entry "_s) || event.startsWith(u"old "_s)) {
            part.found.push_back(FoundFile{ListEntry{what, "r/", what.substr(2)}});
            part.entryFolders.push_back(folder);
            part.last = folder;
            part.ended = event.startsWith(u"old "_s);
        } else if (event.startsWith(u"leftover "_s)) {
            part.leftovers.push_back(ListEntry{what, "r/", what.substr(2)});
        } else if (event.startsWith(u"unread "_s)) {
            part.unread.push_back(UnreadFolder{what, EACCES});
        } else {
            part.failed = true;
            part.last = what;
        }
    }
    FileList list;
    std::deque<FoundFile> found;
    JoinParts(walked, "r/", list, found);
    QStringList got;
    for (const FoundFile& f : found)
        got << u"entry "_s + QString::fromStdString(f.entry.path);
    for (const ListEntry& e : list.leftovers)
        got << u"leftover "_s + QString::fromStdString(e.path);
    for (const std::string& w : list.warnings)
        got << QString::fromStdString(w);
    QCOMPARE(got, joined);
}

QTEST_GUILESS_MAIN(tst_DirectoryWalk)
#include "tst_directorywalk.moc"
