#include "player/WindOnClock.h"

#include <cmath>
#include <cstdio>

#include <osg/Geode>
#include <osg/Material>
#include <osg/ShapeDrawable>

#include "geo/Geodesy.h"

std::string WindLine(const TimedWind& wind, double heading)
{
    // The eight arrows from up clockwise, the way the air goes relative to the nose.
    static const char* const Arrows[8] = {"↑", "↗", "→", "↘", "↓", "↙", "←", "↖"};
    const double from = WindFromDegrees(wind);
    const double goes = std::fmod(from + 180.0 - heading + 720.0 + 22.5, 360.0);
    const int arrow = std::min(7, std::max(0, static_cast<int>(goes / 45.0)));
    char line[160];
    snprintf(line, sizeof line, "wind from %03ld° %.1f m/s %s (%s)", std::lround(from) % 360, WindSpeed(wind), Arrows[arrow], wind.source.c_str());
    return line;
}

namespace
{
osg::ref_ptr<osg::Geode> LitShape(osg::Shape* shape, const osg::Vec4& colour)
{
    osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(shape);
    drawable->setColor(colour);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(drawable.get());
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setColorMode(osg::Material::AMBIENT_AND_DIFFUSE);
    geode->getOrCreateStateSet()->setAttributeAndModes(material.get(), osg::StateAttribute::ON);
    return geode;
}
} // namespace

Windsock::Windsock(const osg::Vec3d& foot, double k) : pole(new osg::MatrixTransform(osg::Matrixd::translate(foot))), sock(new osg::MatrixTransform), k(k)
{
    const float height = static_cast<float>(6.0 * k);
    pole->addChild(LitShape(new osg::Cylinder(osg::Vec3(0.0f, 0.0f, height / 2.0f), static_cast<float>(0.05 * k), height), osg::Vec4(0.75f, 0.75f, 0.75f, 1.0f)).get());
    // The sock along its own +y from the pole's top: five hoops of red and white, narrowing.
    const int hoops = 5;
    const double length = 1.6, mouth = 0.25;
    for (int i = 0; i < hoops; ++i)
    {
        const double radius = mouth * (1.0 - 0.1 * i);
        osg::ref_ptr<osg::Cylinder> hoop = new osg::Cylinder(osg::Vec3(0.0f, static_cast<float>((i + 0.5) * length / hoops * k), 0.0f), static_cast<float>(radius * k),
                                                             static_cast<float>(length / hoops * k));
        hoop->setRotation(osg::Quat(Pi / 2.0, osg::Vec3d(1.0, 0.0, 0.0)));
        sock->addChild(LitShape(hoop.get(), i % 2 ? osg::Vec4(0.95f, 0.95f, 0.95f, 1.0f) : osg::Vec4(0.9f, 0.25f, 0.1f, 1.0f)).get());
    }
    pole->addChild(sock.get());
    pole->getOrCreateStateSet()->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);
    Show(nullptr);
}

void Windsock::Show(const TimedWind* wind)
{
    pole->setNodeMask(wind ? ~0u : 0u);
    if (!wind)
        return;
    const double speed = WindSpeed(*wind);
    // The frame's x points south and y east; the sock points where the air goes.
    osg::Vec3d along(-wind->north, wind->east, 0.0);
    const double droop = (1.0 - std::min(1.0, speed / SockFullyOut)) * 80.0 * Pi / 180.0;
    if (along.length() > 1e-6)
        along.normalize();
    else
        along = osg::Vec3d(0.0, 1.0, 0.0);
    streaming = along * std::cos(droop) + osg::Vec3d(0.0, 0.0, -1.0) * std::sin(droop);
    osg::Quat turn;
    turn.makeRotate(osg::Vec3d(0.0, 1.0, 0.0), streaming);
    sock->setMatrix(osg::Matrixd::rotate(turn) * osg::Matrixd::translate(0.0, 0.0, 6.0 * k));
}
