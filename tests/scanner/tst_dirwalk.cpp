// The walk on its own: a stop requested from its own events ends it there, in a
// folder and deep below the folders that keep their descriptors, and it says so.

#include "ScanFixture.h"
#include "scanner/DirWalk.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// Each level: a.htm, the next level's folder d, z.htm and y.htm.
void MakeChain(const std::string& root, int levels) {
    std::string path = root;
    for (int i = 0; i < levels; ++i, path += "/d") {
        for (const char* name : {"/a.htm", "/z.htm", "/y.htm"}) {
            MakeFile(path + name);
        }
        MakeDir(path + "/d");
    }
}

// Records "F <folder>" and "E <folder>/<name>" below root; asks for the stop at stopAt.
class Recorder final : public DirWalkSink {
public:
    Recorder(std::size_t rootLength, QString stopAt) : root_(rootLength), stopAt_(stopAt) {}
    void Folder(const std::string& path) override { Note(u"F "_s + Below(path)); }
    bool Entry(DirWalkEntry& entry) override {
        Note(u"E "_s + Below(entry.folder) + u"/"_s +
             QString::fromStdString(std::string(entry.name)));
        return true;
    }
    QStringList events;
    std::stop_source stop;

private:
    QString Below(const std::string& path) const {
        return QString::fromStdString(path.substr(root_));
    }
    void Note(const QString& event) {
        events << event;
        if (event == stopAt_) {
            stop.request_stop();
        }
    }
    std::size_t root_;
    QString stopAt_;
};

} // namespace

class tst_DirWalk : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stopFromItsOwnEvents_data();
    void stopFromItsOwnEvents();
};

void tst_DirWalk::stopFromItsOwnEvents_data() {
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("depth");  // of the folder whose event asks for the stop
    QTest::addColumn<bool>("entry"); // its first entry's event, or its own
    QTest::newRow("a folder's entry") << 1 << 0 << true;
    QTest::newRow("a deep folder's entry") << 45 << 40 << true;
    QTest::newRow("a deep folder's event") << 45 << 40 << false;
}

void tst_DirWalk::stopFromItsOwnEvents() {
    QFETCH(int, levels);
    QFETCH(int, depth);
    QFETCH(bool, entry);
    QTemporaryDir tmp;
    const std::string root = Native(tmp.path());
    MakeChain(root, levels);
    TCollection masks;
    ParseMaskList(masks, "*.htm");
    DirWalkOptions options;
    options.recursive = true;
    options.masks = &masks;

    Recorder whole(root.size(), QString());
    QCOMPARE(WalkDirectoryTree(root, options, whole, whole.stop.get_token()), DirWalkEnd::Finished);
    const QString folder = u"/d"_s.repeated(depth);
    const qsizetype at =
        whole.events.indexOf(entry ? QRegularExpression(u"^E "_s + folder + u"/[^/]*$"_s)
                                   : QRegularExpression(u"^F "_s + folder + u'$'));
    QVERIFY(at >= 0 && at + 1 < whole.events.size());
    const QString stopAt = whole.events[at];

    // Nothing after the event that asked for the stop.
    Recorder stopped(root.size(), stopAt);
    QCOMPARE(WalkDirectoryTree(root, options, stopped, stopped.stop.get_token()),
             DirWalkEnd::Stopped);
    QCOMPARE(stopped.events, whole.events.mid(0, at + 1));
}

QTEST_GUILESS_MAIN(tst_DirWalk)
#include "tst_dirwalk.moc"
