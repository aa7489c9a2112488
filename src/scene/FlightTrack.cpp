#include "scene/FlightTrack.h"

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/PrimitiveSet>

#include "geo/MapFrame.h"
#include "log/SampleTable.h"

const float ColouredLineWidth = 2.0f; // pixels

static osg::ref_ptr<osg::Group> BuildLine(const FlightRows& flight, const MapFrameValues& frame, const TrackColouring* colouring, const osg::Vec4* colour)
{
    osg::ref_ptr<osg::Group> group = new osg::Group;
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;

    const bool perRow = colouring && colouring->by != TrackColourBy::None && colouring->rowColours.size() == static_cast<size_t>(flight.count);
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    if (perRow)
        colours->assign(colouring->rowColours.begin(), colouring->rowColours.end());
    else
        colours->push_back(colour ? *colour : osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));

    // The very floats the flight path uses, so the aircraft passes through every vertex.
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->reserve(flight.count);
    for (const SampleRow& row : flight)
        vertices->push_back(ScenePosition(frame, row.gps_curlat, row.gps_curlon, row.gps_curalt));

    // No state set of its own: the line is unlit because the scene root switches lighting off.
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    // A long log's line would otherwise be compiled into a display list before the first
    // frame, which costs the software renderer more than handing over one vertex buffer.
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), perRow ? osg::Array::BIND_PER_VERTEX : osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_LINE_STRIP, 0, static_cast<GLsizei>(vertices->size())));

    // A one-pixel line shows its colour too faintly over the imagery to be read.
    if (perRow || colour)
        geometry->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(ColouredLineWidth));

    geode->addDrawable(geometry.get());
    group->addChild(geode.get());
    return group;
}

osg::ref_ptr<osg::Group> BuildTrack(const TrackColouring* colouring)
{
    return BuildTrack(TableRows(), MapFrame, colouring);
}

osg::ref_ptr<osg::Group> BuildTrack(const FlightRows& flight, const MapFrameValues& frame, const TrackColouring* colouring)
{
    return BuildLine(flight, frame, colouring, nullptr);
}

osg::ref_ptr<osg::Group> BuildTrackInColour(const FlightRows& flight, const MapFrameValues& frame, const osg::Vec4& colour)
{
    return BuildLine(flight, frame, nullptr, &colour);
}
