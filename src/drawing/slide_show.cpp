// The View tab's slide show: the folder's drawings from the selected one to the last, one
// pause apart, with Stop in the Slide button's place while it runs.

#include "app/main_window.h"

#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/live_pause.h"

#include <QLabel>
#include <QScopeGuard>
#include <QSlider>
#include <algorithm>

std::chrono::milliseconds TForm1::SlidePauseUnit{250};

// One show, from Slide until it has returned: what ended it and the pause it waits in.
struct TForm1::SlideRun {
    // Stop was clicked: the show returns at its next step, showing the drawing selected then.
    bool stopped = false;
    // Ended from outside (a folder change, an erase, a close): the show returns, touching nothing.
    bool abandoned = false;
    kvx::LivePause pause;
};

void TForm1::SpeedButton3Click() {
    // One show at a time: Slide also waits while a stopped show finishes its step.
    if (m_slideRun || FileListBox1->count() == 0 || !commandState().slide.enabled)
        return;
    const std::chrono::milliseconds pause = SlidePauseUnit * TrackBar1->value();
    // With nothing selected the show starts at the first drawing.
    const int first = std::max(FileListBox1->itemIndex(), 0);
    const int last = FileListBox1->count() - 1;
    // Ends last, so that a close it carries out finds no show.
    const Running show(this, kvx::Operation::Show);
    SlideRun run;
    m_slideRun = &run;
    const auto runEnds = qScopeGuard([this] { m_slideRun = nullptr; });
    Label5->show();

    for (int i = first; i <= last; ++i) {
        // Ended from outside, or the list shrank under the show: nothing more to show.
        if (run.abandoned || i >= FileListBox1->count())
            return;
        FileListBox1->setItemIndex(i); // no click: the selection handler does not run
        const kvx::DrawingIdentity id =
            kvx::IdentifyDrawingVersion(FileListBox1->selectedNativePath());
        if (run.stopped) {
            // The selected drawing is the one shown, so that every command acts on it.
            FileListBox1Click();
            return;
        }
        showDrawing(id.offered);
        run.pause.wait(pause);
    }
}

void TForm1::SpeedButton4Click() {
    if (!m_slideRun || m_slideRun->stopped)
        return;
    m_slideRun->stopped = true;
    m_slideRun->pause.interrupt();
    Busy.stopping();
    updateCommandButtons();
}

void TForm1::endSlideShow() {
    if (!m_slideRun)
        return;
    m_slideRun->abandoned = true;
    SpeedButton4Click();
}

bool TForm1::slideShowRunning() const {
    // A stopped show may still be finishing its step; it shows nothing more.
    return m_slideRun && !m_slideRun->stopped;
}
