#pragma once
#include <string>
#include <vector>

#include "player/FlightsOnClock.h"
#include "scene/TrackColouring.h"

// What the player and its recorder show beside the flight, chosen on the command line:
//
//   --plot LIST          the plot strip, open, with these series (PlotSeries.h), comma separated
//   --colour-track WHAT  the track coloured by altitude, speed, climb or mode, with a legend
//   --align WHEN         several flights lined up by time of day, at take-off or at the start
struct PlayerViewOptions
{
    std::vector<std::string> plots; // empty: the strip starts closed
    TrackColourBy colourBy = TrackColourBy::None;
    FlightAlignment alignment = FlightAlignment::Automatic;
};

// Whether `option` is one of these options (each takes a value).
bool IsPlayerViewOption(const char* option);

// Reads the option's value into `options`; false with `error` saying why it is wrong.
bool ReadPlayerViewOption(const char* option, const char* value, PlayerViewOptions* options, std::string* error);

// The usage line of these options.
const char* PlayerViewUsage();
