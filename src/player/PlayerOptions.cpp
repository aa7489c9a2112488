#include "player/PlayerOptions.h"

#include <cstring>

#include "player/PlotSeries.h"

bool IsPlayerViewOption(const char* option)
{
    return strcmp(option, "--plot") == 0 || strcmp(option, "--colour-track") == 0 || strcmp(option, "--align") == 0;
}

bool ReadPlayerViewOption(const char* option, const char* value, PlayerViewOptions* options, std::string* error)
{
    std::string why;
    if (strcmp(option, "--plot") == 0)
    {
        if (ParsePlotList(value, &options->plots, &why))
            return true;
        why += " (altitude, height, speed, climb, attitude or a column's keyword, at most 4, comma separated)";
    }
    else if (strcmp(option, "--align") == 0)
    {
        if (ParseFlightAlignment(value, &options->alignment))
            return true;
        why = "is time, takeoff or start";
    }
    else if (ParseTrackColourBy(value, &options->colourBy) && options->colourBy != TrackColourBy::None)
        return true;
    else
        why = "is altitude, speed, climb or mode";
    *error = std::string(option) + " '" + value + "': " + why;
    return false;
}

const char* PlayerViewUsage()
{
    return "           [--plot altitude,height,speed,climb,attitude,KEYWORD] [--colour-track altitude|speed|climb|mode]\n"
           "           [--align time|takeoff|start]\n";
}
