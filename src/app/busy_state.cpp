#include "app/busy_state.h"

#include <algorithm>

namespace kvx {

void BusyState::begin(Operation op) {
    m_running.push_back({op, false});
}

bool BusyState::end(Operation op) {
    // Innermost first; an operation that ends out of order is still taken out.
    const auto it = std::find_if(m_running.rbegin(), m_running.rend(),
                                 [op](const Running& r) { return r.op == op; });
    if (it != m_running.rend())
        m_running.erase(std::next(it).base());
    return m_running.empty() && m_closeRequested;
}

void BusyState::stopping(Operation op) {
    for (Running& r : m_running)
        if (r.op == op)
            r.stopping = true;
}

bool BusyState::active(Operation op) const {
    return std::any_of(m_running.begin(), m_running.end(),
                       [op](const Running& r) { return r.op == op && !r.stopping; });
}

bool BusyState::requestClose() {
    if (m_running.empty())
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
    } else if (compile) {
        b.slide = waiting;
    }
    const bool free = !show && !batch && !compile;
    b.buildAfresh = ButtonState{true, free && indexFolder};
    b.buildFromReports = ButtonState{true, free && indexFolder && reports >= 1};
    return b;
}

} // namespace kvx
