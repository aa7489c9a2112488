#include "flight/FlightStatistics.h"

#include <cstdint>

#include "log/SampleTable.h"

FlightExtent ComputeFlightStatistics()
{
    const FlightSummary summary = SummariseFlight(SampleTable.rows, SampleTable.rowCount);
    SampleTable.timeMinimum = summary.timeMinimum;
    SampleTable.timeMaximum = summary.timeMaximum;
    SampleTable.SampleStep = summary.step;
    return summary.extent;
}

FlightSummary SummariseFlight(const SampleRow* rows, int32_t rowCount)
{
    FlightSummary summary;
    FlightExtent& extent = summary.extent;
    extent = {100000.0, -100000.0, 100000.0, -100000.0};
    summary.timeMinimum = 1e20;
    summary.timeMaximum = -1e20;

    int32_t stepCount = 0;
    double timeSum = 0.0;
    for (int32_t i = 0; i < rowCount; ++i)
    {
        const SampleRow& row = rows[i];
        if (i > 0)
        {
            const SampleRow& previous = rows[i - 1];
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
        if (row.gps_time < summary.timeMinimum)
            summary.timeMinimum = row.gps_time;
        if (row.gps_time > summary.timeMaximum)
            summary.timeMaximum = row.gps_time;
    }

    if (stepCount > 0)
        summary.step = timeSum / stepCount;
    else if (rowCount > 1)
        summary.step = (rows[rowCount - 1].gps_time - rows[0].gps_time) / (rowCount - 1);
    else
        summary.step = 0.0;
    return summary;
}

void FlightCentre(const FlightExtent& extent, double* latitude, double* longitude)
{
    *latitude = (extent.latitudeMinimum + extent.latitudeMaximum) * 0.5 / 60;
    *longitude = (extent.longitudeMinimum + extent.longitudeMaximum) * 0.5 / 60;
}
