// The View tab's slide show: the folder's drawings from the selected one to the last, one
// pause apart, with Stop in the Slide button's place while it runs.

#include "app/main_window.h"

#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/live_pause.h"

#include <QFile>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <algorithm>

std::chrono::milliseconds TForm1::SlidePauseUnit{250};

namespace {

// 0 while a show runs, 1 once Stop has been clicked.
int SlideStop = 0;
// Set by endSlideShow: the show returns at its next step without touching the list.
bool SlideAbandoned = false;
bool SlideRunning = false;
// A close request came during the show; the window closes once the show has returned.
bool CloseAfterShow = false;
kvx::LivePause SlidePause;

} // namespace

void TForm1::SpeedButton3Click() {
    if (FileListBox1->count() == 0 || SlideRunning)
        return;
    Label5->show();
    SpeedButton4->setEnabled(true);
    SpeedButton4->show();
    SpeedButton1->setEnabled(false);
    SpeedButton2->setEnabled(false);
    SpeedButton3->setEnabled(false);
    SpeedButton3->hide();
    SpeedButton6->setEnabled(false);

    const std::chrono::milliseconds pause = SlidePauseUnit * TrackBar1->value();
    // With nothing selected the show starts at the first drawing.
    const int first = std::max(FileListBox1->itemIndex(), 0);
    const int last = FileListBox1->count() - 1;
    SlideStop = 0;
    SlideAbandoned = false;
    SlideRunning = true;

    // However the show ends, the buttons come back, no state of it outlives it, and a close
    // asked for meanwhile goes ahead.
    struct ShowEnd {
        TForm1* form;
        ~ShowEnd() {
            SlideRunning = false;
            if (SlideStop == 0) // ran out, or left by an error: Stop has not restored them
                form->SpeedButton4Click();
            if (CloseAfterShow) {
                CloseAfterShow = false;
                form->close();
            }
        }
    } end{this};

    for (int i = first; i <= last; ++i) {
        // Ended from outside, or the list shrank under the show: nothing more to show.
        if (SlideAbandoned || i >= FileListBox1->count())
            return;
        FileListBox1->setItemIndex(i); // no click: the selection handler does not run
        const kvx::DrawingIdentity id =
            kvx::IdentifyDrawingVersion(FileListBox1->selectedNativePath());
        // After Stop the selected drawing is the one shown, so that every command acts on it.
        if (SlideStop == 1) {
            FileListBox1Click();
            return;
        }
        showDrawing(id.offered);
        SlidePause.wait(pause);
    }
}

void TForm1::SpeedButton4Click() {
    SlideStop = 1;
    SlidePause.interrupt();
    SpeedButton1->setEnabled(true);
    SpeedButton2->setEnabled(true);
    SpeedButton1->show();
    SpeedButton2->show();
    SpeedButton4->setEnabled(false);
    SpeedButton4->hide();
    SpeedButton3->setEnabled(true);
    SpeedButton3->show();
    SpeedButton6->setEnabled(true);
    SpeedButton6->show();
}

void TForm1::endSlideShow() {
    if (!SlideRunning)
        return;
    SlideAbandoned = true;
    SpeedButton4Click();
}

bool TForm1::slideShowRunning() const {
    // A stopped show may still be finishing its step; it shows nothing more.
    return SlideRunning && SlideStop == 0;
}

bool TForm1::deferCloseToSlideShow() {
    if (!SlideRunning)
        return false;
    CloseAfterShow = true;
    endSlideShow();
    return true;
}
