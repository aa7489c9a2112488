#pragma once

// Value RunViewer returns when no graphics window could be opened.
const int ViewerNoWindow = -5;

// Opens the viewer on the scene and runs its frame loop until the user ends it. Returns
// the frame loop's result, or ViewerNoWindow when no window could be realised (the reason
// is printed on stderr).
int RunViewer();
