#include "app/MessageBoxes.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.setObjectName(icon == QMessageBox::NoIcon ? QStringLiteral("MessageBox")
                                                  : QStringLiteral("ErrorMessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

QString FromProgramText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void ShowMessage(const QString& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void ShowErrorMessage(const QString& text) {
    QString shown = text;
    if (!shown.isEmpty() && shown.back() > QLatin1Char('.'))
        shown += QLatin1Char('.');
    ShowBox(QMessageBox::Critical, shown);
}
