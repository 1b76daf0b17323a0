#pragma once
// Where the user's desktop folder is, as the desktop's own tools find it.

#include <QString>

namespace kvx {

// $XDG_DESKTOP_DIR as ~/.config/user-dirs.dirs (or the environment) sets it, else
// ~/Desktop when it exists, else the home folder.
QString desktopFolder();

// The value of `key` in a user-dirs.dirs text ("$HOME/Desktop" style, $HOME expanded),
// or an empty string.
QString userDirFromText(const QString& text, const QString& key, const QString& home);

} // namespace kvx
