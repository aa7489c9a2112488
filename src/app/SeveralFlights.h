#pragma once
#include <string>
#include <vector>

#include "app/FlightLoading.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"

// Several flights in one run, for the player's comparisons. The loading step reads one log
// into the process-wide table; each flight is kept in a table of its own once loaded, and put
// back in the process-wide table when it is the one being studied, so that everything that
// reads that table (the display, the plots, the events) reads it.

const size_t MostFlights = 16;

struct StoredFlight
{
    std::string path; // as the command line named it
    SampleTableInstance table;
    ScannedColumns columns;
    std::vector<FlightEvent> events;
    FlightExtent extent{};
};

// Loads each flight as LoadFlightLog does, with its whole transcript in turn (the selection
// printed once, for the first; every flight is read through it), keeps it, and then fixes the
// map frame on the extent of them all, printing that frame as the transcript prints a
// flight's, after a line that counts the flights. The last flight stays in the table.
// Returns 0, or the status of the first flight that cannot be loaded, after a line on stderr
// that names it; -1 for more than MostFlights files, after a line on stderr.
int LoadFlights(const std::vector<const char*>& paths, const char* samples, FlightFiles flightFiles, std::vector<StoredFlight>* flights);

// Puts `flight` in the process-wide table and its columns in the scanner's table. The
// loaded events (LoadedFlightEvents) stay those of the last flight loaded.
void PutFlightInTable(const StoredFlight& flight);
