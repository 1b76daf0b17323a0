// The window's long operations as one busy state: which runs, what the command buttons show
// meanwhile, and a close request that the running operation hears.

#include "app/main_window.h"

#include <QToolButton>

TForm1::Running::Running(TForm1* form, kvx::Operation op) : m_form(form) {
    m_form->Busy.begin(op);
    m_form->updateCommandButtons();
}

TForm1::Running::~Running() {
    const bool closeNow = m_form->Busy.end();
    m_form->updateCommandButtons();
    // A close asked for while it ran is carried out now.
    if (closeNow)
        m_form->close();
}

kvx::CommandButtons TForm1::commandState() const {
    return kvx::commandButtons(Busy, m_indexFolder, m_reportCount);
}

void TForm1::updateCommandButtons() {
    const kvx::CommandButtons s = commandState();
    const std::pair<QToolButton*, kvx::ButtonState> buttons[] = {
        {SpeedButton1, s.open},       {SpeedButton2, s.erase}, {SpeedButton6, s.report},
        {SpeedButton3, s.slide},      {SpeedButton4, s.stop},  {SpeedButton7, s.buildFromReports},
        {SpeedButton8, s.buildAfresh}};
    for (const auto& [button, state] : buttons) {
        button->setEnabled(state.enabled);
        button->setVisible(state.visible);
    }
}

bool TForm1::deferClose() {
    if (!Busy.requestClose())
        return false;
    // A show stops at once; a batch stops after its drawing, a compile is given time to end.
    endSlideShow();
    emit closeRequested();
    return true;
}
