#include "app/FlightLoading.h"

#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "app/FlightStatistics.h"
#include "app/RangeListParser.h"
#include "geo/MapFrame.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "log/SampleTablePrefetch.h"

// A directory opens for reading on Linux but yields only a read error; it is no log.
static FILE* OpenLog(const char* path)
{
    FILE* log = fopen(path, "r");
    if (!log)
        return nullptr;
    struct stat status;
    if (fstat(fileno(log), &status) == 0 && S_ISDIR(status.st_mode))
    {
        fclose(log);
        return nullptr;
    }
    return log;
}

void ScanFlightLog(FILE* log)
{
    ResetSampleTable();
    currentColumn = 0;
    SetScanInput(log);
    SampleTablePrefetch prefetch;
    scan();
}

bool LoadFlightQuietly(const char* path)
{
    FILE* log = OpenLog(path);
    if (!log)
        return false;
    ScanFlightLog(log);
    fclose(log);
    if (SampleTable.rowCount < 1)
        return false;
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(ComputeFlightStatistics(), &centreLatitude, &centreLongitude);
    SetUpMapFrame(centreLatitude, centreLongitude);
    return true;
}

void PrintTableOverflow()
{
    if (SampleTable.droppedRows > 0)
        printf("Table full: %ld more rows not loaded (room for %ld)\n", static_cast<long>(SampleTable.droppedRows), static_cast<long>(RowCapacity));
}

double LatitudeBeyondMap()
{
    double farthest = 0.0;
    for (int32_t i = 0; i < SampleTable.rowCount; ++i)
    {
        const double latitude = SampleTable.rows[i].gps_curlat / 60.0;
        if (std::fabs(latitude) > MapLatitudeLimit && std::fabs(latitude) > std::fabs(farthest))
            farthest = latitude;
    }
    return farthest;
}

int ReadFlightArguments(const char* program, const std::vector<const char*>& arguments, FlightSelection* selection)
{
    if (arguments.empty())
    {
        printf("U: %s avlog.log [--samples beg1-end1,beg2-end2,...]\n", program);
        return -1;
    }
    selection->log = arguments[0];
    selection->samples = nullptr;
    if (arguments.size() >= 2)
    {
        if (strcmp(arguments[1], "--samples") != 0)
        {
            printf("arg. '%s' - undefined\n", arguments[1]);
            return -3;
        }
        if (arguments.size() == 2)
        {
            printf("--samples req. args: beg1-end1,beg2-end2,...\n");
            return -2;
        }
        selection->samples = arguments[2];
    }
    return 0;
}

int LoadFlightLog(const char* path, const char* samples)
{
    if (samples)
    {
        if (ParseRangeList(samples) == 0)
        {
            printf("Q.samples==0, using 0-100000\n");
            RangeList.entries[0] = SampleRange{0, 100000};
            RangeList.count = 1;
        }
        printf("Select samplenumber:\n");
        for (int32_t i = 0; i < RangeList.count; ++i)
            printf("%ld < samplenumber < %ld\n", static_cast<long>(RangeList.entries[i].begin), static_cast<long>(RangeList.entries[i].end));
    }

    FILE* log = OpenLog(path);
    if (!log)
    {
        printf("Not open '%s'\n", path);
        return -2;
    }
    ScanFlightLog(log);
    fclose(log);
    PrintTableOverflow();

    for (int32_t i = 0; i <= highestColumn; ++i)
        printf("cols[%d]=%d\n", i, cols[i]);

    printf("selected %ld row\n", static_cast<long>(SampleTable.rowCount));
    if (SampleTable.rowCount < 1)
    {
        printf("Need rows >0, Exit\n");
        return -4;
    }

    const FlightExtent extent = ComputeFlightStatistics();
    printf("lat(mn,mx)=(%f %f)\n", extent.latitudeMinimum / 60, extent.latitudeMaximum / 60);
    printf("lon(mn,mx)=(%f %f)\n", extent.longitudeMinimum / 60, extent.longitudeMaximum / 60);
    printf("time(mn,mx)=(%f %f)\n", SampleTable.timeMinimum, SampleTable.timeMaximum);
    printf("sum(time)/sum(sn)=%f\n", SampleTable.SampleStep);

    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(extent, &centreLatitude, &centreLongitude);
    printf("1/k=%f (center lat,lon=%f %f)\n", MetresPerTile(centreLatitude), centreLatitude, centreLongitude);
    SetUpMapFrame(centreLatitude, centreLongitude);
    printf("CI,CJ=%ld %ld\n", static_cast<long>(MapFrame.CI), static_cast<long>(MapFrame.CJ));
    // Off the transcript: the replay's own lines stay as they are, but an empty world must
    // not go without a word.
    if (const double latitude = LatitudeBeyondMap())
        fprintf(stderr, "'%s' reaches %.4f\u00b0 %c, beyond the map's latitude limit of \u00b1%.4f\u00b0: the map has no tiles there, so no ground is drawn under the flight\n", path, std::fabs(latitude), latitude > 0.0 ? 'N' : 'S', MapLatitudeLimit);
    return 0;
}
