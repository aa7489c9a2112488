#pragma once
#include <vector>

#include "flight/LoadedFlight.h"
#include "player/PlayerOptions.h"

// The player's viewer: the replay's own (viewer/FlightViewer.h: same scene, window, camera
// modes and keys), with the aircraft moved by the player's clock instead of the looping
// path, the transport keys, the heads-up display and seeking on its timeline, over `flights`
// (at least one; several on one clock) drawn in `frame`. Returns as RunViewer does.
int RunPlayerViewer(const PlayerViewOptions& options, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame);
