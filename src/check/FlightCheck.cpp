#include "check/FlightCheck.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "geo/Geodesy.h"

namespace
{

uint32_t Bit(FaultKind kind)
{
    return 1u << static_cast<int32_t>(kind);
}

// The faults that lie between a row and the one before it, flagged on the later row.
bool IsStepKind(FaultKind kind)
{
    return kind == FaultKind::TimeBackwards || kind == FaultKind::TimeGap || kind == FaultKind::SampleGap
        || kind == FaultKind::PositionJump || kind == FaultKind::ClimbRate;
}

// Whether any sample number strictly between a and b is selected: if none is, the rows
// either side were read from separate ranges of --samples and were never neighbours.
bool SelectedBetween(const std::vector<SampleRange>& selection, int32_t a, int32_t b)
{
    const int64_t low = static_cast<int64_t>(a) + 1;
    const int64_t high = static_cast<int64_t>(b) - 1;
    if (low > high)
        return false;
    if (selection.empty())
        return true;
    for (const SampleRange& range : selection)
    {
        if (std::max<int64_t>(low, static_cast<int64_t>(range.begin) + 1) <= std::min<int64_t>(high, static_cast<int64_t>(range.end) - 1))
            return true;
    }
    return false;
}

bool ValidPosition(const MapFrameValues& frame, const SampleRow& row)
{
    // The reader drops rows within one minute of arc of 0; rows made otherwise may hold them.
    const double latitude = std::fabs(row.gps_curlat);
    const double longitude = std::fabs(row.gps_curlon);
    // A flight across the 180th meridian is written with longitudes running on past +-180:
    // there a longitude is in range near the map frame's centre, short of a whole turn.
    const double fromCentre = std::fabs(row.gps_curlon - 60.0 * GridColumnLongitude(frame.CJ));
    const bool runsOn = longitude < 540.0 * 60.0 && fromCentre < 180.0 * 60.0;
    return latitude > 1.0 && longitude > 1.0 && latitude <= 90.0 * 60.0 && (longitude <= 180.0 * 60.0 || runsOn);
}

bool ValidAngle(double radians)
{
    return std::fabs(radians) <= TwoPi; // false for NaN and the infinities
}

bool SamePosition(const SampleRow& a, const SampleRow& b)
{
    return a.gps_curlat == b.gps_curlat && a.gps_curlon == b.gps_curlon && a.gps_curalt == b.gps_curalt;
}

// The kind's measure on a row, and whether `value` is worse than `than`.
double Measure(FaultKind kind, const SampleCheck& sample)
{
    switch (kind)
    {
    case FaultKind::BelowGround:
    case FaultKind::LowFlight: return sample.clearance.height;
    case FaultKind::TimeBackwards:
    case FaultKind::TimeGap: return sample.timeStep;
    case FaultKind::SampleGap: return sample.sampleStep;
    case FaultKind::PositionJump: return sample.groundSpeed;
    case FaultKind::ClimbRate: return sample.climb;
    default: return NotMeasured;
    }
}

bool Worse(FaultKind kind, double value, double than)
{
    if (std::isnan(than))
        return !std::isnan(value);
    switch (kind)
    {
    case FaultKind::BelowGround:
    case FaultKind::LowFlight:
    case FaultKind::TimeBackwards: return value < than;
    case FaultKind::ClimbRate: return std::fabs(value) > std::fabs(than);
    default: return value > than;
    }
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return NotMeasured;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2.0;
}

// Merges the rows flagged with the kind into stretches: flagged rows next to each other in
// one stretch of the selection form one. A step fault's stretch begins at the row before.
void CollectStretches(FlightCheckReport& report, const std::vector<bool>& joinsPrevious, FaultKind kind)
{
    const uint32_t bit = Bit(kind);
    const bool step = IsStepKind(kind);
    std::vector<FaultStretch>& stretches = report.faults[static_cast<int32_t>(kind)];
    const int32_t count = static_cast<int32_t>(report.samples.size());
    for (int32_t i = 0; i < count; ++i)
    {
        if (!(report.samples[i].faults & bit))
            continue;
        const bool continues = i > 0 && joinsPrevious[i] && (report.samples[i - 1].faults & bit) && !stretches.empty();
        if (!continues)
        {
            FaultStretch stretch;
            stretch.firstRow = step ? i - 1 : i;
            stretch.worstRow = i;
            stretches.push_back(stretch);
        }
        FaultStretch& stretch = stretches.back();
        stretch.lastRow = i;
        const double value = Measure(kind, report.samples[i]);
        if (Worse(kind, value, stretch.worst))
        {
            stretch.worst = value;
            stretch.worstRow = i;
        }
    }
    // The step's first row carries the bit too, so that the per-row flags show the stretch.
    if (step)
        for (const FaultStretch& stretch : stretches)
            report.samples[stretch.firstRow].faults |= bit;
}

// The stretches under lowHeight: take-off, landing, and the low flights between them.
// The first and the last of rows 0 to count - 1 for which `holds` is true; first > last when
// it holds for none.
template <typename Predicate>
std::pair<int32_t, int32_t> FirstAndLastWhere(int32_t count, Predicate holds)
{
    int32_t first = 0;
    while (first < count && !holds(first))
        ++first;
    int32_t last = count - 1;
    while (last >= 0 && !holds(last))
        --last;
    return {first, last};
}

void FindLowFlight(FlightCheckReport& report, const SampleRow* rows, const std::vector<bool>& joinsPrevious, const FlightCheckLimits& limits)
{
    const int32_t count = static_cast<int32_t>(report.samples.size());
    const auto known = [&](int32_t i) { return report.samples[i].clearance.covered; };
    const auto low = [&](int32_t i) { return known(i) && report.samples[i].clearance.height < limits.lowHeight; };

    // Runs of low rows, joined across short climbs above the limit over drawn ground.
    std::vector<FaultStretch> runs;
    for (int32_t i = 0; i < count; ++i)
    {
        if (!low(i))
            continue;
        bool joins = false;
        if (!runs.empty())
        {
            const int32_t last = runs.back().lastRow;
            joins = rows[i].gps_time - rows[last].gps_time <= limits.lowBridgeSeconds;
            for (int32_t j = last + 1; j <= i && joins; ++j)
                joins = joinsPrevious[j] && known(j);
        }
        if (!joins)
        {
            FaultStretch run;
            run.firstRow = i;
            run.worstRow = i;
            runs.push_back(run);
        }
        FaultStretch& run = runs.back();
        run.lastRow = i;
        if (Worse(FaultKind::LowFlight, report.samples[i].clearance.height, run.worst))
        {
            run.worst = report.samples[i].clearance.height;
            run.worstRow = i;
        }
    }
    if (runs.empty())
        return;

    const auto [firstKnown, lastKnown] = FirstAndLastWhere(count, known);
    report.hasTakeOff = runs.front().firstRow == firstKnown;
    if (report.hasTakeOff)
        report.takeOff = runs.front();
    report.hasLanding = runs.back().lastRow == lastKnown;
    if (report.hasLanding)
        report.landing = runs.back();

    const uint32_t bit = Bit(FaultKind::LowFlight);
    for (size_t r = 0; r < runs.size(); ++r)
    {
        if ((r == 0 && report.hasTakeOff) || (r + 1 == runs.size() && report.hasLanding))
            continue;
        // One that goes on under the ground is told there, not twice.
        if (runs[r].worst < 0.0)
            continue;
        for (int32_t i = runs[r].firstRow; i <= runs[r].lastRow; ++i)
            report.samples[i].faults |= bit;
        report.faults[static_cast<int32_t>(FaultKind::LowFlight)].push_back(runs[r]);
    }
}

// Where the aircraft stands on the ground: every row before takeOffRow and after landingRow.
struct GroundStand
{
    int32_t takeOffRow;
    int32_t landingRow;
};

// The aircraft stands until the first valid position away from where the log starts, or above
// lowHeight over drawn ground, or after the take-off; and again after the last such position
// before where it ends, or from the start of the landing.
GroundStand FindGroundStand(const FlightCheckReport& report, const SampleRow* rows, const FlightCheckLimits& limits)
{
    const int32_t count = static_cast<int32_t>(report.samples.size());
    const auto valid = [&](int32_t i) { return report.samples[i].validPosition; };
    // Over drawn ground, the height above it tells; elsewhere the distance from the end.
    const auto away = [&](int32_t i, int32_t from) {
        if (report.samples[i].clearance.covered && report.samples[i].clearance.height >= limits.lowHeight)
            return true;
        const SampleRow& a = rows[i];
        const SampleRow& b = rows[from];
        return GroundDistance(a.gps_curlat / 60.0, a.gps_curlon / 60.0, b.gps_curlat / 60.0, b.gps_curlon / 60.0) > limits.groundRadius
            || std::fabs(a.gps_curalt - b.gps_curalt) > limits.groundRise;
    };
    GroundStand stand{count, -1};
    const auto [first, last] = FirstAndLastWhere(count, valid);
    if (first > last)
        return stand;
    for (int32_t i = first; i < count; ++i)
        if (valid(i) && away(i, first))
        {
            stand.takeOffRow = i;
            break;
        }
    for (int32_t i = last; i >= 0; --i)
        if (valid(i) && away(i, last))
        {
            stand.landingRow = i;
            break;
        }
    if (report.hasTakeOff)
        stand.takeOffRow = std::max(stand.takeOffRow, report.takeOff.lastRow + 1);
    if (report.hasLanding)
        stand.landingRow = std::min(stand.landingRow, report.landing.firstRow - 1);
    return stand;
}

} // namespace

FlightCheckReport CheckFlight(const FlightRows& flight, const MapFrameValues& frame, const std::vector<SampleRange>& selection, const FlightCheckLimits& limits)
{
    FlightCheckReport report;
    const SampleRow* rows = flight.rows;
    const int32_t count = std::max(flight.count, 0);
    report.samples.resize(count);

    // Rows that are neighbours in the selection; steps are measured between them only.
    std::vector<bool> joinsPrevious(count, false);
    for (int32_t i = 1; i < count; ++i)
    {
        const int32_t a = rows[i - 1].samplenumber;
        const int32_t b = rows[i].samplenumber;
        joinsPrevious[i] = !(b > a && b - static_cast<int64_t>(a) > 1 && !SelectedBetween(selection, a, b));
    }

    // Per row: position, attitude, height, and the steps from the row before.
    std::vector<double> positiveSteps;
    std::vector<double> heights;
    const DrawnGround ground = RingsAround(frame);
    for (int32_t i = 0; i < count; ++i)
    {
        const SampleRow& row = rows[i];
        SampleCheck& sample = report.samples[i];
        sample.validPosition = ValidPosition(frame, row);
        if (sample.validPosition)
        {
            ++report.validPositions;
            sample.clearance = HeightAboveTerrain(ground, row);
            if (sample.clearance.covered)
            {
                ++report.coveredSamples;
                heights.push_back(sample.clearance.height);
                if (sample.clearance.height < 0.0)
                    sample.faults |= Bit(FaultKind::BelowGround);
            }
        }
        else
        {
            sample.faults |= Bit(FaultKind::BadPosition);
        }
        if (!ValidAngle(row.gps_curheading) || !ValidAngle(row.pyro_curroll) || !ValidAngle(row.pyro_curpitch))
            sample.faults |= Bit(FaultKind::BadAttitude);
        if (i > 0 && joinsPrevious[i])
        {
            sample.timeStep = row.gps_time - rows[i - 1].gps_time;
            sample.sampleStep = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(row.samplenumber) - rows[i - 1].samplenumber, INT32_MIN, INT32_MAX));
            if (!(sample.timeStep > 0.0))
                sample.faults |= Bit(FaultKind::TimeBackwards);
            else if (std::isfinite(sample.timeStep))
                positiveSteps.push_back(sample.timeStep);
            if (sample.sampleStep != 1)
                sample.faults |= Bit(FaultKind::SampleGap);
        }
    }
    report.medianStep = positiveSteps.empty() ? 0.0 : Median(std::move(positiveSteps));
    if (report.medianStep > 0.0)
        for (SampleCheck& sample : report.samples)
            if (sample.timeStep > limits.gapFactor * report.medianStep)
                sample.faults |= Bit(FaultKind::TimeGap);

    // Speeds between valid fixes, and frozen positions. `fix` is the first row of the run of
    // identical positions the last valid row belongs to: speeds are measured from it.
    int32_t fix = -1;
    int32_t lastValid = -1;
    std::vector<std::pair<int32_t, int32_t>> frozenRuns;
    const auto closeRun = [&](int32_t first, int32_t last) {
        if (first >= 0 && last > first && rows[last].gps_time - rows[first].gps_time > limits.frozenSeconds)
            frozenRuns.emplace_back(first, last);
    };
    for (int32_t i = 0; i < count; ++i)
    {
        if (!joinsPrevious[i] && i > 0)
        {
            closeRun(fix, lastValid);
            fix = lastValid = -1;
        }
        if (!report.samples[i].validPosition)
            continue;
        SampleCheck& sample = report.samples[i];
        if (fix >= 0)
        {
            const SampleRow& from = rows[fix];
            const double seconds = rows[i].gps_time - from.gps_time;
            if (seconds > 0.0 && std::isfinite(seconds))
            {
                sample.groundSpeed = GroundDistance(from.gps_curlat / 60.0, from.gps_curlon / 60.0, rows[i].gps_curlat / 60.0, rows[i].gps_curlon / 60.0) / seconds;
                sample.climb = (rows[i].gps_curalt - from.gps_curalt) / seconds;
                if (sample.groundSpeed > limits.maximumSpeed)
                    sample.faults |= Bit(FaultKind::PositionJump);
                if (!(std::fabs(sample.climb) <= limits.maximumClimb))
                    sample.faults |= Bit(FaultKind::ClimbRate);
            }
            if (!SamePosition(rows[i], rows[lastValid]))
            {
                closeRun(fix, lastValid);
                fix = i;
            }
        }
        else
        {
            fix = i;
        }
        lastValid = i;
    }
    closeRun(fix, lastValid);

    FindLowFlight(report, rows, joinsPrevious, limits);
    const GroundStand stand = FindGroundStand(report, rows, limits);
    for (const std::pair<int32_t, int32_t>& run : frozenRuns)
    {
        if (run.second < stand.takeOffRow || run.first > stand.landingRow)
        {
            ++report.frozenOnGround;
            continue;
        }
        for (int32_t j = run.first; j <= run.second; ++j)
            report.samples[j].faults |= Bit(FaultKind::FrozenPosition);
    }

    for (int32_t kind = 0; kind < FaultKindCount; ++kind)
        if (static_cast<FaultKind>(kind) != FaultKind::LowFlight)
            CollectStretches(report, joinsPrevious, static_cast<FaultKind>(kind));

    if (!heights.empty())
    {
        const auto extremes = std::minmax_element(heights.begin(), heights.end());
        report.minimumHeight = *extremes.first;
        report.maximumHeight = *extremes.second;
        report.medianHeight = Median(std::move(heights));
    }

    bool anyFault = report.coveredSamples < count;
    for (const std::vector<FaultStretch>& stretches : report.faults)
        anyFault = anyFault || !stretches.empty();
    if (count == 0 || report.validPositions == 0)
        report.verdict = FlightVerdict::Unusable;
    else
        report.verdict = anyFault ? FlightVerdict::Warnings : FlightVerdict::Clean;
    return report;
}
