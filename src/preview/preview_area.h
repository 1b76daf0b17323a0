#pragma once
// What the preview area shows, drawn by one function for the window and for the report: the
// drawing's stored picture on its background colour, the note that none is stored, or a
// notice in its place. GUI-free (QtGui only), so a report's picture can be drawn on any thread.

#include "preview/rgb_picture.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QPainter;

namespace kvx {

struct PreviewResult;

// What the area says of a drawing that stores no picture.
extern const char* const kNoPreviewNote;
// The notices in the picture's place: a release older than the stored pictures, a damaged file.
extern const char* const kOlderReleaseNotice;
extern const char* const kDamagedNotice;

// The area's size, in pixels, on screen and in a report.
constexpr int kPreviewAreaWidth = 252;
constexpr int kPreviewAreaHeight = 126;

struct PreviewAreaContent {
    enum class Kind {
        Empty,     // nothing: the window colour
        Picture,   // the stored picture, centred on its background colour
        NoPicture, // the drawing stores none: a note on the window colour
        Notice,    // a notice in the picture's place (an old or a damaged drawing)
    };
    Kind kind = Kind::Notice;
    QImage scaled;     // Picture: the picture at its size in the area, in RGB32
    QColor background; // Picture: the colour around it
    QString notice;    // Notice: the text
};

// The colours and fonts the area is drawn with: the window's for the screen, the light ones
// for a report, so that a report is the same picture in every desktop theme.
struct PreviewAreaLook {
    QColor window = Qt::white;     // behind the note
    QColor windowText = Qt::black; // the note's colour
    QFont noteFont;                // "No preview stored"
    QFont noticeFont;              // a notice: bold, 16 pixels, black on white
};

// The look of a report picture: the light palette's colours and the application's fonts.
PreviewAreaLook reportPictureLook();

// The content for a reader's result: the picture fitted into the area (enlarged when
// `magnify` and the picture was not already reduced while read), or the note. A damaged
// drawing gives `damagedNotice`.
PreviewAreaContent previewContentOf(PreviewResult& result, bool magnify,
                                    const QString& damagedNotice);

// The picture fitted into width x height, as the area shows it.
QImage fittedPreview(const RgbPicture& picture, int width, int height, bool enlarge);

// Paints the area's content into `area` (its size: the area's).
void paintPreviewArea(QPainter& painter, const QRect& area, const PreviewAreaContent& content,
                      const PreviewAreaLook& look);

// The area as a 252 x 126 RGB888 picture: what a report shows.
QImage previewAreaPicture(const PreviewAreaContent& content, const PreviewAreaLook& look);

} // namespace kvx
