#pragma once

class QWidget;

namespace kestrum {

// What the window system lets a skinned window do with its own outline and state. X11 cuts a window to
// any shape and lets a client un-minimize itself; a Wayland compositor does neither: there a window's
// corners are made see-through by painting them with alpha, and the cut shape only bounds the input.
class TOrvWindowShape {
public:
    // Whether a window mask cuts what the window system shows (X11, and the offscreen test platform,
    // which grabs through the mask).
    static bool CanShape();
    // Whether a minimized window can bring itself back (setWindowState); otherwise it has to be mapped anew.
    static bool CanUnminimize();
    // Prepares a frameless top-level for see-through corners where masks do not cut. Must run before the
    // window is first shown (the pixel format of the surface is chosen then). True when it was needed.
    static bool PrepareTranslucentCorners(QWidget& form);
    // Minimizes a window that has just been shown. A compositor ignores the request before the window is
    // on screen, so where the state cannot be had at once it is asked for at the window's first exposure.
    static void MinimizeShownWindow(QWidget& form);
};

} // namespace kestrum
