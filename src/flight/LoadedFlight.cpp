#include "flight/LoadedFlight.h"

#include <algorithm>
#include <cstdio>

bool LoadedFlight::Names(int32_t kind) const
{
    return kind > 0 && std::find(columns.begin(), columns.end(), kind) != columns.end();
}

MapFrameValues LoadedFlight::Frame() const
{
    double latitude = 0.0;
    double longitude = 0.0;
    FlightCentre(summary.extent, &latitude, &longitude);
    return MapFrameOn(latitude, longitude);
}

static FlightExtent ExtentOfAll(const std::vector<LoadedFlight>& flights)
{
    FlightExtent all = flights.front().summary.extent;
    for (const LoadedFlight& flight : flights)
    {
        all.latitudeMinimum = std::min(all.latitudeMinimum, flight.summary.extent.latitudeMinimum);
        all.latitudeMaximum = std::max(all.latitudeMaximum, flight.summary.extent.latitudeMaximum);
        all.longitudeMinimum = std::min(all.longitudeMinimum, flight.summary.extent.longitudeMinimum);
        all.longitudeMaximum = std::max(all.longitudeMaximum, flight.summary.extent.longitudeMaximum);
    }
    return all;
}

MapFrameValues FrameOnAll(const std::vector<LoadedFlight>& flights)
{
    double latitude = 0.0;
    double longitude = 0.0;
    FlightCentre(ExtentOfAll(flights), &latitude, &longitude);
    return MapFrameOn(latitude, longitude);
}

int LoadFlights(const std::vector<const char*>& paths, const char* samples, FlightFiles flightFiles, std::vector<LoadedFlight>* flights, MapFrameValues* frame)
{
    flights->clear();
    if (paths.size() > MostFlights)
    {
        fprintf(stderr, "%zu flights given: the player shows at most %zu at once\n", paths.size(), MostFlights);
        return -1;
    }
    for (size_t i = 0; i < paths.size(); ++i)
    {
        LoadedFlight flight;
        const int status = LoadFlight(paths[i], i == 0 ? samples : nullptr, flightFiles, LoadReport::Transcript, &flight);
        if (status != 0)
        {
            fprintf(stderr, "'%s' (flight %zu of %zu) cannot be shown\n", paths[i], i + 1, paths.size());
            flights->clear();
            return status;
        }
        flights->push_back(std::move(flight));
    }
    const FlightExtent all = ExtentOfAll(*flights);
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(all, &centreLatitude, &centreLongitude);
    printf("%zu flights: lat(mn,mx)=(%f %f) lon(mn,mx)=(%f %f)\n", flights->size(), all.latitudeMinimum / 60, all.latitudeMaximum / 60, all.longitudeMinimum / 60,
           all.longitudeMaximum / 60);
    printf("1/k=%f (center lat,lon=%f %f)\n", MetresPerTile(centreLatitude), centreLatitude, centreLongitude);
    *frame = MapFrameOn(centreLatitude, centreLongitude);
    printf("CI,CJ=%ld %ld\n", static_cast<long>(frame->CI), static_cast<long>(frame->CJ));
    return 0;
}
