#pragma once

class QWidget;

// Paints a top-level window once more a moment after the window system first shows it. Under
// X11 with openbox, a box that appears wholly inside the frame of the program's main window
// while another window covers that one can stay black: its first picture never reaches the
// screen, and no later expose asks for another. Call it from the window's showEvent (the native
// window exists then); each showing gets its own repaint.
void RepaintOnceShown(QWidget* window);
