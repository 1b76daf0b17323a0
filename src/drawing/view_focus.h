#pragma once
// The style's focus mark around a folder tree or a file list that has the keyboard focus: the
// views mark only their current row, and a selected row hides that mark.

class QAbstractScrollArea;

namespace kvx {

// Draws the mark on the view's viewport; call last in the view's paintEvent.
void paintViewFocus(QAbstractScrollArea* view);

} // namespace kvx
