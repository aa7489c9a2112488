#include "CheckCsv.h"

#include <cmath>
#include <cstdio>

#include "CheckReport.h"
#include "TileFiles.h"
#include "log/SampleTable.h"

namespace
{

// A measured value with the digits it deserves, or an empty cell.
void AppendCell(std::string* line, const char* format, double value, bool measured = true)
{
    *line += ',';
    if (!measured || std::isnan(value))
        return;
    char cell[64];
    const int length = snprintf(cell, sizeof cell, format, value);
    if (length > 0)
        line->append(cell, length < static_cast<int>(sizeof cell) ? length : sizeof cell - 1);
}

} // namespace

bool WriteCheckCsv(const std::string& path, const SampleRow* rows, const FlightCheckReport& report)
{
    std::string text = "sample,time_s,lat_deg,lon_deg,altitude_m,terrain_m,height_above_terrain_m,ground_speed_mps,climb_mps";
    for (int32_t k = 0; k < FaultKindCount; ++k)
        text += std::string(",") + FaultKindColumn(static_cast<FaultKind>(k));
    text += '\n';
    text.reserve(text.size() + report.samples.size() * 120);
    for (size_t i = 0; i < report.samples.size(); ++i)
    {
        const SampleRow& row = rows[i];
        const SampleCheck& sample = report.samples[i];
        text += std::to_string(row.samplenumber);
        AppendCell(&text, "%.2f", row.gps_time);
        AppendCell(&text, "%.7f", row.gps_curlat / 60.0);
        AppendCell(&text, "%.7f", row.gps_curlon / 60.0);
        AppendCell(&text, "%.2f", row.gps_curalt);
        AppendCell(&text, "%.2f", sample.clearance.terrain, sample.clearance.covered);
        AppendCell(&text, "%.2f", sample.clearance.height, sample.clearance.covered);
        AppendCell(&text, "%.2f", sample.groundSpeed);
        AppendCell(&text, "%.2f", sample.climb);
        for (int32_t k = 0; k < FaultKindCount; ++k)
        {
            text += ',';
            text += (sample.faults >> k) & 1u ? '1' : '0';
        }
        text += '\n';
    }
    return WriteFileAtomically(path, text.data(), text.size());
}
