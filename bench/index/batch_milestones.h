#pragma once
// For the benchmarks that click the batch button: when its steps show on screen.

#include "app/application.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <chrono>

// The moments the batch's wait window and its result dialog show; the dialog is answered
// "Close" as soon as it is up, as a user would who only wanted the index built.
class BatchMilestones : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    BatchMilestones() {
        Form4->installEventFilter(this);
        Form2->installEventFilter(this);
    }
    ~BatchMilestones() override {
        Form4->removeEventFilter(this);
        Form2->removeEventFilter(this);
    }
    void reset() { waitShown = resultShown = Clock::time_point{}; }
    Clock::time_point waitShown, resultShown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (watched == Form4 && waitShown == Clock::time_point{})
                waitShown = Clock::now();
            if (watched == Form2) {
                resultShown = Clock::now();
                QTimer::singleShot(0, Form2, [] { Form2->SpeedButton1Click(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};
