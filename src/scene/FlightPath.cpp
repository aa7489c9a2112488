#include "scene/FlightPath.h"

#include <cmath>

#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "scene/AttitudeConvention.h"

osg::AnimationPath::ControlPoint FlightPathPoint(const MapFrameValues& frame, const SampleRow& row)
{
    // The track's floats, widened back: the aircraft passes exactly through its vertices.
    const osg::Vec3f position = ScenePosition(frame, row.gps_curlat, row.gps_curlon, row.gps_curalt);
    const osg::Quat attitude = LoggedAttitude(row.gps_curheading, row.pyro_curpitch, row.pyro_curroll);
    return osg::AnimationPath::ControlPoint(osg::Vec3d(position), attitude);
}

osg::AnimationPath::ControlPoint FlightPathPoint(const SampleRow& row)
{
    return FlightPathPoint(MapFrame, row);
}

osg::ref_ptr<osg::AnimationPath> BuildFlightPath()
{
    return BuildFlightPath(TableRows(), MapFrame);
}

osg::ref_ptr<osg::AnimationPath> BuildFlightPath(const FlightRows& flight, const MapFrameValues& frame)
{
    osg::ref_ptr<osg::AnimationPath> path = new osg::AnimationPath;
    path->setLoopMode(osg::AnimationPath::LOOP);

    // A log with no two consecutive sample numbers leaves SampleStep 0/0. NaN keys would
    // break the path's time-ordered map, so such a flight plays at one second per row.
    const double step = std::isfinite(flight.step) ? flight.step : 1.0;

    // Times grow with the row index, so each point goes in at the end of the time map in
    // constant time; AnimationPath::insert would search the tree for every one of 100000
    // rows. A time already there (a step of 0) still has its point replaced, as insert does.
    osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();

    for (int32_t i = 0; i < flight.count; ++i)
    {
        const double time = i * step / ReplaySpeedUp;
        points.insert_or_assign(points.end(), time, FlightPathPoint(frame, flight[i]));
    }
    return path;
}
