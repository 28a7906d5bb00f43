// Code of a project that uses Velocitrix: Qt's keywords and casts from ASCII are
// allowed here, whatever Velocitrix builds itself with. Exits with 0 when the
// signal arrived and a Velocitrix function answered.

#include "platform/Paths.h"

#include <QObject>
#include <QString>

class Announcer : public QObject {
    Q_OBJECT
public:
    void Announce() {
        QString s = "ascii";
        emit announced(s);
    }

signals:
    void announced(const QString& text);
};

int main() {
    Announcer announcer;
    QString heard;
    QObject::connect(&announcer, &Announcer::announced, [&](const QString& text) { heard = text; });
    announcer.Announce();
    const bool joined = JoinPath("/web", "a.htm") == "/web/a.htm";
    return heard == "ascii" && joined ? 0 : 1;
}

#include "consumer.moc"
