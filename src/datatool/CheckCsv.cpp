#include "datatool/CheckCsv.h"

#include <charconv>
#include <cmath>

#include "datatool/CheckReport.h"
#include "log/SampleRow.h"
#include "world/TileFiles.h"

namespace
{

// A measured value in fixed point with the digits it deserves, or an empty cell. to_chars,
// as it is several times faster than printf for the hundreds of thousands of rows of a long flight.
void AppendCell(std::string* line, int decimals, double value, bool measured = true)
{
    *line += ',';
    if (!measured || std::isnan(value))
        return;
    if (std::isinf(value))
    {
        *line += value > 0 ? "inf" : "-inf";
        return;
    }
    char cell[400]; // the widest double in fixed point has 309 digits before the point
    const std::to_chars_result result = std::to_chars(cell, cell + sizeof cell, value, std::chars_format::fixed, decimals);
    if (result.ec == std::errc())
        line->append(cell, result.ptr);
}

// The plan's columns of one row; the airspaces' names quoted when they hold what a CSV cell cannot.
void AppendPlanCells(std::string* line, const FlightPlan& plan, const PlanSample& sample)
{
    *line += ',';
    if (sample.legSeq >= 0)
        *line += std::to_string(sample.legSeq);
    AppendCell(line, 2, sample.crossTrack);
    AppendCell(line, 2, sample.fenceMargin);
    std::string names;
    for (uint32_t a : sample.airspaces)
        names += (names.empty() ? "" : "; ") + plan.airspace[a].name;
    *line += ',';
    if (names.find_first_of(",\"\r\n") == std::string::npos)
    {
        *line += names;
        return;
    }
    *line += '"';
    for (char c : names)
        *line += c == '"' ? std::string("\"\"") : std::string(1, c);
    *line += '"';
}

} // namespace

bool WriteCheckCsv(const std::string& path, const SampleRow* rows, const FlightCheckReport& report, const PlanFindings* plan)
{
    std::string text = "sample,time_s,lat_deg,lon_deg,altitude_m,terrain_m,height_above_terrain_m,ground_speed_mps,climb_mps";
    for (int32_t k = 0; k < FaultKindCount; ++k)
        text += std::string(",") + FaultKindColumn(static_cast<FaultKind>(k));
    if (plan)
        text += ",active_leg,cross_track_m,fence_margin_m,airspaces";
    text += '\n';
    text.reserve(text.size() + report.samples.size() * 120);
    for (size_t i = 0; i < report.samples.size(); ++i)
    {
        const SampleRow& row = rows[i];
        const SampleCheck& sample = report.samples[i];
        text += std::to_string(row.samplenumber);
        AppendCell(&text, 2, row.gps_time);
        AppendCell(&text, 7, row.gps_curlat / 60.0);
        AppendCell(&text, 7, row.gps_curlon / 60.0);
        AppendCell(&text, 2, row.gps_curalt);
        AppendCell(&text, 2, sample.clearance.terrain, sample.clearance.covered);
        AppendCell(&text, 2, sample.clearance.height, sample.clearance.covered);
        AppendCell(&text, 2, sample.groundSpeed);
        AppendCell(&text, 2, sample.climb);
        for (int32_t k = 0; k < FaultKindCount; ++k)
        {
            text += ',';
            text += (sample.faults >> k) & 1u ? '1' : '0';
        }
        if (plan && i < plan->report.samples.size())
            AppendPlanCells(&text, plan->plan, plan->report.samples[i]);
        text += '\n';
    }
    return WriteFileAtomically(path, text.data(), text.size());
}
