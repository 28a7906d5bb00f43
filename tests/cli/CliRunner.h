#pragma once
// Runs the built velocitrix-cli in a process of its own and keeps what it said,
// and makes the small files and trees the tests work on.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QtTest>

#ifndef VX_CLI_PATH
#error "VX_CLI_PATH names the velocitrix-cli executable"
#endif

namespace cli_test {

struct CliResult {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

// inputFile: what standard input reads (none: nothing).
inline CliResult RunCli(const QStringList& args, const QString& workDir = QString(),
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                        const QString& inputFile = QString()) {
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    if (!inputFile.isEmpty())
        p.setStandardInputFile(inputFile);
    p.setArguments(args);
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start();
    CliResult r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished(5000);
        r.crashed = true;
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

// Every file below dir (relative path -> bytes), directories left out.
inline QMap<QString, QByteArray> Snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(dir).relativeFilePath(path), ReadBytes(path));
    }
    return files;
}

inline QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace cli_test
