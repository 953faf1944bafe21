// The update check's outcome brought to the author: once per process, on the editor's main thread, a
// box and, for an update, a badge painted on the object's icon.
#pragma once

namespace Polvane {

// Called by EditorDisplay before it draws the icon (the state object and its icon exist then). Returns
// at once while the worker has no outcome yet, so a later display tries again; the first display after
// the outcome shows it, and every display after that shows nothing.
void ShowUpdateNotice();

} // namespace Polvane
