#pragma once
// The designed layout of the forms, as rows the window tests compare controls against.

#include <QRect>

namespace layout {

enum Flag : int {
    None = 0,
    Bold = 1,
    Hidden = 2,
    Disabled = 4,
    Checked = 8,
    AutoSize = 16, // label that may grow to show its whole text
    Yields = 32,   // edit box that gives up width to the caption before it
    Taller = 64,   // label as tall as its line needs, downwards, inside its group
};

struct Row {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* text; // caption or title; nullptr: not checked
    const char* hint; // tool tip; nullptr: none
    int flags;
};

} // namespace layout
