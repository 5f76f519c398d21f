#pragma once

// SIGTERM, SIGINT and SIGHUP (a stopped service, Ctrl-C, a closed terminal) end the run the way
// the program's end does: every wait gives up, a helper still busy is killed, what it did not
// do is reported as not done, nothing more is deleted, and everything is written before the
// program ends with status 1. Call once the application exists.
void EndOnTerminationSignals();

// A signal asked the program to end.
bool TerminationRequested();
