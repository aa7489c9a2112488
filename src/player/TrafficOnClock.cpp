#include "player/TrafficOnClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osg/StateSet>

#include "geo/Geodesy.h"

namespace
{

// Magenta stands out over imagery, sky and the track's own colours alike.
const osg::Vec4 TrafficColour(1.0f, 0.1f, 0.9f, 1.0f);
const float TrailWidth = 2.0f;
const float LabelSize = 16.0f; // pixels
const double LabelAbove = 12.0; // metres over the aircraft
// Far off, the shape is drawn this many pixels to its metre rather than at its size, so that
// an aircraft a kilometre away still shows its heading.
const double PixelsPerMetre = 3.0;

double WrapDegrees(double degrees)
{
    return std::remainder(degrees, 360.0);
}

// Metres north and east from a to b, flat: the reports of one aircraft lie close together.
double CourseDegrees(const TimedTraffic& a, const TimedTraffic& b)
{
    const double north = (b.latitude - a.latitude) * RadiansPerDegree;
    const double east = (b.longitude - a.longitude) * RadiansPerDegree * std::cos(a.latitude * RadiansPerDegree);
    if (north == 0.0 && east == 0.0)
        return NAN;
    const double course = std::atan2(east, north) / RadiansPerDegree;
    return course < 0.0 ? course + 360.0 : course;
}

// A small aeroplane of about 12 m, made here: nose to the north (the frame's -x), right wing
// to the east (+y), in metres.
osg::ref_ptr<osg::Geometry> AeroplaneShape()
{
    const float triangles[][3][3] = {
        {{-6.0f, 0.0f, 0.0f}, {5.0f, -0.9f, 0.0f}, {5.0f, 0.9f, 0.0f}},   // fuselage
        {{-2.0f, 0.0f, 0.0f}, {1.5f, -6.0f, 0.0f}, {1.5f, 6.0f, 0.0f}},   // wings
        {{4.0f, 0.0f, 0.0f}, {6.0f, -2.5f, 0.0f}, {6.0f, 2.5f, 0.0f}},    // tailplane
        {{3.5f, 0.0f, 0.0f}, {6.0f, 0.0f, 0.0f}, {6.0f, 0.0f, 2.5f}},     // fin
    };
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (const auto& triangle : triangles)
        for (const auto& corner : triangle)
            vertices->push_back(osg::Vec3(corner[0], corner[1], corner[2]));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(TrafficColour);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices->size())));
    return geometry;
}

} // namespace

std::vector<TrafficTrack> TracksOfTraffic(const std::vector<TimedTraffic>& traffic)
{
    std::map<uint32_t, TrafficTrack> byAddress;
    for (const TimedTraffic& report : traffic)
    {
        TrafficTrack& track = byAddress[report.address];
        track.address = report.address;
        track.reports.push_back(report);
    }
    std::vector<TrafficTrack> tracks;
    for (auto& entry : byAddress)
    {
        TrafficTrack& track = entry.second;
        std::stable_sort(track.reports.begin(), track.reports.end(), [](const TimedTraffic& a, const TimedTraffic& b) { return a.time < b.time; });
        TimedTraffic named;
        named.address = track.address;
        for (const TimedTraffic& report : track.reports)
            if (!report.callsign.empty())
                named.callsign = report.callsign;
        track.name = TrafficName(named);
        // Each unknown altitude from the nearest known one before it, else after it.
        double known = NAN;
        for (TimedTraffic& report : track.reports)
            report.altitude = std::isfinite(report.altitude) ? (known = report.altitude) : known;
        known = NAN;
        for (auto report = track.reports.rbegin(); report != track.reports.rend(); ++report)
            report->altitude = std::isfinite(report->altitude) ? (known = report->altitude) : known;
        tracks.push_back(std::move(track));
    }
    return tracks;
}

bool TrafficPlaceAt(const TrafficTrack& track, double time, TimedTraffic* place)
{
    const std::vector<TimedTraffic>& reports = track.reports;
    if (reports.empty() || !std::isfinite(time) || time < reports.front().time)
        return false;
    const auto after = std::upper_bound(reports.begin(), reports.end(), time, [](double t, const TimedTraffic& r) { return t < r.time; });
    const TimedTraffic& a = *(after - 1);
    if (time - a.time > TrafficHeldFor)
        return false;
    *place = a;
    place->time = time;
    if (after == reports.end() || after->time - a.time > TrafficHeldFor)
    {
        if (!std::isfinite(place->heading) && after != reports.begin() + 1)
            place->heading = CourseDegrees(*(after - 2), a);
        return true;
    }
    const TimedTraffic& b = *after;
    const double f = b.time > a.time ? (time - a.time) / (b.time - a.time) : 0.0;
    place->latitude = a.latitude + f * (b.latitude - a.latitude);
    place->longitude = a.longitude + f * (b.longitude - a.longitude);
    place->altitude = a.altitude + f * (b.altitude - a.altitude);
    if (std::isfinite(a.heading) && std::isfinite(b.heading))
    {
        place->heading = a.heading + f * WrapDegrees(b.heading - a.heading);
        place->heading = place->heading < 0.0 ? place->heading + 360.0 : std::fmod(place->heading, 360.0);
    }
    else
        place->heading = std::isfinite(a.heading) ? a.heading : CourseDegrees(a, b);
    if (std::isfinite(a.speed) && std::isfinite(b.speed))
        place->speed = a.speed + f * (b.speed - a.speed);
    return true;
}

TrafficOnClock::TrafficOnClock(const MapFrameValues& frame, osgText::Font* font) : frame(frame), font(font), root(new osg::Group)
{
    osg::StateSet* state = root->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    state->setAttributeAndModes(new osg::LineWidth(TrailWidth));
    osg::ref_ptr<osg::MatrixTransform> scaled = new osg::MatrixTransform(osg::Matrix::scale(PixelsPerMetre, PixelsPerMetre, PixelsPerMetre));
    scaled->addChild(AeroplaneShape().get());
    shape = scaled;
}

void TrafficOnClock::Build(const std::vector<TimedTraffic>& traffic)
{
    root->removeChildren(0, root->getNumChildren());
    drawn.clear();
    for (TrafficTrack& track : TracksOfTraffic(traffic))
    {
        Drawn d;
        d.track = std::move(track);
        d.mover = new osg::AutoTransform;
        d.mover->setDataVariance(osg::Object::DYNAMIC);
        d.mover->setAutoScaleToScreen(true);
        d.mover->setMinimumScale(frame.k / PixelsPerMetre); // near, its own size
        d.mover->addChild(shape.get());
        d.label = new osgText::Text;
        d.label->setDataVariance(osg::Object::DYNAMIC);
        if (font)
            d.label->setFont(font.get());
        d.label->setCharacterSizeMode(osgText::Text::SCREEN_COORDS);
        d.label->setCharacterSize(LabelSize);
        d.label->setAxisAlignment(osgText::Text::SCREEN);
        d.label->setAlignment(osgText::Text::LEFT_BOTTOM);
        d.label->setColor(TrafficColour);
        d.label->setBackdropType(osgText::Text::DROP_SHADOW_BOTTOM_RIGHT);
        d.label->setBackdropColor(osg::Vec4(0.0f, 0.0f, 0.0f, 0.9f));
        d.trail = new osg::Geometry;
        d.trail->setDataVariance(osg::Object::DYNAMIC);
        d.trail->setUseDisplayList(false);
        d.trail->setUseVertexBufferObjects(true);
        d.trail->setVertexArray(new osg::Vec3Array);
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        colours->push_back(TrafficColour);
        d.trail->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
        d.trail->addPrimitiveSet(new osg::DrawArrays(GL_LINE_STRIP, 0, 0));
        osg::ref_ptr<osg::Geode> marks = new osg::Geode;
        marks->addDrawable(d.label.get());
        marks->addDrawable(d.trail.get());
        osg::ref_ptr<osg::Group> aircraft = new osg::Group;
        aircraft->addChild(d.mover.get());
        aircraft->addChild(marks.get());
        aircraft->setNodeMask(0u);
        root->addChild(aircraft.get());
        drawn.push_back(std::move(d));
    }
    builtFrom = traffic.data();
    builtSize = traffic.size();
}

void TrafficOnClock::ShowAt(const std::vector<TimedTraffic>& traffic, double time)
{
    if (traffic.data() != builtFrom || traffic.size() != builtSize)
        Build(traffic);
    shown = 0;
    for (size_t i = 0; i < drawn.size(); ++i)
    {
        Drawn& d = drawn[i];
        osg::Node* aircraft = root->getChild(static_cast<unsigned int>(i));
        TimedTraffic place;
        if (!TrafficPlaceAt(d.track, time, &place) || !std::isfinite(place.altitude))
        {
            aircraft->setNodeMask(0u);
            continue;
        }
        aircraft->setNodeMask(~0u);
        ++shown;
        const osg::Vec3d at(ScenePosition(frame, place.latitude * 60.0, place.longitude * 60.0, place.altitude));
        const double heading = std::isfinite(place.heading) ? place.heading * RadiansPerDegree : 0.0;
        // Clockwise from north seen from above, in a frame whose x points south and y east.
        d.mover->setRotation(osg::Quat(-heading, osg::Vec3d(0.0, 0.0, 1.0)));
        d.mover->setPosition(at);

        char text[96];
        snprintf(text, sizeof text, "%s %.0f m", d.track.name.c_str(), place.altitude);
        if (d.text != text)
        {
            d.text = text;
            d.label->setText(d.text);
        }
        d.label->setPosition(osg::Vec3(at + osg::Vec3d(0.0, 0.0, LabelAbove * frame.k)));

        osg::Vec3Array* vertices = static_cast<osg::Vec3Array*>(d.trail->getVertexArray());
        vertices->clear();
        const std::vector<TimedTraffic>& reports = d.track.reports;
        auto report = std::lower_bound(reports.begin(), reports.end(), time - TrafficTrailSeconds, [](const TimedTraffic& r, double t) { return r.time < t; });
        for (; report != reports.end() && report->time <= time; ++report)
            vertices->push_back(ScenePosition(frame, report->latitude * 60.0, report->longitude * 60.0, report->altitude));
        vertices->push_back(osg::Vec3(at));
        vertices->dirty();
        static_cast<osg::DrawArrays*>(d.trail->getPrimitiveSet(0))->setCount(static_cast<GLsizei>(vertices->size()));
        d.trail->dirtyBound();
    }
}
