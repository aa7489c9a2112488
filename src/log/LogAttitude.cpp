#include "log/LogAttitude.h"

#include <cmath>

#include "geo/Geodesy.h"
#include "log/SampleTable.h"

static double Wrap(double angle, double low)
{
    double wrapped = std::fmod(angle - low, TwoPi);
    if (wrapped < 0.0)
        wrapped += TwoPi;
    return wrapped + low;
}

double LogHeading(double course)
{
    // Into (-pi, pi]: wrap into [-pi, pi) and move -pi over to pi.
    const double heading = Wrap(Pi / 2.0 - course, -Pi);
    return heading == -Pi ? Pi : heading;
}

double CourseOfLogHeading(double heading)
{
    return Wrap(Pi / 2.0 - heading, 0.0);
}

double LogRoll(double bank)
{
    return -bank;
}

double LogPitch(double pitch)
{
    return pitch;
}

double BankOfLogRoll(double roll)
{
    return -roll;
}

double PitchOfLogPitch(double pitch)
{
    return pitch;
}

bool HeadingIsCourse(const SampleRow* rows, int32_t count)
{
    const double fastEnough = 2.0;        // m/s: slower, the rounding of the positions shows
    const double agreement = 0.02;        // radians: the written precision of both columns
    const double metresPerMinute = EarthRadius * RadiansPerMinute;
    int32_t moving = 0;
    int32_t agreeing = 0;
    for (int32_t i = 1; i + 1 < count; ++i)
    {
        const SampleRow& a = rows[i - 1];
        const SampleRow& b = rows[i + 1];
        const double seconds = b.gps_time - a.gps_time;
        if (a.samplenumber + 1 != rows[i].samplenumber || rows[i].samplenumber + 1 != b.samplenumber || !(seconds > 0.0))
            continue;
        const double north = (b.gps_curlat - a.gps_curlat) * metresPerMinute;
        const double east = (b.gps_curlon - a.gps_curlon) * metresPerMinute * std::cos(rows[i].gps_curlat * RadiansPerMinute);
        if (!(std::hypot(north, east) >= fastEnough * seconds))
            continue;
        ++moving;
        const double off = Wrap(CourseOfLogHeading(rows[i].gps_curheading) - std::atan2(east, north), -Pi);
        if (std::fabs(off) <= agreement)
            ++agreeing;
    }
    return moving >= 10 && agreeing >= 0.9 * moving;
}
