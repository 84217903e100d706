// VSTGUI's X11 back end closes its display connection when its last window
// closes. Cairo keeps the drawing device of every connection it has drawn on
// in a list until the device is finished, which VSTGUI 4.10 never does. A
// later window whose new connection happens to get the old one's address then
// finds the stale device and cairo aborts the process. Finishing the device
// before the last window closes takes it out of the list.
#pragma once

namespace b2 {

// Counts the editor windows of this module that are open.
void x11_window_opened();
// Call before the frame closes; finishes the device when this is the last.
void x11_window_closing();

}  // namespace b2
