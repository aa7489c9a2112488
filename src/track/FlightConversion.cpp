#include "track/FlightConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "geo/MapProjection.h"
#include "log/LogAttitude.h"
#include "track/FlightWind.h"
#include "track/TrackReading.h"

namespace
{

const double StandardGravity = 9.80665;       // m/s^2
const double MaximumBank = 60.0 * Pi / 180.0; // steeper derived turns are GPS noise, not flight
const double MinimumCourseSpeed = 0.5;        // m/s; below it the course is noise
// A paraglider's trim speed. Below it the ground speed says little of the speed through the
// air (a glider into the wind, a walker), and a climb over it would stand the nose on end.
const double MinimumPitchSpeed = 10.0;        // m/s
const double MaximumPitch = 30.0 * Pi / 180.0; // steeper derived pitch is GPS height noise
const size_t MaximumRows = 1000000;           // ten times what the replay reads (100000), some 330 MB of rows
const double MaximumTicks = 2e9;              // sample numbers are 32-bit


// The records sorted by time, of finite values, one per time (the first in file order).
template <typename Record, typename Finite>
std::vector<Record> Cleaned(const std::vector<Record>& records, Finite finite)
{
    std::vector<Record> kept;
    kept.reserve(records.size());
    for (const Record& record : records)
        if (std::isfinite(record.time) && finite(record))
            kept.push_back(record);
    std::stable_sort(kept.begin(), kept.end(), [](const Record& a, const Record& b) { return a.time < b.time; });
    kept.erase(std::unique(kept.begin(), kept.end(), [](const Record& a, const Record& b) { return a.time == b.time; }), kept.end());
    return kept;
}

// Walks a time-sorted series forward with increasing times: the index of the last record
// at or before the time (0 before the first).
template <typename Record>
class Cursor
{
public:
    explicit Cursor(const std::vector<Record>& records) : records(records) {}

    size_t Before(double time)
    {
        while (index + 1 < records.size() && records[index + 1].time <= time)
            ++index;
        return index;
    }

    // The fraction of the way from record i to record i + 1 at the time, 0 .. 1.
    double Fraction(size_t i, double time) const
    {
        if (i + 1 >= records.size())
            return 0.0;
        return std::clamp((time - records[i].time) / (records[i + 1].time - records[i].time), 0.0, 1.0);
    }

private:
    const std::vector<Record>& records;
    size_t index = 0;
};

// What the motion says about one run of evenly spaced rows: speed (m/s), course (radians
// clockwise from north), climb angle and coordinated-turn bank (radians).
struct Motion
{
    std::vector<double> speed, course, climb, bank;
};

// Each value the mean of the five around it (fewer at the ends).
std::vector<double> SmoothedOverFive(const std::vector<double>& values)
{
    std::vector<double> smooth(values.size(), 0.0);
    for (size_t i = 0; i < values.size(); ++i)
    {
        const size_t a = i < 2 ? 0 : i - 2;
        const size_t b = std::min(i + 2, values.size() - 1);
        double sum = 0.0;
        for (size_t n = a; n <= b; ++n)
            sum += values[n];
        smooth[i] = sum / static_cast<double>(b - a + 1);
    }
    return smooth;
}

Motion DeriveMotion(const std::vector<SampleRow>& rows, size_t first, size_t count)
{
    Motion motion;
    motion.speed.assign(count, 0.0);
    motion.course.assign(count, 0.0);
    motion.climb.assign(count, 0.0);
    motion.bank.assign(count, 0.0);
    if (count < 2)
        return motion;

    // Local east, north, up in metres around the run's first row: flat enough for a flight.
    const double metresPerMinute = EarthRadius * Pi / (180.0 * 60.0);
    const SampleRow& origin = rows[first];
    const double eastScale = metresPerMinute * std::cos(origin.gps_curlat / 60.0 * Pi / 180.0);
    std::vector<double> east(count), north(count), up(count), time(count);
    for (size_t i = 0; i < count; ++i)
    {
        const SampleRow& row = rows[first + i];
        east[i] = (row.gps_curlon - origin.gps_curlon) * eastScale;
        north[i] = (row.gps_curlat - origin.gps_curlat) * metresPerMinute;
        up[i] = row.gps_curalt;
        time[i] = row.gps_time;
    }

    // Velocities by central differences (one-sided at the ends).
    for (size_t i = 0; i < count; ++i)
    {
        const size_t a = i == 0 ? 0 : i - 1;
        const size_t b = std::min(i + 1, count - 1);
        const double dt = time[b] - time[a];
        const double ve = (east[b] - east[a]) / dt, vn = (north[b] - north[a]) / dt, vu = (up[b] - up[a]) / dt;
        motion.speed[i] = std::hypot(ve, vn);
        motion.course[i] = std::atan2(ve, vn); // clockwise from north
        const double climb = motion.speed[i] >= MinimumCourseSpeed ? std::atan2(vu, std::max(motion.speed[i], MinimumPitchSpeed)) : 0.0;
        motion.climb[i] = std::clamp(climb, -MaximumPitch, MaximumPitch);
    }
    // Standing still, the course keeps the last meaningful value (or the first one to come).
    size_t firstMoving = 0;
    while (firstMoving < count && motion.speed[firstMoving] < MinimumCourseSpeed)
        ++firstMoving;
    for (size_t i = 0; i < count; ++i)
        if (motion.speed[i] < MinimumCourseSpeed)
            motion.course[i] = i < firstMoving ? (firstMoving < count ? motion.course[firstMoving] : 0.0) : motion.course[i - 1];

    // Bank of a coordinated turn, from the turn rate, smoothed over five rows.
    std::vector<double> bank(count, 0.0);
    for (size_t i = 0; i < count; ++i)
    {
        const size_t a = i == 0 ? 0 : i - 1;
        const size_t b = std::min(i + 1, count - 1);
        const double turnRate = WrapAngle(motion.course[b] - motion.course[a]) / (time[b] - time[a]); // right turns positive
        bank[i] = std::clamp(std::atan(motion.speed[i] * turnRate / StandardGravity), -MaximumBank, MaximumBank);
    }
    motion.bank = SmoothedOverFive(bank);
    motion.climb = SmoothedOverFive(motion.climb);
    return motion;
}

// The column each channel fills and its decimals, in the order of FlightChannel.
const LogColumn ChannelColumns[] = {
    {ColumnKind::gps_curspeed, 2},     {ColumnKind::gps_numsatellites, 0}, {ColumnKind::gps_fixmode, 0},
    {ColumnKind::baro_curalt, 2},      {ColumnKind::voltage1, 3},          {ColumnKind::current, 3},
    {ColumnKind::mah, 1},              {ColumnKind::ap_status, 0},         {ColumnKind::in_ppm_curwidth0, 1},
    {ColumnKind::in_ppm_curwidth1, 1}, {ColumnKind::in_ppm_curwidth2, 1},  {ColumnKind::in_ppm_curwidth3, 1},
    {ColumnKind::in_ppm_curwidth4, 1}, {ColumnKind::out_ppm_curwidth0, 1}, {ColumnKind::out_ppm_curwidth1, 1},
    {ColumnKind::out_ppm_curwidth2, 1}, {ColumnKind::out_ppm_curwidth3, 1},
};
static_assert(std::size(ChannelColumns) == FlightChannelCount, "a column for every channel");

LogColumn ChannelColumn(FlightChannel channel)
{
    return ChannelColumns[static_cast<int>(channel)];
}

bool HoldsItsValue(FlightChannel channel)
{
    return channel == FlightChannel::Satellites || channel == FlightChannel::FixMode || channel == FlightChannel::FlightMode;
}

// Stores a channel's value into the row's field of its column.
void Store(SampleRow& row, ColumnKind kind, double value)
{
    const ColumnField& where = ColumnFieldTable[static_cast<int32_t>(kind)];
    char* bytes = reinterpret_cast<char*>(&row);
    if (where.storage == StoreInt32)
    {
        const int32_t whole = static_cast<int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
        std::copy(reinterpret_cast<const char*>(&whole), reinterpret_cast<const char*>(&whole) + sizeof whole, bytes + where.offset);
    }
    else if (where.storage == StoreDouble)
        std::copy(reinterpret_cast<const char*>(&value), reinterpret_cast<const char*>(&value) + sizeof value, bytes + where.offset);
}

// A small negative value prints as "-0.00000"; the fields of the line from `start` on lose
// such a sign. The shared writer prints values as they stand, so this is done here.
void DropSignsOfZero(std::string* text, size_t start)
{
    size_t field = start;
    while (field < text->size())
    {
        size_t end = field;
        while (end < text->size() && (*text)[end] != ',' && (*text)[end] != '\n')
            ++end;
        if ((*text)[field] == '-' && end > field + 1 && text->find_first_not_of("0.", field + 1) >= end)
        {
            text->erase(field, 1);
            --end;
        }
        field = end + 1;
    }
}

} // namespace

std::vector<LogColumn> BaseLogColumns()
{
    return {
        {ColumnKind::samplenumber, 0}, {ColumnKind::gps_time, 3}, {ColumnKind::gps_curlat, 6}, {ColumnKind::gps_curlon, 6},
        {ColumnKind::gps_curalt, 2}, {ColumnKind::gps_curspeed, 2}, {ColumnKind::gps_curheading, 5},
        {ColumnKind::pyro_curpitch, 5}, {ColumnKind::pyro_curroll, 5},
    };
}

namespace
{

// The gimbal's records on the rows' clock, the yaw from north: one counted from the nose
// takes the heading of the rows about its time (between two rows the shorter way round; the
// first or last row's beyond them).
std::vector<TimedGimbal> GimbalOnRows(const std::vector<TimedGimbal>& recorded, double origin, const std::vector<SampleRow>& rows)
{
    std::vector<TimedGimbal> gimbal = Cleaned(recorded, [](const TimedGimbal& g) { return std::isfinite(g.pitch) && std::isfinite(g.roll) && std::isfinite(g.yaw); });
    size_t k = 0;
    for (TimedGimbal& g : gimbal)
    {
        g.time -= origin;
        if (g.yawFromNose && !rows.empty())
        {
            while (k + 1 < rows.size() && rows[k + 1].gps_time <= g.time)
                ++k;
            const SampleRow& a = rows[k];
            const SampleRow& b = rows[std::min(k + 1, rows.size() - 1)];
            const double f = b.gps_time > a.gps_time ? std::clamp((g.time - a.gps_time) / (b.gps_time - a.gps_time), 0.0, 1.0) : 0.0;
            const double from = CourseOfLogHeading(a.gps_curheading), to = CourseOfLogHeading(b.gps_curheading);
            g.yaw += from + f * WrapAngle(to - from);
        }
        g.yaw = WrapAngle(g.yaw);
        g.yawFromNose = false;
    }
    return gimbal;
}

// The file's wind estimates on the rows' clock; a file without any (or only zeros: an
// estimator that never ran) has its wind found from the flight's own turns.
std::vector<TimedWind> WindOnRows(const RecordedFlight& flight, double origin)
{
    std::vector<TimedWind> wind;
    size_t invalid = 0;
    for (const TimedWind& w : flight.wind)
        KeepWind(&wind, w, &invalid);
    if (std::all_of(wind.begin(), wind.end(), [](const TimedWind& w) { return w.north == 0.0 && w.east == 0.0; }))
        wind = WindFromCircles(flight.positions);
    for (TimedWind& w : wind)
        w.time -= origin;
    std::stable_sort(wind.begin(), wind.end(), [](const TimedWind& a, const TimedWind& b) { return a.time < b.time; });
    return wind;
}

} // namespace

ConvertedFlight ConvertFlight(const RecordedFlight& flight, const ConversionSettings& settings)
{
    ConvertedFlight converted;
    std::vector<TimedPosition> positions = CleanPositions(flight.positions, &converted.positions);
    if (positions.size() < 2)
    {
        converted.error = "fewer than two positions with distinct times";
        return converted;
    }
    // Nearer the poles the map has no tiles: the replay would show an empty world there.
    const TimedPosition& polemost = *std::max_element(positions.begin(), positions.end(), [](const TimedPosition& a, const TimedPosition& b) { return std::fabs(a.latitude) < std::fabs(b.latitude); });
    if (std::fabs(polemost.latitude) > MapLatitudeLimit)
    {
        char text[200];
        snprintf(text, sizeof text, "positions as far as %.4f\u00b0 %c, beyond the map's latitude limit of \u00b1%.4f\u00b0, where its tiles end", std::fabs(polemost.latitude), polemost.latitude > 0.0 ? 'N' : 'S', MapLatitudeLimit);
        converted.error = text;
        return converted;
    }
    // Times since 1970 count from midnight of the first day; so do the other channels'.
    const double origin = flight.timesSinceEpoch ? std::floor(positions.front().time / SecondsPerDay) * SecondsPerDay : 0.0;
    converted.clockOrigin = origin;
    for (TimedPosition& p : positions)
        p.time -= origin;
    converted.events = flight.events;
    for (FlightEvent& event : converted.events)
        event.time -= origin;
    std::stable_sort(converted.events.begin(), converted.events.end(), [](const FlightEvent& a, const FlightEvent& b) { return a.time < b.time; });
    converted.plan = flight.plan;
    converted.plan.ShiftClock(-origin);
    if (!(settings.rate > 0.0))
    {
        converted.error = "no rate";
        return converted;
    }
    const double span = positions.back().time - positions.front().time;
    if (span * settings.rate >= MaximumTicks)
    {
        converted.error = "positions " + std::to_string(static_cast<long long>(span)) + " s apart, too far for sample numbers at this rate";
        return converted;
    }
    // Positions at the rows' times; rows in gaps are left out.
    const double start = positions.front().time;
    const size_t ticks = static_cast<size_t>(std::floor(span * settings.rate + 1e-9)) + 1;
    Cursor<TimedPosition> positionCursor(positions);
    std::vector<SampleRow>& rows = converted.rows;
    for (size_t i = 0; i < ticks;)
    {
        const double t = start + static_cast<double>(i) / settings.rate;
        const size_t k = positionCursor.Before(t);
        const TimedPosition& a = positions[k];
        const TimedPosition& b = positions[std::min(k + 1, positions.size() - 1)];
        const bool onPosition = t == a.time || t == b.time;
        if (!onPosition && b.time - a.time > settings.maximumGap)
        {
            // On to the first tick at or after the position that ends the gap.
            const size_t next = std::max(i + 1, static_cast<size_t>(std::ceil((b.time - start) * settings.rate - 1e-9)));
            converted.gapRows += next - i;
            ++converted.gaps;
            i = next;
            continue;
        }
        if (rows.size() >= MaximumRows)
        {
            converted.rows.clear();
            converted.error = "more than a million rows at this rate";
            return converted;
        }
        const double f = positionCursor.Fraction(k, t);
        SampleRow row{};
        row.samplenumber = static_cast<int32_t>(i + 1);
        row.gps_time = t;
        row.gps_curlat = (a.latitude + f * (b.latitude - a.latitude)) * 60.0;
        row.gps_curlon = (a.longitude + f * (b.longitude - a.longitude)) * 60.0;
        row.gps_curalt = a.altitude + f * (b.altitude - a.altitude);
        rows.push_back(row);
        ++i;
    }

    if (rows.size() < 2)
    {
        char text[160];
        if (span * settings.rate < 1.0)
            snprintf(text, sizeof text, "positions only %.3f s apart, less than one row step at %g a second (a --rate of %.3g or more makes two rows)", span, settings.rate, std::ceil(1000.0 / span) / 1000.0);
        else
            snprintf(text, sizeof text, "positions that make fewer than two rows at %g a second: all but one fall in gaps", settings.rate);
        converted.error = text;
        converted.rows.clear();
        return converted;
    }
    converted.columns = BaseLogColumns();

    // The motion of each run of consecutive rows: the speed always, the attitude when the
    // flight recorded none.
    std::vector<TimedAttitude> attitudes = Cleaned(flight.attitudes, [](const TimedAttitude& a) { return std::isfinite(a.roll) && std::isfinite(a.pitch) && std::isfinite(a.yaw); });
    for (TimedAttitude& a : attitudes)
        a.time -= origin;
    converted.motionAttitude = attitudes.empty();
    for (size_t first = 0; first < rows.size();)
    {
        size_t count = 1;
        while (first + count < rows.size() && rows[first + count].samplenumber == rows[first + count - 1].samplenumber + 1)
            ++count;
        const Motion motion = DeriveMotion(rows, first, count);
        for (size_t i = 0; i < count; ++i)
        {
            SampleRow& row = rows[first + i];
            row.gps_curspeed = motion.speed[i];
            if (converted.motionAttitude)
            {
                // Adding 0.0 turns -0.0 into 0.0, so wings level do not print as -0.00000.
                row.gps_curheading = LogHeading(motion.course[i]) + 0.0;
                row.pyro_curpitch = LogPitch(motion.climb[i]) + 0.0;
                row.pyro_curroll = LogRoll(motion.bank[i]) + 0.0;
            }
        }
        first += count;
    }

    if (!attitudes.empty())
    {
        Cursor<TimedAttitude> cursor(attitudes);
        for (SampleRow& row : rows)
        {
            const size_t k = cursor.Before(row.gps_time);
            const double f = row.gps_time < attitudes[k].time ? 0.0 : cursor.Fraction(k, row.gps_time);
            const TimedAttitude& a = attitudes[k];
            const TimedAttitude& b = attitudes[std::min(k + 1, attitudes.size() - 1)];
            // The shorter way round: from 179 degrees to -179 passes 180, not 0.
            const double roll = a.roll + f * WrapAngle(b.roll - a.roll);
            const double pitch = a.pitch + f * WrapAngle(b.pitch - a.pitch);
            const double yaw = a.yaw + f * WrapAngle(b.yaw - a.yaw);
            row.gps_curheading = LogHeading(yaw) + 0.0;
            row.pyro_curpitch = LogPitch(pitch) + 0.0;
            row.pyro_curroll = LogRoll(WrapAngle(roll)) + 0.0;
        }
    }

    // A date beside the time says the time is one of a UTC day: what a GPS logs, and what
    // the player shows as a time of day. A clock since boot has none.
    int32_t date = flight.utcDate;
    if (flight.timesSinceEpoch)
    {
        int64_t year = 0, month = 0, day = 0;
        CivilFromDays(static_cast<int64_t>(std::floor(origin / SecondsPerDay)), &year, &month, &day);
        date = static_cast<int32_t>(day * 10000 + month * 100 + year % 100);
    }
    if (date > 0)
    {
        converted.columns.push_back(LogColumn{ColumnKind::gps_date, 0});
        for (SampleRow& row : rows)
            row.gps_date = date;
    }

    converted.gimbal = GimbalOnRows(flight.gimbal, origin, rows);
    converted.wind = WindOnRows(flight, origin);
    converted.traffic = TrafficOnRows(flight.traffic, origin);
    converted.photos = PhotosOnRows(flight.photos, origin, positions, settings.maximumGap, &converted.photosWithoutPosition);

    for (int c = 0; c < FlightChannelCount; ++c)
    {
        const FlightChannel channel = static_cast<FlightChannel>(c);
        std::vector<TimedValue> values = Cleaned(flight.channels[c], [](const TimedValue& v) { return std::isfinite(v.value); });
        if (values.empty())
            continue;
        for (TimedValue& v : values)
            v.time -= origin;
        const LogColumn column = ChannelColumn(channel);
        if (column.kind != ColumnKind::gps_curspeed)
            converted.columns.push_back(column);
        const bool hold = HoldsItsValue(channel);
        Cursor<TimedValue> cursor(values);
        for (SampleRow& row : rows)
        {
            const size_t k = cursor.Before(row.gps_time);
            const TimedValue& a = values[k];
            const TimedValue& b = values[std::min(k + 1, values.size() - 1)];
            const double f = hold || row.gps_time < a.time ? 0.0 : cursor.Fraction(k, row.gps_time);
            Store(row, column.kind, a.value + f * (b.value - a.value));
        }
    }
    return converted;
}

std::string FormatConvertedLog(const ConvertedFlight& converted)
{
    std::string text = LogHeaderLine(converted.columns);
    text.reserve(text.size() + converted.rows.size() * (converted.columns.size() * 10 + 1));
    for (const SampleRow& row : converted.rows)
    {
        const size_t start = text.size();
        AppendLogLine(&text, row, converted.columns);
        DropSignsOfZero(&text, start);
    }
    return text;
}
