#pragma once

// flightreplay-data export FLIGHT --to FORMAT [--out PATH] [--json]: the flight written for other
// programs (export/FlightExport.h), whole or not at all. Returns the exit status.
int RunExportCommand(int argc, char** argv);
