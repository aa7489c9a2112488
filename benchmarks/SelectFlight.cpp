// The time the player takes to select the next of several flights: loads the same log as 16
// flights, as the player does, and selects the next one 64 times round, printing the median
// and the slowest in milliseconds.
//
//   flightreplay-selectflight LOG
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "flight/LoadedFlight.h"
#include "player/PlayerSession.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: flightreplay-selectflight LOG\n");
        return 2;
    }
    const std::vector<const char*> paths(MostFlights, argv[1]);
    std::vector<LoadedFlight> flights;
    MapFrameValues frame;
    if (LoadFlights(paths, nullptr, FlightFiles::Refuse, &flights, &frame) != 0)
        return 1;
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions(), flights, frame);
    std::vector<double> milliseconds;
    for (int i = 0; i < 64; ++i)
    {
        const auto start = std::chrono::steady_clock::now();
        session->SelectNextFlight();
        milliseconds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    fprintf(stderr, "select the next of %zu flights of %d rows: median %.3f ms, slowest %.3f ms\n", flights.size(), static_cast<int>(session->Shown().rows.size()), milliseconds[milliseconds.size() / 2],
            milliseconds.back());
    return 0;
}
