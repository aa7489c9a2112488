#include "worldgen/AircraftModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "geo/MapProjection.h"

namespace
{

enum Material
{
    Foam = 0,
    Red = 1,
    Dark = 2,
};

// A closed tube through rings of equal point count, capped at both ends. The polygons
// are turned to face outwards afterwards, whatever order the rings were given in.
// `materialOf(ring)` colours the band between ring and ring + 1 (and a cap its ring).
AcObject Loft(const std::string& name, const std::vector<std::vector<osg::Vec3d>>& rings,
              const std::function<int(size_t)>& materialOf, bool smooth)
{
    AcObject object;
    object.name = name;
    object.smooth = smooth;
    const size_t count = rings.front().size();
    for (const std::vector<osg::Vec3d>& ring : rings)
        object.vertices.insert(object.vertices.end(), ring.begin(), ring.end());
    for (size_t r = 0; r + 1 < rings.size(); ++r)
    {
        for (size_t k = 0; k < count; ++k)
        {
            const int a = static_cast<int>(r * count + k);
            const int b = static_cast<int>(r * count + (k + 1) % count);
            const int c = static_cast<int>((r + 1) * count + (k + 1) % count);
            const int d = static_cast<int>((r + 1) * count + k);
            object.polygons.push_back(AcPolygon{materialOf(r), {a, b, c, d}});
        }
    }
    AcPolygon first{materialOf(0), {}};
    AcPolygon last{materialOf(rings.size() - 2), {}};
    for (size_t k = 0; k < count; ++k)
    {
        first.vertices.push_back(static_cast<int>(count - 1 - k));
        last.vertices.push_back(static_cast<int>((rings.size() - 1) * count + k));
    }
    object.polygons.push_back(first);
    object.polygons.push_back(last);
    if (SignedVolume(object) < 0.0)
        for (AcPolygon& polygon : object.polygons)
            std::reverse(polygon.vertices.begin(), polygon.vertices.end());
    return object;
}

// An elliptic ring across the x axis: centre (x, cy, 0), half-height ry, half-width rz.
std::vector<osg::Vec3d> BodyRing(double x, double cy, double ry, double rz, int points)
{
    std::vector<osg::Vec3d> ring;
    for (int k = 0; k < points; ++k)
    {
        const double a = TwoPi * k / points;
        ring.emplace_back(x, cy + ry * std::cos(a), rz * std::sin(a));
    }
    return ring;
}

// A cambered airfoil (NACA 4-digit shape) in the x-y plane: leading edge at (x, y),
// chord along +x. thickness and camber are fractions of the chord.
std::vector<osg::Vec3d> Airfoil(double x, double y, double z, double chord, double thickness, double camber)
{
    const int stations = 9;
    std::vector<osg::Vec3d> upper;
    std::vector<osg::Vec3d> lower;
    for (int i = 0; i < stations; ++i)
    {
        const double xi = 0.5 * (1.0 - std::cos(Pi * i / (stations - 1))); // packed at both edges
        const double half = 5.0 * thickness
            * (0.2969 * std::sqrt(xi) - 0.126 * xi - 0.3516 * xi * xi + 0.2843 * xi * xi * xi
               - 0.1036 * xi * xi * xi * xi); // closed trailing edge
        const double p = 0.4;
        const double mean = xi < p ? camber / (p * p) * (2.0 * p * xi - xi * xi)
                                   : camber / ((1.0 - p) * (1.0 - p)) * (1.0 - 2.0 * p + 2.0 * p * xi - xi * xi);
        upper.emplace_back(x + xi * chord, y + (mean + half) * chord, z);
        lower.emplace_back(x + xi * chord, y + (mean - half) * chord, z);
    }
    // Leading edge, along the top to the trailing edge, back along the bottom.
    std::vector<osg::Vec3d> ring(upper.begin(), upper.end());
    for (int i = stations - 2; i >= 1; --i)
        ring.push_back(lower[i]);
    return ring;
}

// A thin symmetric section for the tail surfaces, lying in the plane spanned by x and
// `across` (the direction of the surface's thickness).
std::vector<osg::Vec3d> TailSection(const osg::Vec3d& leadingEdge, double chord, double thickness,
                                    const osg::Vec3d& across)
{
    std::vector<osg::Vec3d> ring = Airfoil(0.0, 0.0, 0.0, chord, thickness, 0.0);
    for (osg::Vec3d& p : ring)
        p = leadingEdge + osg::Vec3d(p.x(), 0.0, 0.0) + across * p.y();
    return ring;
}

} // namespace

double SignedVolume(const AcObject& object)
{
    double volume = 0.0;
    for (const AcPolygon& polygon : object.polygons)
    {
        const osg::Vec3d& p0 = object.vertices[polygon.vertices[0]];
        for (size_t k = 1; k + 1 < polygon.vertices.size(); ++k)
        {
            const osg::Vec3d& p1 = object.vertices[polygon.vertices[k]];
            const osg::Vec3d& p2 = object.vertices[polygon.vertices[k + 1]];
            volume += p0 * (p1 ^ p2) / 6.0;
        }
    }
    return volume;
}

AcModel MakeGliderModel()
{
    AcModel model;
    model.materials = {{"foam", 0.93, 0.92, 0.88}, {"red", 0.82, 0.13, 0.10}, {"dark", 0.17, 0.17, 0.19}};
    const auto foam = [](size_t) { return static_cast<int>(Foam); };
    const auto red = [](size_t) { return static_cast<int>(Red); };
    const auto dark = [](size_t) { return static_cast<int>(Dark); };

    // Fuselage: (x, centre height, half-height, half-width) stations from nose to tail.
    const double body[][4] = {
        {-0.420, 0.000, 0.004, 0.004}, {-0.410, 0.000, 0.018, 0.016}, {-0.380, 0.005, 0.035, 0.030},
        {-0.330, 0.010, 0.050, 0.042}, {-0.250, 0.015, 0.060, 0.048}, {-0.150, 0.018, 0.064, 0.050},
        {-0.050, 0.018, 0.062, 0.048}, {0.050, 0.016, 0.052, 0.042},   {0.130, 0.014, 0.038, 0.032},
        {0.220, 0.014, 0.024, 0.020},  {0.320, 0.016, 0.016, 0.014},   {0.440, 0.018, 0.012, 0.011},
        {0.470, 0.018, 0.006, 0.006},
    };
    std::vector<std::vector<osg::Vec3d>> rings;
    for (const auto& s : body)
        rings.push_back(BodyRing(s[0], s[1], s[2], s[3], 16));
    // A red nose cap, the rest foam.
    model.objects.push_back(Loft("fuselage", rings, [](size_t r) { return r < 2 ? static_cast<int>(Red) : static_cast<int>(Foam); }, true));

    // Canopy: a dark blister on top of the nose.
    const double canopy[][4] = {
        {-0.340, 0.050, 0.004, 0.010}, {-0.310, 0.056, 0.022, 0.030}, {-0.260, 0.062, 0.030, 0.036},
        {-0.210, 0.064, 0.026, 0.034}, {-0.170, 0.066, 0.012, 0.022}, {-0.150, 0.068, 0.003, 0.008},
    };
    rings.clear();
    for (const auto& s : canopy)
        rings.push_back(BodyRing(s[0], s[1], s[2], s[3], 12));
    model.objects.push_back(Loft("canopy", rings, dark, true));

    // Wing: 1.37 m span, tapered, 6 degrees of dihedral from the root, red tips. It sits
    // on top of the fuselage: a high wing.
    const double stations[] = {-0.685, -0.62, -0.56, -0.40, -0.20, 0.0, 0.20, 0.40, 0.56, 0.62, 0.685};
    const double dihedral = std::tan(6.0 * Pi / 180.0);
    rings.clear();
    for (double z : stations)
    {
        const double f = std::fabs(z) / 0.685;
        const double chord = 0.205 - 0.065 * f;
        const double leadingEdge = -0.13 + 0.03 * f;
        rings.push_back(Airfoil(leadingEdge, 0.072 + std::fabs(z) * dihedral, z, chord, 0.10, 0.035));
    }
    model.objects.push_back(Loft("wing", rings,
                                 [&stations](size_t r) {
                                     const double mid = 0.5 * (stations[r] + stations[r + 1]);
                                     return std::fabs(mid) > 0.56 ? static_cast<int>(Red) : static_cast<int>(Foam);
                                 },
                                 true));

    // Tailplane and elevator on top of the tail boom.
    const osg::Vec3d up(0.0, 1.0, 0.0);
    const osg::Vec3d side(0.0, 0.0, 1.0);
    for (int part = 0; part < 2; ++part)
    {
        rings.clear();
        for (double z : {-0.22, -0.11, 0.0, 0.11, 0.22})
        {
            const double f = std::fabs(z) / 0.22;
            const double chord = 0.12 - 0.04 * f;
            const double leadingEdge = 0.34 + 0.03 * f;
            const double hinge = leadingEdge + 0.65 * chord;
            if (part == 0)
                rings.push_back(TailSection(osg::Vec3d(leadingEdge, 0.034, z), hinge - leadingEdge + 0.002, 0.06, up));
            else
                rings.push_back(TailSection(osg::Vec3d(hinge, 0.034, z), 0.35 * chord, 0.08, up));
        }
        model.objects.push_back(Loft(part == 0 ? "tailplane" : "elevator", rings, part == 0 ? foam : red, false));
    }

    // Fin and rudder, standing on the boom.
    for (int part = 0; part < 2; ++part)
    {
        rings.clear();
        for (double y : {0.03, 0.12, 0.20})
        {
            const double f = (y - 0.03) / 0.17;
            const double chord = 0.15 - 0.07 * f;
            const double leadingEdge = 0.32 + 0.085 * f;
            const double hinge = leadingEdge + 0.65 * chord;
            if (part == 0)
                rings.push_back(TailSection(osg::Vec3d(leadingEdge, y, 0.0), hinge - leadingEdge + 0.002, 0.06, side));
            else
                rings.push_back(TailSection(osg::Vec3d(hinge, y, 0.0), 0.35 * chord, 0.08, side));
        }
        model.objects.push_back(Loft(part == 0 ? "fin" : "rudder", rings, part == 0 ? foam : red, false));
    }

    // Motor pod above the wing's trailing edge, on a pylon, and its spinner.
    const double pod[][4] = {
        {-0.030, 0.130, 0.004, 0.004}, {-0.020, 0.130, 0.016, 0.016}, {0.000, 0.130, 0.022, 0.022},
        {0.080, 0.130, 0.022, 0.022},  {0.115, 0.130, 0.018, 0.018},  {0.122, 0.130, 0.014, 0.014},
    };
    rings.clear();
    for (const auto& s : pod)
        rings.push_back(BodyRing(s[0], s[1], s[2], s[3], 12));
    model.objects.push_back(Loft("motor", rings, dark, true));
    rings.clear();
    for (double y : {0.07, 0.115})
    {
        std::vector<osg::Vec3d> ring = TailSection(osg::Vec3d(0.0, y, 0.0), 0.09, 0.12, side);
        rings.push_back(ring);
    }
    model.objects.push_back(Loft("pylon", rings, dark, false));
    const double spinner[][4] = {
        {0.122, 0.130, 0.013, 0.013}, {0.136, 0.130, 0.012, 0.012}, {0.150, 0.130, 0.006, 0.006},
        {0.156, 0.130, 0.001, 0.001},
    };
    rings.clear();
    for (const auto& s : spinner)
        rings.push_back(BodyRing(s[0], s[1], s[2], s[3], 12));
    model.objects.push_back(Loft("spinner", rings, red, true));

    // Two propeller blades behind the pod, 15 cm across, pitched like a real prop and
    // caught at 30 degrees from the vertical.
    for (int blade = 0; blade < 2; ++blade)
    {
        rings.clear();
        const double angle = 30.0 * Pi / 180.0 + blade * Pi;
        const osg::Vec3d radial(0.0, std::cos(angle), std::sin(angle));
        const osg::Vec3d chordwise(0.0, -std::sin(angle), std::cos(angle));
        for (double r : {0.010, 0.040, 0.072})
        {
            const double chord = r < 0.05 ? 0.018 : 0.010;
            const double pitch = 0.55 - 2.5 * r; // radians: steep at the root, flatter at the tip
            const osg::Vec3d centre = osg::Vec3d(0.140, 0.130, 0.0) + radial * r;
            const osg::Vec3d alongChord = chordwise * std::cos(pitch) + osg::Vec3d(1.0, 0.0, 0.0) * std::sin(pitch);
            const osg::Vec3d thick = (radial ^ alongChord) * 0.0025;
            std::vector<osg::Vec3d> ring = {centre - alongChord * (chord * 0.5) - thick,
                                            centre + alongChord * (chord * 0.5) - thick,
                                            centre + alongChord * (chord * 0.5) + thick,
                                            centre - alongChord * (chord * 0.5) + thick};
            rings.push_back(ring);
        }
        model.objects.push_back(Loft(blade == 0 ? "blade1" : "blade2", rings, dark, false));
    }
    return model;
}

std::string FormatAc3d(const AcModel& model)
{
    std::string text = "AC3Db\n";
    char line[256];
    for (const AcMaterial& m : model.materials)
    {
        // Ambient as the colour and a little emission: the viewer lights the model with a
        // head light only, and the sides turned away should stay recognisable.
        snprintf(line, sizeof(line),
                 "MATERIAL \"%s\" rgb %.3f %.3f %.3f  amb %.3f %.3f %.3f  emis %.3f %.3f %.3f  spec 0.200 0.200 0.200  "
                 "shi 24  trans 0\n",
                 m.name.c_str(), m.r, m.g, m.b, m.r, m.g, m.b, m.r * 0.25, m.g * 0.25, m.b * 0.25);
        text += line;
    }
    snprintf(line, sizeof(line), "OBJECT world\nkids %zu\n", model.objects.size());
    text += line;
    for (const AcObject& object : model.objects)
    {
        snprintf(line, sizeof(line), "OBJECT poly\nname \"%s\"\ncrease 50.000000\nnumvert %zu\n", object.name.c_str(),
                 object.vertices.size());
        text += line;
        for (const osg::Vec3d& v : object.vertices)
        {
            snprintf(line, sizeof(line), "%.5f %.5f %.5f\n", v.x(), v.y(), v.z());
            text += line;
        }
        snprintf(line, sizeof(line), "numsurf %zu\n", object.polygons.size());
        text += line;
        for (const AcPolygon& polygon : object.polygons)
        {
            snprintf(line, sizeof(line), "SURF 0x%02x\nmat %d\nrefs %zu\n", object.smooth ? 0x10 : 0x00, polygon.material,
                     polygon.vertices.size());
            text += line;
            for (int index : polygon.vertices)
            {
                snprintf(line, sizeof(line), "%d 0 0\n", index);
                text += line;
            }
        }
        text += "kids 0\n";
    }
    return text;
}

bool WriteAc3d(const std::string& path, const AcModel& model)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
    {
        printf("Cannot write '%s'\n", path.c_str());
        return false;
    }
    const std::string text = FormatAc3d(model);
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = (fclose(out) == 0) && ok;
    if (!ok)
        printf("Cannot write '%s'\n", path.c_str());
    return ok;
}
