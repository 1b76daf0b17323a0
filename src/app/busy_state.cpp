#include "app/busy_state.h"

#include <cassert>

namespace kvx {

void BusyState::begin(Operation op) {
    assert(!m_running);
    m_running = op;
    m_stopping = false;
}

bool BusyState::end() {
    m_running.reset();
    m_stopping = false;
    return m_closeRequested;
}

void BusyState::stopping() {
    if (m_running)
        m_stopping = true;
}

bool BusyState::requestClose() {
    if (!m_running)
        return false;
    m_closeRequested = true;
    return true;
}

CommandButtons commandButtons(const BusyState& busy, bool indexFolder, int reports) {
    const bool show = busy.active(Operation::Show);
    const bool batch = busy.active(Operation::Batch);
    const bool compile = busy.active(Operation::Compile);
    CommandButtons b;
    const ButtonState waiting{true, false}, hidden{false, false};
    b.stop = hidden;
    if (batch) {
        b.open = b.erase = b.report = b.slide = hidden;
    } else if (show) {
        b.open = b.erase = b.report = waiting;
        b.slide = hidden;
        b.stop = ButtonState{true, true};
    } else if (busy.running(Operation::Show)) {
        // Stopping: a click meant for Stop may land on Slide before the show has returned.
        b.open = b.erase = b.report = b.slide = waiting;
    } else if (compile) {
        b.slide = waiting;
    }
    const bool free = busy.idle();
    b.buildAfresh = ButtonState{true, free && indexFolder};
    b.buildFromReports = ButtonState{true, free && indexFolder && reports >= 1};
    return b;
}

} // namespace kvx
