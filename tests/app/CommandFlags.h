#pragma once
// The main window's command availability as EnableCommands's thirteen flags, for
// the tests that drive the window: written as a row of 'x' and '.', or read off
// the controls.

#include "commands/CommandSet.h"

#include <QList>
#include <QWidget>

// The controls EnableCommands switches, in the order of its flags.
inline const char* const kFlagControls[] = {
    "LoadFile", "LoadDir",   "OptFile",   "OptDir",   "SaveFile", "SaveAll", "DoIt",
    "Button1",  "CheckBox1", "RichEdit1", "ListBox1", "Panel1",   "Label3"};
inline constexpr int kFlagCount = 13;

using Flags = QList<bool>;

inline Flags Row(const char* pattern) {
    Flags flags;
    for (int i = 0; i < kFlagCount; ++i)
        flags.append(pattern[i] == 'x');
    return flags;
}

// The flags as the window shows them: the first nine controls enabled, the
// others shown.
inline Flags StateOf(const QWidget* form) {
    Flags flags;
    for (int i = 0; i < kFlagCount; ++i) {
        const auto* w = form->findChild<QWidget*>(QString::fromUtf8(kFlagControls[i]));
        if (w == nullptr)
            qWarning("no control %s", kFlagControls[i]);
        flags.append(i < 9 ? w->isEnabledTo(form) : !w->isHidden());
    }
    return flags;
}

// The offers a row of flags names, in the order of Offer.
inline CommandSet OffersOf(const Flags& flags) {
    CommandSet offers;
    for (int i = 0; i < kFlagCount; ++i)
        offers = offers.With(static_cast<Offer>(i), flags[i]);
    return offers;
}
