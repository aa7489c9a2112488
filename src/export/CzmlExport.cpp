#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "export/FlightExport.h"

using nlohmann::json;

namespace
{
const double Pi = 3.14159265358979323846;
const double Radians = Pi / 180.0;

// The clock of a log without a date: any fixed day will do, and a fixed one keeps the file
// the same from run to run.
const double UndatedEpoch = 946684800.0; // 2000-01-01T00:00:00Z

// How long an event's point and label stay on the globe after it.
const double EventSeconds = 20.0;

struct Vec3
{
    double x, y, z;
};

// A little-endian float, as glTF's buffers hold them, whatever the machine's order.
void PutFloat(std::string* out, double value)
{
    const float f = static_cast<float>(value);
    uint32_t word = 0;
    std::memcpy(&word, &f, sizeof word);
    for (int shift = 0; shift < 32; shift += 8)
        *out += static_cast<char>(word >> shift & 0xff);
}

// A glider of four boxes (fuselage, wing, tailplane, fin; 48 triangles), as glTF 2.0 with
// its buffer inside. Built in the body's axes (x forward, y left, z up, metres, origin near
// the centre of gravity) and written in glTF's (y up): (x, y, z) -> (x, z, -y). A viewer that
// turns glTF's y-up into its own z-up undoes exactly that, so the nose is the model's +x.
std::string GliderGltf()
{
    struct Box
    {
        Vec3 centre, half;
    };
    const Box boxes[] = {
        {{0.05, 0.0, 0.0}, {0.6, 0.05, 0.06}},   // fuselage
        {{0.1, 0.0, 0.04}, {0.1, 1.0, 0.012}},   // wing, 2 m span
        {{-0.5, 0.0, 0.04}, {0.06, 0.3, 0.008}}, // tailplane
        {{-0.5, 0.0, 0.16}, {0.07, 0.006, 0.12}}, // fin
    };
    std::string positions, normals;
    Vec3 low{1e9, 1e9, 1e9}, high{-1e9, -1e9, -1e9};
    int count = 0;
    auto put = [&](const Vec3& p, const Vec3& n) {
        const Vec3 g{p.x, p.z, -p.y}, gn{n.x, n.z, -n.y};
        PutFloat(&positions, g.x);
        PutFloat(&positions, g.y);
        PutFloat(&positions, g.z);
        PutFloat(&normals, gn.x);
        PutFloat(&normals, gn.y);
        PutFloat(&normals, gn.z);
        low = {std::min(low.x, static_cast<double>(static_cast<float>(g.x))), std::min(low.y, static_cast<double>(static_cast<float>(g.y))),
               std::min(low.z, static_cast<double>(static_cast<float>(g.z)))};
        high = {std::max(high.x, static_cast<double>(static_cast<float>(g.x))), std::max(high.y, static_cast<double>(static_cast<float>(g.y))),
                std::max(high.z, static_cast<double>(static_cast<float>(g.z)))};
        ++count;
    };
    for (const Box& box : boxes)
    {
        const double centre[3] = {box.centre.x, box.centre.y, box.centre.z};
        const double half[3] = {box.half.x, box.half.y, box.half.z};
        for (int axis = 0; axis < 3; ++axis)
            for (int sign = -1; sign <= 1; sign += 2)
            {
                // Two axes across the face whose cross product is its outward normal, so
                // that the corners below run counter-clockwise seen from outside.
                int u = (axis + 1) % 3, v = (axis + 2) % 3;
                if (sign < 0)
                    std::swap(u, v);
                auto corner = [&](int su, int sv) {
                    double p[3] = {centre[0], centre[1], centre[2]};
                    p[axis] += sign * half[axis];
                    p[u] += su * half[u];
                    p[v] += sv * half[v];
                    return Vec3{p[0], p[1], p[2]};
                };
                Vec3 normal{0.0, 0.0, 0.0};
                (axis == 0 ? normal.x : axis == 1 ? normal.y : normal.z) = sign;
                const Vec3 a = corner(-1, -1), b = corner(1, -1), c = corner(1, 1), d = corner(-1, 1);
                for (const Vec3& p : {a, b, c, a, c, d})
                    put(p, normal);
            }
    }
    const std::string buffer = positions + normals;
    const json gltf = {
        {"asset", {{"version", "2.0"}, {"generator", "flightreplay"}}},
        {"scene", 0},
        {"scenes", json::array({{{"nodes", {0}}}})},
        {"nodes", json::array({{{"mesh", 0}, {"name", "glider"}}})},
        {"meshes", json::array({{{"primitives", json::array({{{"attributes", {{"POSITION", 0}, {"NORMAL", 1}}}, {"material", 0}, {"mode", 4}}})}}})},
        {"materials", json::array({{{"pbrMetallicRoughness", {{"baseColorFactor", {0.95, 0.95, 1.0, 1.0}}, {"metallicFactor", 0.0}, {"roughnessFactor", 0.6}}},
                                    {"doubleSided", true}}})},
        {"buffers", json::array({{{"byteLength", buffer.size()}, {"uri", "data:application/octet-stream;base64," + Base64(buffer)}}})},
        {"bufferViews", json::array({{{"buffer", 0}, {"byteOffset", 0}, {"byteLength", positions.size()}, {"target", 34962}},
                                     {{"buffer", 0}, {"byteOffset", positions.size()}, {"byteLength", normals.size()}, {"target", 34962}}})},
        {"accessors", json::array({{{"bufferView", 0},
                                    {"componentType", 5126},
                                    {"count", count},
                                    {"type", "VEC3"},
                                    {"min", {low.x, low.y, low.z}},
                                    {"max", {high.x, high.y, high.z}}},
                                   {{"bufferView", 1}, {"componentType", 5126}, {"count", count}, {"type", "VEC3"}}})},
    };
    return gltf.dump();
}

struct Quaternion
{
    double w, x, y, z;
};

Quaternion operator*(const Quaternion& a, const Quaternion& b)
{
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// A turn by `angle` radians about the x, y or z axis (0, 1, 2), counter-clockwise looking
// down the axis.
Quaternion About(int axis, double angle)
{
    const double s = std::sin(angle / 2.0);
    return {std::cos(angle / 2.0), axis == 0 ? s : 0.0, axis == 1 ? s : 0.0, axis == 2 ? s : 0.0};
}

// The body's rotation into the Earth-fixed frame (x through latitude 0 longitude 0, z through
// the north pole). Body axes x forward, y left, z up. At the point, east-north-up is the
// Earth's frame turned by the longitude plus a quarter turn about z, then by the colatitude
// about the new x (east); in that frame the nose is turned from east to the heading (a turn
// about up by 90 degrees less the heading), raised by the pitch (a turn about the left wing,
// negative to raise the nose) and banked (a turn about the nose, positive to drop the right
// wing).
Quaternion BodyToEarth(const ExportPoint& p)
{
    return About(2, (p.longitude + 90.0) * Radians) * About(0, (90.0 - p.latitude) * Radians) * About(2, (90.0 - p.heading) * Radians) *
           About(1, -p.pitch * Radians) * About(0, p.roll * Radians);
}

// A value to 1/`scale` (a nanodegree, a millimetre): divided back by the power of ten, it is
// the double nearest the decimal, which the JSON writer then prints in its few digits.
double Rounded(double value, double scale)
{
    return std::round(value * scale) / scale + 0.0;
}
} // namespace

// CZML: a document packet with the clock over the flight (three times real time, stopping at
// its end), the aircraft's packet, and a packet per event.
//
// The aircraft's position is cartographicDegrees samples from an epoch at the first point.
// Heights in CZML are above the ellipsoid; the log's are above sea level, written as they
// are: the globe's terrain in such viewers is on the same footing only where the geoid is
// near the ellipsoid, which no log tells us. Its orientation is unitQuaternion samples
// (x, y, z, w) of the body's rotation into the Earth-fixed frame, assuming the viewer's model
// axes are x forward, y left, z up, as the glider below is made for. Each quaternion takes
// the sign nearest the one before it, so that interpolation between samples takes the short way.
//
// The model is a glTF made here and embedded as a data URI, so that the export stays one file
// written whole. Events are points with labels where the aircraft was, shown for
// EventSeconds from their time.
bool WriteCzml(const ExportInput& input, const std::string&, std::string* bytes, std::string* error)
{
    const std::vector<ExportPoint> points = ExportPoints(input);
    if (points.empty())
    {
        *error = "the flight holds no position to write";
        return false;
    }
    const LoadedFlight& flight = *input.flight;
    const ExportPoint& first = points.front();
    // The UTC of the flight's second 0 (its first row), and of the first point.
    const double zero = first.utc >= 0.0 ? first.utc - first.seconds : UndatedEpoch;
    const double begin = zero + first.seconds;
    const double end = zero + points.back().seconds;
    const std::string epoch = IsoUtc(begin);
    const std::string interval = epoch + "/" + IsoUtc(end);

    json positions = json::array(), orientations = json::array();
    Quaternion last{1.0, 0.0, 0.0, 0.0};
    for (const ExportPoint& p : points)
    {
        const double t = Rounded(p.seconds - first.seconds, 1e3);
        for (double value : {t, Rounded(p.longitude, 1e9), Rounded(p.latitude, 1e9), Rounded(p.altitude, 1e3)})
            positions.push_back(value);
        Quaternion q = BodyToEarth(p);
        if (q.w * last.w + q.x * last.x + q.y * last.y + q.z * last.z < 0.0)
            q = {-q.w, -q.x, -q.y, -q.z};
        last = q;
        for (double value : {t, Rounded(q.x, 1e9), Rounded(q.y, 1e9), Rounded(q.z, 1e9), Rounded(q.w, 1e9)})
            orientations.push_back(value);
    }

    json packets = json::array();
    packets.push_back({{"id", "document"},
                       {"name", input.title},
                       {"version", "1.0"},
                       {"clock", {{"interval", interval}, {"currentTime", epoch}, {"multiplier", 3}, {"range", "CLAMPED"}, {"step", "SYSTEM_CLOCK_MULTIPLIER"}}}});
    json aircraft = {
        {"id", "aircraft"},
        {"name", input.title},
        {"availability", interval},
        {"position", {{"epoch", epoch}, {"interpolationAlgorithm", "LINEAR"}, {"cartographicDegrees", positions}}},
        {"orientation", {{"epoch", epoch}, {"unitQuaternion", orientations}}},
        {"model", {{"gltf", "data:model/gltf+json;base64," + Base64(GliderGltf())}, {"minimumPixelSize", 48}, {"maximumScale", 200}}},
        {"path",
         {{"show", true},
          {"width", 2},
          {"leadTime", 0},
          {"resolution", 1},
          {"material", {{"solidColor", {{"color", {{"rgba", {255, 170, 0, 255}}}}}}}}}},
    };
    if (!input.attribution.empty() || !input.altitudeNotes.empty())
    {
        std::string credits;
        for (const std::string& line : input.attribution)
            credits += (credits.empty() ? "" : "\n") + line;
        for (const std::string& note : input.altitudeNotes)
            credits += (credits.empty() ? "Warning: " : "\nWarning: ") + note + ".";
        aircraft["description"] = credits;
    }
    packets.push_back(aircraft);

    // An event stands where the aircraft was at its time: the last point at or before it.
    const double firstRow = flight.rows.empty() ? 0.0 : flight.rows.front().gps_time;
    size_t number = 0;
    for (const FlightEvent& event : flight.events)
    {
        const double seconds = event.time - firstRow;
        if (!std::isfinite(seconds))
            continue;
        const auto after = std::upper_bound(points.begin(), points.end(), seconds, [](double t, const ExportPoint& each) { return t < each.seconds; });
        const ExportPoint& p = after == points.begin() ? points.front() : *(after - 1);
        const double from = zero + std::max(seconds, first.seconds);
        const std::string text = event.text.empty() ? FlightEventKindName(event.kind) : event.text;
        packets.push_back({{"id", "event-" + std::to_string(++number)},
                           {"name", text},
                           {"availability", IsoUtc(from) + "/" + IsoUtc(from + EventSeconds)},
                           {"position", {{"cartographicDegrees", {Rounded(p.longitude, 1e9), Rounded(p.latitude, 1e9), Rounded(p.altitude, 1e3)}}}},
                           {"point", {{"pixelSize", 8}, {"color", {{"rgba", {255, 60, 60, 255}}}}}},
                           {"label", {{"text", text}, {"font", "13px sans-serif"}, {"pixelOffset", {{"cartesian2", {0, -18}}}}}}});
    }
    // A packet a line: readable, and a tenth the size of one value a line.
    std::string& out = *bytes;
    out = "[\n";
    for (size_t i = 0; i < packets.size(); ++i)
        // A log's message or a file's name may hold bytes that are not UTF-8: replaced, not thrown on.
        out += packets[i].dump(-1, ' ', false, json::error_handler_t::replace) + (i + 1 < packets.size() ? ",\n" : "\n");
    out += "]\n";
    return true;
}
