// The View tab's slide show: the folder's drawings from the selected one to the last, one
// pause apart, with Stop in the Slide button's place while it runs.

#include "app/main_window.h"

#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/live_pause.h"

#include <QLabel>
#include <QSlider>
#include <algorithm>

std::chrono::milliseconds TForm1::SlidePauseUnit{250};

namespace {

// Stop was clicked: the show returns at its next step, showing the drawing selected then.
bool SlideStop = false;
// Ended from outside (a folder change, an erase, a close): the show returns, touching nothing.
bool SlideAbandoned = false;
kvx::LivePause SlidePause;

} // namespace

void TForm1::SpeedButton3Click() {
    if (FileListBox1->count() == 0 || !commandState().slide.enabled)
        return;
    const std::chrono::milliseconds pause = SlidePauseUnit * TrackBar1->value();
    // With nothing selected the show starts at the first drawing.
    const int first = std::max(FileListBox1->itemIndex(), 0);
    const int last = FileListBox1->count() - 1;
    SlideStop = false;
    SlideAbandoned = false;
    const Running show(this, kvx::Operation::Show);
    Label5->show();

    for (int i = first; i <= last; ++i) {
        // Ended from outside, or the list shrank under the show: nothing more to show.
        if (SlideAbandoned || i >= FileListBox1->count())
            return;
        FileListBox1->setItemIndex(i); // no click: the selection handler does not run
        const kvx::DrawingIdentity id =
            kvx::IdentifyDrawingVersion(FileListBox1->selectedNativePath());
        if (SlideStop) {
            // The selected drawing is the one shown, so that every command acts on it.
            FileListBox1Click();
            return;
        }
        showDrawing(id.offered);
        SlidePause.wait(pause);
    }
}

void TForm1::SpeedButton4Click() {
    if (!Busy.active(kvx::Operation::Show))
        return;
    SlideStop = true;
    SlidePause.interrupt();
    Busy.stopping(kvx::Operation::Show);
    updateCommandButtons();
}

void TForm1::endSlideShow() {
    if (!Busy.active(kvx::Operation::Show))
        return;
    SlideAbandoned = true;
    SpeedButton4Click();
}

bool TForm1::slideShowRunning() const {
    // A stopped show may still be finishing its step; it shows nothing more.
    return Busy.active(kvx::Operation::Show);
}
