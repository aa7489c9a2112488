#include "app/FlightStatistics.h"

#include <cstdint>

#include "log/SampleTable.h"

FlightExtent ComputeFlightStatistics()
{
    FlightExtent extent = {100000.0, -100000.0, 100000.0, -100000.0};
    SampleTable.timeMinimum = 1e20;
    SampleTable.timeMaximum = -1e20;

    int32_t stepCount = 0;
    double timeSum = 0.0;
    for (int32_t i = 0; i < SampleTable.rowCount; ++i)
    {
        const SampleRow& row = SampleTable.rows[i];
        if (i > 0)
        {
            const SampleRow& previous = SampleTable.rows[i - 1];
            if (static_cast<int64_t>(row.samplenumber) - previous.samplenumber == 1)
            {
                ++stepCount;
                timeSum += row.gps_time - previous.gps_time;
            }
        }
        // Strict comparisons: a NaN never replaces a stored extreme.
        if (row.gps_curlat < extent.latitudeMinimum)
            extent.latitudeMinimum = row.gps_curlat;
        if (row.gps_curlat > extent.latitudeMaximum)
            extent.latitudeMaximum = row.gps_curlat;
        if (row.gps_curlon < extent.longitudeMinimum)
            extent.longitudeMinimum = row.gps_curlon;
        if (row.gps_curlon > extent.longitudeMaximum)
            extent.longitudeMaximum = row.gps_curlon;
        if (row.gps_time < SampleTable.timeMinimum)
            SampleTable.timeMinimum = row.gps_time;
        if (row.gps_time > SampleTable.timeMaximum)
            SampleTable.timeMaximum = row.gps_time;
    }

    if (stepCount > 0)
        SampleTable.SampleStep = timeSum / stepCount;
    else if (SampleTable.rowCount > 1)
        SampleTable.SampleStep = (SampleTable.rows[SampleTable.rowCount - 1].gps_time - SampleTable.rows[0].gps_time) / (SampleTable.rowCount - 1);
    else
        SampleTable.SampleStep = 0.0;
    return extent;
}

void FlightCentre(const FlightExtent& extent, double* latitude, double* longitude)
{
    *latitude = (extent.latitudeMinimum + extent.latitudeMaximum) * 0.5 / 60;
    *longitude = (extent.longitudeMinimum + extent.longitudeMaximum) * 0.5 / 60;
}
