#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

#include "export/FlightExport.h"
#include "export/ZipArchive.h"
#include "geo/Geodesy.h"
#include "log/LogKeywords.h"

namespace
{
// KML's colour: alpha, blue, green, red, two hex digits each.
std::string KmlColour(const double rgb[3], int alpha = 255)
{
    char text[16];
    auto byte = [](double value) { return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)); };
    snprintf(text, sizeof text, "%02x%02x%02x%02x", alpha, byte(rgb[2]), byte(rgb[1]), byte(rgb[0]));
    return text;
}

std::string Coordinate(double latitude, double longitude, double altitude)
{
    char text[100];
    snprintf(text, sizeof text, "%.9f,%.9f,%.3f", longitude, latitude, altitude);
    return text;
}

// A point's time for <when>: UTC when the log is dated, else the seconds of the flight
// counted from 1970-01-01 (a viewer's time slider needs a date; the description says so).
double WhenOf(const ExportPoint& point, const ExportPoint& first)
{
    if (first.utc < 0.0)
        return point.seconds;
    return point.utc >= 0.0 ? point.utc : first.utc + point.seconds;
}

// Heading, tilt and roll for <gx:angles>, as KML orients a model: its axes x east, y north
// (the nose at heading 0), z up. KML calls each positive turn "clockwise about" its axis.
// The heading's is the compass's, seen from above, so it is the course, 0 to 360. For tilt
// and roll that same reading (seen from the axis's far end) would make a positive tilt lower
// the nose, which contradicts the one sign KML states plainly, a camera's tilt that lifts
// the view from the ground to the horizon; so they are read looking along the axis, the
// right-hand turn: about x (the right wing) it raises the nose, so tilt is the pitch, nose
// up positive; about y (the nose) it lowers the right wing, so roll is the pilot's bank,
// right wing down positive. A log without attitude flies level.
void Angles(const ExportPoint& point, double* heading, double* tilt, double* roll)
{
    *heading = std::fmod(point.heading, 360.0);
    if (*heading < 0.0)
        *heading += 360.0;
    *tilt = point.pitch + 0.0; // never "-0.000"
    *roll = point.roll + 0.0;
}

// A closed ring of a circle's outline around a centre, on the sphere the project measures on.
std::vector<PlanPoint> CircleOutline(const PlanPoint& centre, double radius)
{
    std::vector<PlanPoint> ring;
    const double angular = radius / EarthRadius;
    const double lat1 = centre.latitude * RadiansPerDegree;
    const double lon1 = centre.longitude * RadiansPerDegree;
    for (int step = 0; step < 72; ++step)
    {
        const double bearing = step * TwoPi / 72.0;
        const double lat2 = std::asin(std::sin(lat1) * std::cos(angular) + std::cos(lat1) * std::sin(angular) * std::cos(bearing));
        const double lon2 = lon1 + std::atan2(std::sin(bearing) * std::sin(angular) * std::cos(lat1), std::cos(angular) - std::sin(lat1) * std::sin(lat2));
        ring.push_back(PlanPoint{lat2 * DegreesPerRadian, WrapLongitude(lon2 * DegreesPerRadian)});
    }
    return ring;
}

std::string PolygonPlacemark(const std::string& name, const std::string& style, const std::string& description, const std::vector<PlanPoint>& outline)
{
    std::string ring;
    for (size_t i = 0; i <= outline.size(); ++i)
    {
        const PlanPoint& p = outline[i % outline.size()];
        ring += Coordinate(p.latitude, p.longitude, 0.0) + " ";
    }
    std::string out = "      <Placemark><name>" + XmlEscaped(name) + "</name>";
    if (!description.empty())
        out += "<description>" + XmlEscaped(description) + "</description>";
    return out + "<styleUrl>#" + style + "</styleUrl><Polygon><tessellate>1</tessellate><altitudeMode>clampToGround</altitudeMode>" +
           "<outerBoundaryIs><LinearRing><coordinates>" + ring + "</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>\n";
}

bool Usable(const std::vector<PlanPoint>& outline)
{
    if (outline.size() < 3)
        return false;
    for (const PlanPoint& p : outline)
        if (!std::isfinite(p.latitude) || !std::isfinite(p.longitude))
            return false;
    return true;
}

// The plan's folders: each mission version's route, the fences, the rally points, a glider's
// task, the airspace.
std::string PlanFolders(const FlightPlan& plan)
{
    std::string out;
    if (!plan.missions.empty())
    {
        out += "    <Folder><name>Mission</name>\n";
        for (size_t v = 0; v < plan.missions.size(); ++v)
        {
            const MissionVersion& version = plan.missions[v];
            // Heights above sea level where every item's frame gives one; else the route is
            // laid on the ground rather than drawn at a height it does not state.
            std::vector<std::pair<PlanPoint, double>> route;
            bool absolute = true;
            for (const PlanItem& item : version.items)
            {
                if ((version.homeFirst && item.seq == 0) || !item.HasPosition() || !IsNavigationCommand(item.command))
                    continue;
                double altitude = NoValue;
                const HeightReference reference = HeightReferenceOfFrame(item.frame);
                if (reference == HeightReference::Amsl)
                    altitude = item.altitude;
                else if (reference == HeightReference::AboveHome)
                    altitude = plan.homeAltitude + item.altitude;
                absolute = absolute && std::isfinite(altitude);
                route.emplace_back(PlanPoint{item.latitude, item.longitude}, altitude);
            }
            if (route.size() < 2)
                continue;
            std::string coordinates;
            for (const auto& point : route)
                coordinates += Coordinate(point.first.latitude, point.first.longitude, absolute ? point.second : 0.0) + " ";
            out += "      <Placemark><name>mission " + std::to_string(v + 1) + " of " + std::to_string(plan.missions.size()) +
                   (version.source.empty() ? "" : " (" + XmlEscaped(version.source) + ")") + "</name><styleUrl>#mission</styleUrl><LineString>" +
                   (absolute ? "<altitudeMode>absolute</altitudeMode>" : "<tessellate>1</tessellate><altitudeMode>clampToGround</altitudeMode>") +
                   "<coordinates>" + coordinates + "</coordinates></LineString></Placemark>\n";
        }
        out += "    </Folder>\n";
    }
    if (!plan.fences.empty())
    {
        out += "    <Folder><name>Fences</name>\n";
        for (const FenceShape& fence : plan.fences)
        {
            const std::vector<PlanPoint> outline = fence.circle ? (std::isfinite(fence.radius) && fence.radius > 0.0 ? CircleOutline(fence.centre, fence.radius) : std::vector<PlanPoint>())
                                                                : fence.vertices;
            if (Usable(outline))
                out += PolygonPlacemark(fence.inclusion ? "inclusion" : "exclusion", fence.inclusion ? "fenceInclusion" : "fenceExclusion", "", outline);
        }
        out += "    </Folder>\n";
    }
    if (!plan.rally.empty())
    {
        out += "    <Folder><name>Rally points</name>\n";
        for (size_t i = 0; i < plan.rally.size(); ++i)
        {
            const RallyPoint& rally = plan.rally[i];
            if (!std::isfinite(rally.latitude) || !std::isfinite(rally.longitude))
                continue;
            const HeightReference reference = HeightReferenceOfFrame(rally.frame);
            const double altitude = reference == HeightReference::Amsl ? rally.altitude : reference == HeightReference::AboveHome ? plan.homeAltitude + rally.altitude : NoValue;
            out += "      <Placemark><name>rally " + std::to_string(i + 1) + "</name><Point><altitudeMode>" +
                   (std::isfinite(altitude) ? "absolute" : "clampToGround") + "</altitudeMode><coordinates>" +
                   Coordinate(rally.latitude, rally.longitude, std::isfinite(altitude) ? altitude : 0.0) + "</coordinates></Point></Placemark>\n";
        }
        out += "    </Folder>\n";
    }
    if (!plan.task.empty())
    {
        // The course through the turnpoints' centres, and each cylinder on the ground.
        out += "    <Folder><name>Task</name>\n";
        std::string course;
        for (const Turnpoint& point : plan.task)
        {
            if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude))
                continue;
            course += Coordinate(point.latitude, point.longitude, 0.0) + " ";
            if (std::isfinite(point.radius) && point.radius > 0.0)
                out += PolygonPlacemark(std::string(TurnpointRoleName(point.role)) + " " + point.name, "task", "",
                                        CircleOutline(PlanPoint{point.latitude, point.longitude}, point.radius));
        }
        out += "      <Placemark><name>course</name><styleUrl>#task</styleUrl><LineString><tessellate>1</tessellate><altitudeMode>clampToGround</altitudeMode>"
               "<coordinates>" + course + "</coordinates></LineString></Placemark>\n";
        out += "    </Folder>\n";
    }
    if (!plan.airspace.empty())
    {
        out += "    <Folder><name>Airspace</name>\n";
        for (const Airspace& airspace : plan.airspace)
            if (Usable(airspace.outline))
                out += PolygonPlacemark(airspace.name + " (" + airspace.airspaceClass + ")", "airspace",
                                        airspace.floor.text.empty() && airspace.ceiling.text.empty() ? "" : airspace.floor.text + " to " + airspace.ceiling.text,
                                        airspace.outline);
        out += "    </Folder>\n";
    }
    return out;
}

// The chase tour's camera: this far behind the aircraft along its heading and this high
// above it, close enough that a small aircraft's model stays in view and far enough that its
// turns do not swing the view about.
const double ChaseBehind = 60.0; // metres
const double ChaseAbove = 20.0;  // metres
// Seconds either side of a step whose headings are averaged for its camera: a log's heading
// wavers from row to row, and a camera that followed it would shake.
const double ChaseSmoothing = 2.0;
// A step a second at most, and the tour of a long flight at most about this many steps: a
// viewer loads the whole playlist before it plays.
const double MostTourSteps = 3600.0;

// The heading (degrees, clockwise from north) the camera follows at points[at]: the mean of
// the nose's headings within ChaseSmoothing seconds, as unit vectors so that 359 and 1 make 0;
// without a logged heading, the course flown across that window.
double ChaseHeading(const std::vector<ExportPoint>& points, size_t at, bool noseHeading, double previous)
{
    const double time = points[at].seconds;
    size_t from = at, to = at;
    const size_t most = 1000; // rows either side: bounds the work on a log whose clock stands still
    while (from > 0 && at - from < most && points[from - 1].seconds >= time - ChaseSmoothing)
        --from;
    while (to + 1 < points.size() && to - at < most && points[to + 1].seconds <= time + ChaseSmoothing)
        ++to;
    double east = 0.0, north = 0.0;
    if (noseHeading)
        for (size_t i = from; i <= to; ++i)
        {
            east += std::sin(points[i].heading * RadiansPerDegree);
            north += std::cos(points[i].heading * RadiansPerDegree);
        }
    else
    {
        east = (points[to].longitude - points[from].longitude) * std::cos(points[at].latitude * RadiansPerDegree);
        north = points[to].latitude - points[from].latitude;
    }
    // Hovering, or headings that cancel: the view stays as it was.
    if (std::hypot(east, north) < 1e-9)
        return previous;
    const double heading = std::atan2(east, north) * DegreesPerRadian;
    return heading < 0.0 ? heading + 360.0 : heading;
}

// A tour that flies a chase view along the track in real time: a camera behind and above the
// aircraft, looking at it, a step a second (or every few seconds on a long flight), each step
// at the track's own time so that a viewer's time slider, and with it the track's aircraft,
// keeps pace. An undated log's steps take the track's times counted from 1970.
std::string ChaseTour(const std::vector<ExportPoint>& points, const ExportPoint& first, bool noseHeading)
{
    const double span = points.back().seconds - first.seconds;
    const double stride = std::max(1.0, std::ceil(span / MostTourSteps));
    std::vector<size_t> steps;
    for (size_t i = 0; i < points.size(); ++i)
        if (steps.empty() || points[i].seconds >= points[steps.back()].seconds + stride)
            steps.push_back(i);
    // The track's end too, unless that would make two steps within a second.
    if (points.back().seconds >= points[steps.back()].seconds + 1.0)
        steps.push_back(points.size() - 1);

    const double tilt = 90.0 - std::atan2(ChaseAbove, ChaseBehind) * DegreesPerRadian; // 90 looks at the horizon
    std::string out = "    <gx:Tour><name>Chase</name><description>A view from behind the aircraft, in real time</description>\n      <gx:Playlist>\n";
    double heading = first.heading;
    double previous = points[steps.front()].seconds;
    char line[400];
    for (size_t step : steps)
    {
        const ExportPoint& point = points[step];
        heading = ChaseHeading(points, step, noseHeading, heading);
        const double back = (heading + 180.0) * RadiansPerDegree;
        const double latitude = point.latitude + ChaseBehind * std::cos(back) / EarthRadius * DegreesPerRadian;
        const double longitude =
            WrapLongitude(point.longitude + ChaseBehind * std::sin(back) / (EarthRadius * std::cos(point.latitude * RadiansPerDegree)) * DegreesPerRadian);
        snprintf(line, sizeof line,
                 "        <gx:FlyTo><gx:duration>%.3f</gx:duration><gx:flyToMode>smooth</gx:flyToMode><Camera><gx:TimeStamp><when>%s</when></gx:TimeStamp>"
                 "<longitude>%.9f</longitude><latitude>%.9f</latitude><altitude>%.3f</altitude><heading>%.3f</heading><tilt>%.3f</tilt><roll>0</roll>"
                 "<altitudeMode>absolute</altitudeMode></Camera></gx:FlyTo>\n",
                 std::max(0.0, point.seconds - previous), IsoUtc(WhenOf(point, first)).c_str(), longitude, latitude, point.altitude + ChaseAbove, heading, tilt);
        out += line;
        previous = point.seconds;
    }
    return out + "      </gx:Playlist>\n    </gx:Tour>\n";
}

// The aircraft for the KMZ: a glider of a few dozen triangles in metres, nose along +y (the
// model's north at heading 0), z up, as a KML model is placed.
std::string AircraftModel()
{
    // Boxes: centre x, y, z and half sizes; a fuselage, the wing, the tailplane and the fin.
    const double boxes[][6] = {
        {0.0, 0.0, 0.0, 0.12, 1.0, 0.12},
        {0.0, 0.25, 0.05, 1.6, 0.15, 0.02},
        {0.0, -0.9, 0.05, 0.45, 0.08, 0.015},
        {0.0, -0.9, 0.25, 0.015, 0.1, 0.2},
    };
    std::string positions;
    std::string indices;
    int vertex = 0;
    char text[120];
    for (const auto& box : boxes)
    {
        for (int corner = 0; corner < 8; ++corner)
        {
            snprintf(text, sizeof text, "%.3f %.3f %.3f ", box[0] + ((corner & 1) ? box[3] : -box[3]), box[1] + ((corner & 2) ? box[4] : -box[4]),
                     box[2] + ((corner & 4) ? box[5] : -box[5]));
            positions += text;
        }
        // Six faces, two triangles each, wound outwards.
        const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& face : faces)
        {
            snprintf(text, sizeof text, "%d %d %d %d %d %d ", vertex + face[0], vertex + face[1], vertex + face[2], vertex + face[0], vertex + face[2],
                     vertex + face[3]);
            indices += text;
        }
        vertex += 8;
    }
    const std::string triangles = std::to_string(vertex / 8 * 12);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "  <asset><unit name=\"meter\" meter=\"1\"/><up_axis>Z_UP</up_axis></asset>\n"
           "  <library_effects><effect id=\"paint\"><profile_COMMON><technique sid=\"common\"><lambert><diffuse><color>0.95 0.95 0.9 1</color></diffuse>"
           "</lambert></technique></profile_COMMON></effect></library_effects>\n"
           "  <library_materials><material id=\"white\"><instance_effect url=\"#paint\"/></material></library_materials>\n"
           "  <library_geometries><geometry id=\"glider\"><mesh>\n"
           "    <source id=\"glider-positions\"><float_array id=\"glider-array\" count=\"" +
           std::to_string(vertex * 3) + "\">" + positions +
           "</float_array><technique_common><accessor source=\"#glider-array\" count=\"" + std::to_string(vertex) +
           "\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/></accessor>"
           "</technique_common></source>\n"
           "    <vertices id=\"glider-vertices\"><input semantic=\"POSITION\" source=\"#glider-positions\"/></vertices>\n"
           "    <triangles material=\"white\" count=\"" +
           triangles + "\"><input semantic=\"VERTEX\" source=\"#glider-vertices\" offset=\"0\"/><p>" + indices +
           "</p></triangles>\n"
           "  </mesh></geometry></library_geometries>\n"
           "  <library_visual_scenes><visual_scene id=\"scene\"><node id=\"aircraft\"><instance_geometry url=\"#glider\"><bind_material><technique_common>"
           "<instance_material symbol=\"white\" target=\"#white\"/></technique_common></bind_material></instance_geometry></node></visual_scene>"
           "</library_visual_scenes>\n"
           "  <scene><instance_visual_scene url=\"#scene\"/></scene>\n"
           "</COLLADA>\n";
}

// The document; `model` names the aircraft model inside a KMZ for each track to carry.
bool Document(const ExportInput& input, const std::string& model, std::string* bytes, std::string* error)
{
    const std::vector<ExportPoint> points = ExportPoints(input);
    if (points.empty())
    {
        *error = "the flight holds no position to write";
        return false;
    }
    const LoadedFlight& flight = *input.flight;
    const ExportPoint& first = points.front();
    const double firstTime = flight.rows.front().gps_time;

    std::string description = input.altitudeDatum.empty() ? "Altitudes are metres above mean sea level, as logged." : input.altitudeDatum;
    description += first.utc >= 0.0 ? " Times are UTC." : " The log holds no date: times are the flight's seconds counted from 1970-01-01T00:00:00Z.";
    for (const std::string& note : input.altitudeNotes)
        description += "\nWarning: " + note + ".";
    for (const std::string& line : input.attribution)
        description += "\n" + line;

    std::string& out = *bytes;
    out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
          "  <Document><name>" +
          XmlEscaped(input.title) + "</name><description>" + XmlEscaped(description) + "</description>\n";

    const std::vector<FlightModeChange> changes = FlightModeChanges(flight);
    std::vector<std::string> modes; // in order of first appearance: the colours' order
    for (const FlightModeChange& change : changes)
        if (std::find(modes.begin(), modes.end(), change.name) == modes.end())
            modes.push_back(change.name);
    const size_t styles = std::max<size_t>(modes.size(), 1);
    for (size_t m = 0; m < styles; ++m)
        out += "    <Style id=\"mode" + std::to_string(m) + "\"><LineStyle><color>" + KmlColour(FlightModeColour(m)) +
               "</color><width>3</width></LineStyle><IconStyle><scale>0.6</scale></IconStyle></Style>\n";
    const double green[3] = {0.2, 0.8, 0.2}, red[3] = {0.9, 0.15, 0.15}, blue[3] = {0.3, 0.5, 1.0}, white[3] = {1.0, 1.0, 1.0};
    out += "    <Style id=\"fenceInclusion\"><LineStyle><color>" + KmlColour(green) + "</color><width>2</width></LineStyle><PolyStyle><color>" +
           KmlColour(green, 48) + "</color></PolyStyle></Style>\n";
    out += "    <Style id=\"fenceExclusion\"><LineStyle><color>" + KmlColour(red) + "</color><width>2</width></LineStyle><PolyStyle><color>" +
           KmlColour(red, 48) + "</color></PolyStyle></Style>\n";
    out += "    <Style id=\"airspace\"><LineStyle><color>" + KmlColour(blue) + "</color><width>2</width></LineStyle><PolyStyle><color>" +
           KmlColour(blue, 32) + "</color></PolyStyle></Style>\n";
    const double yellow[3] = {1.0, 0.85, 0.2};
    out += "    <Style id=\"task\"><LineStyle><color>" + KmlColour(yellow) + "</color><width>2</width></LineStyle><PolyStyle><color>" +
           KmlColour(yellow, 40) + "</color></PolyStyle></Style>\n";
    out += "    <Style id=\"mission\"><LineStyle><color>" + KmlColour(white) + "</color><width>2</width></LineStyle></Style>\n";

    // The track: one run of rows per stretch in one mode, each beginning where the last ended
    // (its last point repeated) so that the line stays whole across a change.
    std::vector<size_t> modeOf(points.size(), 0);
    if (!changes.empty())
        for (size_t i = 0; i < points.size(); ++i)
        {
            const std::string& name = changes[FlightModeAt(changes, firstTime + points[i].seconds)].name;
            modeOf[i] = static_cast<size_t>(std::find(modes.begin(), modes.end(), name) - modes.begin());
        }
    out += "    <Folder><name>Track</name>\n";
    char line[200];
    for (size_t start = 0; start < points.size();)
    {
        size_t end = start + 1;
        while (end < points.size() && modeOf[end] == modeOf[start])
            ++end;
        const size_t from = start == 0 ? 0 : start - 1;
        out += "      <Placemark><name>" + XmlEscaped(modes.empty() ? input.title : modes[modeOf[start]]) + "</name><styleUrl>#mode" +
               std::to_string(modeOf[start]) + "</styleUrl>\n        <gx:Track><altitudeMode>absolute</altitudeMode>\n";
        for (size_t i = from; i < end; ++i)
            out += "          <when>" + IsoUtc(WhenOf(points[i], first)) + "</when>\n";
        for (size_t i = from; i < end; ++i)
        {
            snprintf(line, sizeof line, "          <gx:coord>%.9f %.9f %.3f</gx:coord>\n", points[i].longitude, points[i].latitude, points[i].altitude);
            out += line;
        }
        for (size_t i = from; i < end; ++i)
        {
            double heading = 0.0, tilt = 0.0, roll = 0.0;
            Angles(points[i], &heading, &tilt, &roll);
            snprintf(line, sizeof line, "          <gx:angles>%.3f %.3f %.3f</gx:angles>\n", heading, tilt, roll);
            out += line;
        }
        if (!model.empty())
            out += "          <Model><Link><href>" + model + "</href></Link></Model>\n";
        out += "        </gx:Track></Placemark>\n";
        start = end;
    }
    out += "    </Folder>\n";

    // The events where the aircraft was at their time: between the two rows around it.
    if (!flight.events.empty())
    {
        out += "    <Folder><name>Events</name>\n";
        for (const FlightEvent& event : flight.events)
        {
            const double seconds = event.time - firstTime;
            const auto after = std::lower_bound(points.begin(), points.end(), seconds, [](const ExportPoint& p, double s) { return p.seconds < s; });
            ExportPoint at = after == points.end() ? points.back() : *after;
            if (after != points.begin() && after != points.end() && after->seconds > std::prev(after)->seconds)
            {
                const ExportPoint& before = *std::prev(after);
                const double t = (seconds - before.seconds) / (after->seconds - before.seconds);
                at.latitude = before.latitude + t * (after->latitude - before.latitude);
                at.longitude = before.longitude + t * (after->longitude - before.longitude);
                at.altitude = before.altitude + t * (after->altitude - before.altitude);
            }
            at.utc = at.utc >= 0.0 ? at.utc + (seconds - at.seconds) : -1.0;
            at.seconds = seconds;
            out += "      <Placemark><name>" + std::string(FlightEventKindName(event.kind)) + " " + XmlEscaped(event.text) + "</name><TimeStamp><when>" +
                   IsoUtc(WhenOf(at, first)) + "</when></TimeStamp><Point><altitudeMode>absolute</altitudeMode><coordinates>" +
                   Coordinate(at.latitude, at.longitude, at.altitude) + "</coordinates></Point></Placemark>\n";
        }
        out += "    </Folder>\n";
    }
    out += PlanFolders(flight.plan);
    out += ChaseTour(points, first, flight.Names(static_cast<int32_t>(ColumnKind::gps_curheading)));
    out += "  </Document>\n</kml>\n";
    return true;
}
} // namespace

bool WriteKml(const ExportInput& input, const std::string&, std::string* bytes, std::string* error)
{
    return Document(input, "", bytes, error);
}

// doc.kml first (a reader opens the first .kml it finds), then the model its tracks carry.
bool WriteKmz(const ExportInput& input, const std::string&, std::string* bytes, std::string* error)
{
    std::string document;
    if (!Document(input, "models/aircraft.dae", &document, error))
        return false;
    ZipArchive archive;
    archive.Add("doc.kml", document);
    archive.Add("models/aircraft.dae", AircraftModel());
    *bytes = archive.Bytes();
    return true;
}
