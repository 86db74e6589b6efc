// The tool windows' end of a run on their status strip: the saved output's name with the
// length its reader announces, measured on a worker when the type needs a whole read.
//
// Threading: GUI thread. The strip is a Qt child of its window; a measure that ends after
// the strip is gone shows nothing.
#pragma once

#include <QString>

namespace sundral {

class TRunStatus;

// Shows "Saved NAME (TIME)" on Status once Path is measured; a file that cannot be measured
// shows with no length ("00:00:00.0") rather than not at all.
void ShowSavedOutput(TRunStatus& Status, const QString& Path);

} // namespace sundral
