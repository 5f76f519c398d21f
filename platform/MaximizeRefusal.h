#pragma once

class QWidget;

// Keeps a window whose flags offer no maximize button from staying maximized. Qt's own title
// bars (Wayland) offer the button on every window, and the request reaches the compositor
// before the program hears of it; weston then ends a client whose window does not take the
// maximized size. So the window takes that size for the moment it is maximized, is put back
// to normal at once, and gets its fixed size again. Call once the native window exists.
void RefuseMaximize(QWidget* window);
