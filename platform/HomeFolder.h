#pragma once

#include <string>
#include <vector>

// The home folders a rule about "the home folder" must respect: $HOME when it is set and not
// empty, and the real user's home from the password database (getpwuid_r of getuid()), each
// once. Empty when neither is known. Read afresh at every call: a guard built on it does not
// depend on the environment alone.
std::vector<std::string> HomeFolders();

// The home folder that defaults are made from (~/.config, ~/.cache): $HOME when set and not
// empty, otherwise the password database's; empty when neither is known.
std::string HomeFolder();

// Without HOME (a cron job, a service started bare) Qt would take "/" for the home folder and
// look for ~/.config and ~/.cache there: sets HOME to the password database's home instead.
// Leaves a set HOME alone.
void FillMissingHome();
