// The main window's command availability: the controls each offer switches on,
// the busy state, and the availability a failed command puts back.

#include "app/ClickLabel.h"
#include "app/Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <vector>

std::vector<TForm1::OfferControl> TForm1::OfferControls() const {
    return {
        {Offer::LoadFile, LoadFile},  {Offer::LoadDir, LoadDir},   {Offer::OptimizeFile, OptFile},
        {Offer::OptimizeDir, OptDir}, {Offer::SaveFile, SaveFile}, {Offer::SaveAll, SaveAll},
        {Offer::ChangeFile, DoIt},    {Offer::ChangeDir, Button1}, {Offer::Recursive, CheckBox1},
        {Offer::View, RichEdit1},     {Offer::List, ListBox1},     {Offer::ListCaption, Panel1},
        {Offer::SpaceSaved, Label3},  {Offer::SpaceSaved, Label4}};
}

namespace {

// The offers that show a pane rather than enable a command.
bool IsPane(Offer o) {
    return o == Offer::View || o == Offer::List || o == Offer::ListCaption ||
           o == Offer::SpaceSaved;
}

} // namespace

void TForm1::DisableCommands() {
    for (const auto& [offer, control] : OfferControls()) {
        if (IsPane(offer))
            control->hide();
        else
            control->setEnabled(false);
    }
    CheckBox2->setEnabled(false);
    const auto items = MainMenu1->actions();
    for (QAction* item : items)
        item->setEnabled(false);
}

void TForm1::EnableCommands(CommandSet offers) {
    for (const auto& [offer, control] : OfferControls()) {
        if (!offers.Has(offer))
            continue;
        if (IsPane(offer))
            control->show();
        else
            control->setEnabled(true);
    }
    CheckBox2->setEnabled(true);
    const auto items = MainMenu1->actions();
    for (QAction* item : items)
        item->setEnabled(true);
}

TForm1::Availability TForm1::CaptureAvailability() const {
    Availability state;
    for (const auto& [offer, control] : OfferControls()) {
        if (IsPane(offer))
            state.shown.push_back(!control->isHidden());
        else
            state.enabled.push_back(control->isEnabledTo(this));
    }
    state.enabled.push_back(CheckBox2->isEnabledTo(this));
    const auto items = MainMenu1->actions();
    for (const QAction* item : items)
        state.enabled.push_back(item->isEnabled());
    return state;
}

void TForm1::RestoreAvailability(const Availability& state) {
    std::size_t enabled = 0;
    std::size_t shown = 0;
    for (const auto& [offer, control] : OfferControls()) {
        if (IsPane(offer))
            control->setVisible(state.shown.at(shown++));
        else
            control->setEnabled(state.enabled.at(enabled++));
    }
    CheckBox2->setEnabled(state.enabled.at(enabled++));
    const auto items = MainMenu1->actions();
    for (QAction* item : items)
        item->setEnabled(state.enabled.at(enabled++));
}
