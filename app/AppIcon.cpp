#include "app/AppIcon.h"

#include <QString>

// Q_INIT_RESOURCE declares the resource's registration function, which the
// resource compiler generates in the global namespace; so this function must be
// outside any namespace as well.
void InitVelocitrixResources() {
    static bool registered = false;
    if (registered)
        return;
    Q_INIT_RESOURCE(velocitrix);
    registered = true;
}

QIcon VelocitrixIcon() {
    InitVelocitrixResources();
    return QIcon(QStringLiteral(":/velocitrix/velocitrix.svg"));
}
