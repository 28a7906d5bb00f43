#pragma once
// The program's icon, compiled into the application library as a Qt resource.

#include <QIcon>

// Registers the library's resources; safe to call any number of times. Every
// window calls it (through VelocitrixIcon) before it sets its icon.
void InitVelocitrixResources();

// The icon all four windows show.
QIcon VelocitrixIcon();
