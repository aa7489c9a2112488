#pragma once

// Exit status of the data tool for a command line it does not understand.
const int DataToolUsage = 2;

// The companion command: plan, dem, imagery, track and check (see the usage text). argv[0] is the
// program name. Returns the process exit status.
int RunDataTool(int argc, char** argv);
