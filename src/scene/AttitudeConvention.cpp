#include "scene/AttitudeConvention.h"

#include <cmath>

#include "geo/MapFrame.h"

osg::Quat LoggedAttitude(double heading, double pitch, double roll)
{
    osg::Quat qHeading;
    osg::Quat qPitch;
    osg::Quat qRoll;
    qHeading.makeRotate(heading, osg::Vec3f(0.0f, 0.0f, 1.0f));
    qPitch.makeRotate(pitch, osg::Vec3f(1.0f, 0.0f, 0.0f));
    qRoll.makeRotate(roll, osg::Vec3f(0.0f, -1.0f, 0.0f));
    // The product applies its left operand first.
    return (qRoll * qPitch) * qHeading;
}

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
