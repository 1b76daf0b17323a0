#pragma once
// What the window is busy with: the long operations running now (a slide show, a batch of
// reports, an index compile), innermost last, and a close asked for meanwhile; and the
// command buttons' state that follows from it. GUI-free, so that the rules are one table.

#include <vector>

namespace kvx {

// How each stops when asked: a show at once, a batch after its current drawing, a compile
// once its compiler has ended (asked to end when a close waits too long).
enum class Operation { Show, Batch, Compile };

class BusyState {
public:
    void begin(Operation op);
    // True when `op` was the outermost operation and a close is pending: the caller closes.
    bool end(Operation op);
    // A show whose Stop was clicked still runs until its step returns; it counts as ended.
    void stopping(Operation op);

    // Running and not stopping.
    bool active(Operation op) const;
    bool idle() const { return m_running.empty(); }

    // Returns false when nothing runs: the caller closes at once.
    bool requestClose();
    bool closeRequested() const { return m_closeRequested; }

private:
    struct Running {
        Operation op;
        bool stopping;
    };
    std::vector<Running> m_running;
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
// During a show the View commands wait and Stop stands in Slide's place; during a batch they
// are all hidden; during a compile Slide waits. The build buttons wait while anything runs.
CommandButtons commandButtons(const BusyState& busy, bool indexFolder, int reports);

} // namespace kvx
