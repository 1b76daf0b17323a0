#pragma once
// The name of a folder's compiled index: whether one can be made, and what it is. GUI-free.

#include <QString>

namespace kvx {

// With automatic naming any typed text is ignored. A typed name must be non-empty and a
// bare file name: a "/" would put the index outside the folder.
bool indexNameAccepted(bool autoName, const QString& typed);

// Automatic: the folder's path with every ":", "/" and "\" made "_", then ".chm"
// ("/home/user/Plans" gives "_home_user_Plans.chm"). Typed: the text as it stands, then
// ".chm" ("Plans.chm" gives "Plans.chm.chm").
QString indexFileName(bool autoName, const QString& folder, const QString& typed);

} // namespace kvx
