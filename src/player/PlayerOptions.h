#pragma once
#include <string>
#include <vector>

#include "scene/TrackColouring.h"

// What the player and its recorder show beside the flight, chosen on the command line:
//
//   --plot LIST          the plot strip, open, with these series (PlotSeries.h), comma separated
//   --colour-track WHAT  the track coloured by altitude, speed, climb or mode, with a legend
struct PlayerViewOptions
{
    std::vector<std::string> plots; // empty: the strip starts closed
    TrackColourBy colourBy = TrackColourBy::None;
};

// Whether `option` is one of these options (each takes a value).
bool IsPlayerViewOption(const char* option);

// Reads the option's value into `options`; false with `error` saying why it is wrong.
bool ReadPlayerViewOption(const char* option, const char* value, PlayerViewOptions* options, std::string* error);

// The usage line of these options.
const char* PlayerViewUsage();
