#pragma once
// A wait that keeps the program live: while it lasts, paints, input and timers are handled as
// in the main loop, and interrupt() ends it at once. No busy loop, no thread.

#include <chrono>

class QEventLoop;

namespace kvx {

class LivePause {
public:
    LivePause() = default;
    LivePause(const LivePause&) = delete;
    LivePause& operator=(const LivePause&) = delete;

    // Handles events for `length`, or until interrupt(). Returns false when interrupted.
    bool wait(std::chrono::milliseconds length);
    // Ends the current wait, if any; called from a handler that runs inside it.
    void interrupt();
    bool waiting() const { return m_loop != nullptr; }

private:
    QEventLoop* m_loop = nullptr;
    bool m_interrupted = false;
};

} // namespace kvx
