#pragma once
// What the window is busy with: the long operation running now (a slide show, a batch of
// reports, an index compile), whether it was asked to stop, and a close asked for meanwhile;
// and the command buttons' state that follows from it. One at a time: while one runs, every
// command that would start another waits. GUI-free, so that the rules are one table.

#include <optional>

namespace kvx {

// How each stops when asked: a show at once, a batch after its current drawing, a compile
// once its compiler has ended (asked to end when a close waits too long).
enum class Operation { Show, Batch, Compile };

class BusyState {
public:
    // Only when idle: the commands that start an operation wait while one runs.
    void begin(Operation op);
    // True when a close is pending: the caller closes.
    bool end();
    // A show whose Stop was clicked still runs until its step returns; it counts as ended,
    // but nothing new starts before it has.
    void stopping();

    // Running, stopping or not.
    bool running(Operation op) const { return m_running == op; }
    // Running and not stopping.
    bool active(Operation op) const { return running(op) && !m_stopping; }
    bool idle() const { return !m_running; }

    // Returns false when nothing runs: the caller closes at once.
    bool requestClose();
    bool closeRequested() const { return m_closeRequested; }

private:
    std::optional<Operation> m_running;
    bool m_stopping = false;
    bool m_closeRequested = false;
};

struct ButtonState {
    bool visible = true;
    bool enabled = true;
    bool operator==(const ButtonState& o) const {
        return visible == o.visible && enabled == o.enabled;
    }
};

// The View tab's Open, Erase, Report, Slide and Stop, and the Index tab's two build buttons.
struct CommandButtons {
    ButtonState open, erase, report, slide, stop, buildFromReports, buildAfresh;
};

// `indexFolder`: the Index tab shows a folder of files; `reports`: how many reports it lists.
// During a show the View commands wait and Stop stands in Slide's place; once it is stopping,
// Slide is back but waits with them; during a batch they are all hidden; during a compile
// Slide waits. The build buttons wait while anything runs.
CommandButtons commandButtons(const BusyState& busy, bool indexFolder, int reports);

} // namespace kvx
