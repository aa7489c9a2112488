#pragma once
#include <string>
#include <vector>

#include "plan/FlightPlan.h"
#include "player/FlightsOnClock.h"
#include "player/VehicleModels.h"
#include "scene/TrackColouring.h"

class CommandLine; // cli/CommandLine.h, which the code that parses includes
struct CameraModel; // check/PhotoCheck.h

// A common small camera's diagonal angle of view, degrees (24 mm on 35 mm film).
const double DefaultCameraFov = 84.0;

// What the player and its recorder show beside the flight, chosen on the command line:
//
//   --plot LIST          the plot strip, open, with these series (PlotSeries.h), comma separated
//   --colour-track WHAT  the track coloured by altitude, speed, climb, mode or any column the
//                        flight carries, with a legend
//   --align WHEN         several flights lined up by time of day, at take-off or at the start
//   --plan FILE          a plan, waypoint list or glider task drawn for the first flight, its
//                        layers in place of the flight's own
//   --airspace FILE      OpenAir airspace drawn around the flights
//   --video CLIP         the first flight's onboard video in a panel, on the replay's clock
//   --video-offset S     the flight's second at which the clip begins, over the sync beside it
//   --fov DEGREES        the camera's diagonal angle of view, where the flight file gives none
//   --photo-camera NAME  the camera of the flight's photos, for their footprints' angles of view
struct PlayerViewOptions
{
    std::vector<std::string> plots; // empty: the strip starts closed
    TrackColourBy colourBy = TrackColourBy::None;
    std::string colourColumn = {}; // for TrackColourBy::Column: the plot series' word ("voltage1", "height")
    FlightAlignment alignment = FlightAlignment::Automatic;
    std::string planFile = {}; // empty: none; read on the command line to refuse a bad one there
    // --airspace's airspaces, read on the command line, and the notes of what the reader left out.
    FlightPlan airspace = {};
    std::string video = {}; // empty: none
    bool videoOffsetGiven = false;
    double videoOffset = 0.0;
    // --fov: the camera's diagonal angle of view in degrees, where the flight file gives none.
    double cameraFov = DefaultCameraFov;
    VehicleKind vehicle = VehicleKind::Unknown; // --vehicle, over each flight's own
    ModelChoice model = {};                     // --model, --model-scale, --model-rotate
    // --photo-camera: the camera of the table in check/PhotoCheck.h; null for --fov's angles.
    const CameraModel* photoCamera = nullptr;
};

// The player's command line:
//
//   flightreplay-player LOG|FLIGHT... [--samples LIST] [--plot LIST] [--colour-track WHAT] [--align WHEN]
//       [--plan FILE] [--airspace FILE] [--video CLIP [--video-offset SECONDS]] [--fov DEGREES] [--photo-camera NAME]
//       [--vehicle KIND] [--model FILE [--model-scale FACTOR] [--model-rotate YAW,PITCH,ROLL]]
//
// the flights (a keyword log or any flight file `track` reads, up to MostFlights), the
// selection of sample numbers the replay takes (--samples, for every flight), and the view.
struct PlayerOptions
{
    std::vector<std::string> flights;
    std::string samples; // empty: every sample
    PlayerViewOptions view;
};

// The player's exit status for a command line it does not understand: the replay's for a
// usage error (-1 from main).
const int PlayerUsageStatus = 255;

// Adds the player's options to its command line (cli/CommandLine.h), to fill `options` as it
// parses; the recorder adds its own beside them (record/RecordOptions.h).
void AddPlayerOptions(CommandLine& line, PlayerOptions* options);
