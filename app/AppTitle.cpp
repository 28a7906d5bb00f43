#include "app/AppTitle.h"

#include <QGuiApplication>

void SetApplicationTitle() {
    QGuiApplication::setApplicationName(QStringLiteral("Velocitrix Website Optimizer"));
}
