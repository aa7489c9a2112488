#include "scene/AttitudeConvention.h"

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
