#pragma once
#include <vector>

#include "batch/CommandReport.h"
#include "flight/LoadedFlight.h"
#include "record/RecordOptions.h"
#include "record/RecordingCamera.h"

// Renders `flights` (at least one) drawn in `frame` to the video or frames the options name, frame by frame at fixed steps of replay time, in
// an offscreen graphics context: on the display there is, or on a private Xvfb when there
// is none. The scene is the player's, seen by the chosen camera, with the player's display
// over it unless it is turned off.
//
// Prints the output's path, frame count and duration on standard output when done, and
// progress on standard error while rendering. Returns `report`'s Finish (a report of its own
// without one, which prints nothing): done; a usage error when the span holds no frame or
// the output is refused; a transient failure when no display or OpenGL context could be had
// or the encoder or the disk gave out; interrupted (ExitInterrupted) when SIGINT, SIGTERM or
// SIGHUP stopped it. Unless done, nothing is left under the output's name.
// Given two flights or more (LoadFlights), renders them together on their common clock, the
// first one selected.
int RecordFlight(const RecordOptions& options, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame, CommandReport* report = nullptr);

// Set in the environment, the recording writes each frame before it draws the next
// instead of handing it to a writer thread (to measure what the thread saves), and prints
// where the time went: drawing, read-back and waiting for the encoder.
const char* const RecordSyncVariable = "FLIGHTREPLAY_RECORD_SYNC";
const char* const RecordProfileVariable = "FLIGHTREPLAY_RECORD_PROFILE";

// A flight as the recording's cameras see it: the aircraft where the player's scene puts it in
// `frame`, over the ground as drawn; `rowSeconds` is the clock's step.
CameraSubject CameraSubjectOf(const LoadedFlight& flight, const MapFrameValues& frame, double rowSeconds);
