#pragma once
#include <vector>

#include "app/SeveralFlights.h"
#include "player/PlayerOptions.h"

// The player's viewer: the replay's own (viewer/FlightViewer.h: same scene, window, camera
// modes and keys), with the aircraft moved by the player's clock instead of the looping
// path, the transport keys, the heads-up display and seeking on its timeline. For
// RunFlightProgram (app/Driver.h); returns as RunViewer does.
int RunPlayerViewer();

// What the next RunPlayerViewer shows beside the flight: its plots, its track's colours.
void SetPlayerViewOptions(const PlayerViewOptions& options);

// The flights the next RunPlayerViewer shows together (LoadFlights), kept by the caller while
// it runs; null or one flight: the loaded flight alone.
void SetPlayerFlights(const std::vector<StoredFlight>* flights);
