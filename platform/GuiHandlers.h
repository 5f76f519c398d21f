#pragma once

// Real message boxes (QMessageBox with no owner window, one OK button) in place of the
// standard-error printer, for runs with a display.
void InstallGuiMessageBoxes();

// Opening documents and web addresses through the desktop (QDesktopServices); executables are
// started with their arguments.
void InstallDesktopShellOpen();
