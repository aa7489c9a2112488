#include "app/SeveralFlights.h"

#include <algorithm>
#include <cstdio>

#include "app/FlightStatistics.h"
#include "geo/MapFrame.h"

int LoadFlights(const std::vector<const char*>& paths, const char* samples, FlightFiles flightFiles, std::vector<StoredFlight>* flights)
{
    flights->clear();
    if (paths.size() > MostFlights)
    {
        fprintf(stderr, "%zu flights given: the player shows at most %zu at once\n", paths.size(), MostFlights);
        return -1;
    }
    FlightExtent all{};
    for (size_t i = 0; i < paths.size(); ++i)
    {
        // The column kinds of one log must not pass for another's.
        if (i > 0)
            ResetScanner();
        const int status = LoadFlightLog(paths[i], i == 0 ? samples : nullptr, flightFiles);
        if (status != 0)
        {
            fprintf(stderr, "'%s' (flight %zu of %zu) cannot be shown\n", paths[i], i + 1, paths.size());
            flights->clear();
            return status;
        }
        StoredFlight flight;
        flight.path = paths[i];
        flight.table = CopyOfSampleTable();
        if (!flight.table)
        {
            fprintf(stderr, "'%s' (flight %zu of %zu): no memory is left to keep it\n", paths[i], i + 1, paths.size());
            flights->clear();
            return -4;
        }
        flight.columns = SaveScannedColumns();
        flight.events = LoadedFlightEvents();
        flight.extent = ComputeFlightStatistics();
        if (i == 0)
            all = flight.extent;
        all.latitudeMinimum = std::min(all.latitudeMinimum, flight.extent.latitudeMinimum);
        all.latitudeMaximum = std::max(all.latitudeMaximum, flight.extent.latitudeMaximum);
        all.longitudeMinimum = std::min(all.longitudeMinimum, flight.extent.longitudeMinimum);
        all.longitudeMaximum = std::max(all.longitudeMaximum, flight.extent.longitudeMaximum);
        flights->push_back(std::move(flight));
    }
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(all, &centreLatitude, &centreLongitude);
    printf("%zu flights: lat(mn,mx)=(%f %f) lon(mn,mx)=(%f %f)\n", flights->size(), all.latitudeMinimum / 60, all.latitudeMaximum / 60, all.longitudeMinimum / 60,
           all.longitudeMaximum / 60);
    printf("1/k=%f (center lat,lon=%f %f)\n", MetresPerTile(centreLatitude), centreLatitude, centreLongitude);
    SetUpMapFrame(centreLatitude, centreLongitude);
    printf("CI,CJ=%ld %ld\n", static_cast<long>(MapFrame.CI), static_cast<long>(MapFrame.CJ));
    return 0;
}

void PutFlightInTable(const StoredFlight& flight)
{
    LoadSampleTable(*flight.table);
    RestoreScannedColumns(flight.columns);
}
