#include "log/LogAttitude.h"

#include <cmath>

#include "geo/Geodesy.h"

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
