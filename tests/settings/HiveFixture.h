#pragma once
// Helpers for tests that work on the user's registry hive in the test's own
// XDG_CONFIG_HOME: preparing its file, reading it back, making it unusable, and
// answering the message boxes a step shows.

#include "platform/RegistryHive.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace hive_fixture {

inline const QString kProgramKey = QStringLiteral("Software\\Velocitrix Website Optimizer");
inline const QString kWinposKey = QStringLiteral("Software\\Velocitrix Website Optimizer\\Winpos");

inline QString HivePath() {
    return RegistryHive::DefaultFilePath();
}
inline QString HiveDir() {
    return QFileInfo(HivePath()).absolutePath();
}

// No hive at all: the first run.
inline void ResetHive() {
    const QFileInfo dir(HiveDir());
    if (dir.isDir())
        QDir(HiveDir()).removeRecursively();
    else if (dir.exists() || dir.isSymLink())
        QFile::remove(HiveDir());
}

inline void WriteHiveBytes(const QByteArray& bytes) {
    QDir().mkpath(HiveDir());
    QFile file(HivePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QJsonObject ReadHiveKeys() {
    QFile file(HivePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(QStringLiteral("keys"))
        .toObject();
}

inline void WriteHiveKeys(const QJsonObject& keys) {
    QJsonObject root;
    root.insert(QStringLiteral("keys"), keys);
    WriteHiveBytes(QJsonDocument(root).toJson());
}

// Stores one value as the hive file holds it (key and value names as given).
inline void PutValue(const QString& key, const QString& name, const QString& type,
                     const QJsonValue& data) {
    QJsonObject keys = ReadHiveKeys();
    QJsonObject values = keys.value(key).toObject();
    QJsonObject entry;
    entry.insert(QStringLiteral("type"), type);
    entry.insert(QStringLiteral("data"), data);
    values.insert(name, entry);
    keys.insert(key, values);
    WriteHiveKeys(keys);
}

inline QJsonObject StoredValue(const QString& key, const QString& name) {
    return ReadHiveKeys().value(key).toObject().value(name).toObject();
}

inline bool HasValue(const QString& key, const QString& name) {
    return ReadHiveKeys().value(key).toObject().contains(name);
}

// The hive's directory cannot exist (a file stands where it should be): every
// open fails, also for root.
inline void MakeStoreUnopenable() {
    ResetHive();
    QFile blocker(HiveDir());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
}

// Keys open, but every write is refused (the hive's lock cannot be taken).
inline void MakeWritesRefused() {
    QVERIFY(QDir().mkpath(HivePath() + QStringLiteral(".lock")));
}

inline void AllowWrites() {
    QDir(HivePath() + QStringLiteral(".lock")).removeRecursively();
}

struct ShownBox {
    QString objectName;
    QString text;
    QString title;
};

// Runs action and answers every modal window that appears while it runs,
// recording the message boxes in the order they were shown. A modal window that
// is not a message box is recorded with an empty text and rejected.
inline QList<ShownBox> AnswerBoxes(const std::function<void()>& action) {
    QList<ShownBox> shown;
    QPointer<QWidget> answered;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == answered)
            return;
        answered = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shown.append({box->objectName(), box->text(), box->windowTitle()});
            QTimer::singleShot(0, box, [box] { box->accept(); });
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            shown.append({dialog->objectName(), QString(), dialog->windowTitle()});
            QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
        } else {
            shown.append({modal->objectName(), QString(), modal->windowTitle()});
            QTimer::singleShot(0, modal, [modal] { modal->close(); });
        }
    });
    poll.start();
    action();
    poll.stop();
    return shown;
}

inline QStringList Texts(const QList<ShownBox>& boxes) {
    QStringList texts;
    for (const ShownBox& box : boxes)
        texts.append(box.text);
    return texts;
}

} // namespace hive_fixture
