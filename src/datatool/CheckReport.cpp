#include "datatool/CheckReport.h"

#include <cmath>

#include "log/SampleRow.h"

namespace
{

FaultKind Kind(int32_t index)
{
    return static_cast<FaultKind>(index);
}

std::string Format(const char* format, double value)
{
    char text[128];
    snprintf(text, sizeof text, format, value);
    return text;
}

// "samples 1000 to 1051 (10.20 s)": the stretch's sample numbers and the time it spans,
// after the prefix.
void PrintStretchStart(FILE* out, const char* prefix, const SampleRow* rows, const FaultStretch& stretch)
{
    const SampleRow& first = rows[stretch.firstRow];
    const SampleRow& last = rows[stretch.lastRow];
    if (stretch.firstRow == stretch.lastRow)
        fprintf(out, "%ssample %d", prefix, first.samplenumber);
    else
        fprintf(out, "%ssamples %d to %d (%.2f s)", prefix, first.samplenumber, last.samplenumber, last.gps_time - first.gps_time);
}

// The faults told by their worst value and its sample: the value's format, then the sample's.
struct WorstValueDetail
{
    FaultKind kind;
    const char* format;
};
const WorstValueDetail WorstValueDetails[] = {
    {FaultKind::BelowGround, ", deepest %.1f m at sample %d"}, {FaultKind::LowFlight, ", lowest %.1f m at sample %d"},
    {FaultKind::TimeGap, ", longest step %.2f s at sample %d"}, {FaultKind::PositionJump, ", up to %.0f m/s at sample %d"},
    {FaultKind::ClimbRate, ", up to %+.1f m/s at sample %d"},
};

// What went wrong in the stretch, after its samples.
void PrintStretchDetail(FILE* out, FaultKind kind, const SampleRow* rows, const FlightCheckReport& report, const FaultStretch& stretch)
{
    const int32_t worstSample = rows[stretch.worstRow].samplenumber;
    for (const WorstValueDetail& detail : WorstValueDetails)
        if (detail.kind == kind)
        {
            fprintf(out, detail.format, stretch.worst, worstSample);
            fprintf(out, "\n");
            return;
        }
    switch (kind)
    {
    case FaultKind::TimeBackwards:
        if (stretch.worst == 0.0)
            fprintf(out, ", time stands still");
        else if (std::isnan(stretch.worst))
            fprintf(out, ", time is not a number at sample %d", worstSample);
        else
            fprintf(out, ", back by up to %.2f s at sample %d", -stretch.worst, worstSample);
        break;
    case FaultKind::SampleGap:
    {
        int64_t missing = 0;
        bool backwards = false;
        for (int32_t i = stretch.firstRow + 1; i <= stretch.lastRow; ++i)
        {
            const int32_t step = report.samples[i].sampleStep;
            if (step > 1)
                missing += step - 1;
            else
                backwards = true;
        }
        if (missing > 0)
            fprintf(out, ", %lld missing", static_cast<long long>(missing));
        if (backwards)
            fprintf(out, ", numbers repeat or go back");
        break;
    }
    case FaultKind::BadPosition:
    case FaultKind::BadAttitude:
        fprintf(out, ", %d rows", stretch.lastRow - stretch.firstRow + 1);
        break;
    case FaultKind::FrozenPosition:
        fprintf(out, ", %d rows at one position", stretch.lastRow - stretch.firstRow + 1);
        break;
    default: // told by their worst value above
        break;
    }
    fprintf(out, "\n");
}

void PrintLowEnd(FILE* out, const char* name, bool present, const SampleRow* rows, const FaultStretch& stretch, const FlightCheckLimits& limits)
{
    if (!present)
    {
        fprintf(out, "%s: none (the log %s above %.0f m or over no drawn ground)\n", name, name[0] == 't' ? "starts" : "ends", limits.lowHeight);
        return;
    }
    fprintf(out, "%s:", name);
    PrintStretchStart(out, " ", rows, stretch);
    fprintf(out, ", under %.0f m, lowest %.1f m at sample %d\n", limits.lowHeight, stretch.worst, rows[stretch.worstRow].samplenumber);
}

} // namespace

std::string FaultKindHeading(FaultKind kind, const FlightCheckLimits& limits, double medianStep)
{
    switch (kind)
    {
    case FaultKind::BelowGround: return "below the ground";
    case FaultKind::LowFlight: return Format("under %.0f m above the ground, not the take-off or the landing", limits.lowHeight);
    case FaultKind::TimeBackwards: return "time going backwards or standing still";
    case FaultKind::TimeGap: return Format("gaps in time over %g median steps", limits.gapFactor) + Format(" (%.3f s)", limits.gapFactor * medianStep);
    case FaultKind::SampleGap: return "gaps in sample numbers";
    case FaultKind::PositionJump: return Format("position jumps over %g m/s", limits.maximumSpeed);
    case FaultKind::ClimbRate: return Format("climbs or descents over %g m/s", limits.maximumClimb);
    case FaultKind::BadPosition: return "positions at 0 or out of range";
    case FaultKind::BadAttitude: return "attitude angles not finite or beyond 2 pi";
    case FaultKind::FrozenPosition: return Format("frozen GPS, the same position for over %g s", limits.frozenSeconds);
    }
    return "";
}

const char* FaultKindColumn(FaultKind kind)
{
    static const char* const columns[FaultKindCount] = {"below_ground", "low_flight", "time_backwards", "time_gap", "sample_gap", "position_jump", "climb_rate", "bad_position", "bad_attitude", "frozen_gps"};
    return columns[static_cast<int32_t>(kind)];
}

const char* FaultKindLabel(FaultKind kind)
{
    static const char* const labels[FaultKindCount] = {"below the ground", "low flight", "time backwards", "time gap", "sample gap", "position jump", "climb rate", "bad position", "bad attitude", "frozen GPS"};
    return labels[static_cast<int32_t>(kind)];
}

FaultCount CountFaults(const FlightCheckReport& report)
{
    FaultCount count;
    for (const std::vector<FaultStretch>& stretches : report.faults)
    {
        count.stretches += static_cast<int32_t>(stretches.size());
        count.kinds += stretches.empty() ? 0 : 1;
    }
    return count;
}

std::string VerdictText(const FlightCheckReport& report)
{
    if (report.samples.empty())
        return "unusable: no accepted row";
    if (report.verdict == FlightVerdict::Unusable)
        return "unusable: no valid position";
    if (report.verdict == FlightVerdict::Clean)
        return "clean";
    const FaultCount count = CountFaults(report);
    char text[160];
    std::string verdict;
    if (count.stretches > 0)
    {
        snprintf(text, sizeof text, "%d warning%s in %d kind%s", count.stretches, count.stretches == 1 ? "" : "s", count.kinds, count.kinds == 1 ? "" : "s");
        verdict = text;
    }
    const size_t uncovered = report.samples.size() - report.coveredSamples;
    if (uncovered > 0)
    {
        snprintf(text, sizeof text, "%.1f%% of the samples over no drawn ground", 100.0 * uncovered / report.samples.size());
        verdict += (verdict.empty() ? "" : "; ") + std::string(text);
    }
    return verdict;
}

void PrintCheckReport(FILE* out, const std::string& logName, const SampleRow* rows, const FlightCheckReport& report, const FlightCheckLimits& limits)
{
    const int32_t count = static_cast<int32_t>(report.samples.size());
    if (count == 0)
    {
        fprintf(out, "check '%s': no accepted row\n", logName.c_str());
        fprintf(out, "verdict: %s\n", VerdictText(report).c_str());
        return;
    }
    const SampleRow& first = rows[0];
    const SampleRow& last = rows[count - 1];
    fprintf(out, "check '%s': %d rows, samples %d to %d, time %.2f to %.2f s (%.1f min), median step %.3f s\n", logName.c_str(), count, first.samplenumber, last.samplenumber, first.gps_time, last.gps_time, (last.gps_time - first.gps_time) / 60.0, report.medianStep);
    if (report.coveredSamples > 0)
        fprintf(out, "height above the terrain: min %.1f m, median %.1f m, max %.1f m\n", report.minimumHeight, report.medianHeight, report.maximumHeight);
    else
        fprintf(out, "height above the terrain: unknown, no sample lies over drawn ground\n");
    const int32_t uncovered = count - report.coveredSamples;
    fprintf(out, "over missing tiles or beyond the drawn terrain: %d of %d samples (%.1f%%)\n", uncovered, count, 100.0 * uncovered / count);
    PrintLowEnd(out, "take-off", report.hasTakeOff, rows, report.takeOff, limits);
    PrintLowEnd(out, "landing", report.hasLanding, rows, report.landing, limits);

    for (int32_t k = 0; k < FaultKindCount; ++k)
    {
        const std::vector<FaultStretch>& stretches = report.faults[k];
        const std::string heading = FaultKindHeading(Kind(k), limits, report.medianStep);
        std::string parked;
        if (Kind(k) == FaultKind::FrozenPosition && report.frozenOnGround > 0)
            parked = Format(" (and %.0f on the ground before the take-off or after the landing, no fault)", report.frozenOnGround);
        if (stretches.empty())
        {
            fprintf(out, "%s: none%s\n", heading.c_str(), parked.c_str());
            continue;
        }
        fprintf(out, "%s: %zu stretch%s%s\n", heading.c_str(), stretches.size(), stretches.size() == 1 ? "" : "es", parked.c_str());
        for (size_t s = 0; s < stretches.size() && s < static_cast<size_t>(StretchLinesPerKind); ++s)
        {
            PrintStretchStart(out, "  ", rows, stretches[s]);
            PrintStretchDetail(out, Kind(k), rows, report, stretches[s]);
        }
        if (stretches.size() > static_cast<size_t>(StretchLinesPerKind))
            fprintf(out, "  ... and %zu more\n", stretches.size() - StretchLinesPerKind);
    }
    fprintf(out, "verdict: %s\n", VerdictText(report).c_str());
}
