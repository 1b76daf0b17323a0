#include "drawing/live_pause.h"

#include <QEventLoop>
#include <QTimer>

namespace kvx {

bool LivePause::wait(std::chrono::milliseconds length) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QEventLoop* const outer = m_loop;
    m_loop = &loop;
    m_interrupted = false;
    timer.start(length);
    loop.exec(QEventLoop::AllEvents);
    m_loop = outer;
    const bool interrupted = m_interrupted;
    m_interrupted = false;
    return !interrupted;
}

void LivePause::interrupt() {
    if (!m_loop)
        return;
    m_interrupted = true;
    m_loop->quit();
}

} // namespace kvx
