#pragma once

// Creates the six windows in the order MainForm, FindForm, AboutBox, OptionsForm, AddMaskForm,
// AddExceptionForm; each runs its FormCreate during creation (a failure there is shown in the
// error box, skips the rest of that FormCreate, and start-up goes on).
void CreateForms();

// Destroys the six windows and clears the variables.
void DestroyForms();

// The program entry: parses the command line, sets the application title, creates the windows,
// shows the main window and runs the event loop. Returns the exit status.
int RunProgram(int argc, char** argv);
