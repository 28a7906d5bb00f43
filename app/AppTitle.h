#pragma once
// The application's title, which the message boxes show as their caption.

// Names the application "Velocitrix Website Optimizer". It is given as the
// application name, not the display name: on Linux, Qt appends a display name
// that was set explicitly to every window's title ("Help — Velocitrix Website
// Optimizer"), while QGuiApplication::applicationDisplayName() falls back to the
// application name without that.
void SetApplicationTitle();
