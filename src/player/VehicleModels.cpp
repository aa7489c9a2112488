#include "player/VehicleModels.h"

#include <algorithm>
#include <cmath>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Material>
#include <osgDB/ReadFile>

#include "geo/Geodesy.h"

namespace
{
// The palette: a lit material colour each, in pairs of light and dark, warm and cold.
const osg::Vec4 White(0.92f, 0.92f, 0.9f, 1.0f), Black(0.05f, 0.05f, 0.05f, 1.0f);
const osg::Vec4 LightGrey(0.62f, 0.63f, 0.66f, 1.0f), DarkGrey(0.18f, 0.18f, 0.2f, 1.0f);
const osg::Vec4 Red(0.85f, 0.1f, 0.1f, 1.0f), Green(0.1f, 0.7f, 0.2f, 1.0f); // the left and right tips
const osg::Vec4 Orange(0.95f, 0.5f, 0.1f, 1.0f), Yellow(0.95f, 0.82f, 0.15f, 1.0f);
const osg::Vec4 Blue(0.15f, 0.3f, 0.8f, 1.0f), Glass(0.15f, 0.22f, 0.3f, 1.0f);

// Triangles with their normals and colours, made into one lit geode.
class Mesh
{
public:
    Mesh() : vertices(new osg::Vec3Array), normals(new osg::Vec3Array), colours(new osg::Vec4Array) {}

    void Triangle(const osg::Vec3d& a, const osg::Vec3d& b, const osg::Vec3d& c, const osg::Vec4& colour)
    {
        osg::Vec3d n = (b - a) ^ (c - a);
        n.normalize();
        Triangle(a, b, c, n, n, n, colour);
    }

    void Triangle(const osg::Vec3d& a, const osg::Vec3d& b, const osg::Vec3d& c, const osg::Vec3d& na, const osg::Vec3d& nb,
                  const osg::Vec3d& nc, const osg::Vec4& colour)
    {
        for (const osg::Vec3d* p : {&a, &b, &c})
            vertices->push_back(osg::Vec3(*p));
        for (const osg::Vec3d* n : {&na, &nb, &nc})
            normals->push_back(osg::Vec3(*n));
        for (int i = 0; i < 3; ++i)
            colours->push_back(colour);
    }

    // A flat four-sided face, its corners counter-clockwise seen from outside.
    void Quad(const osg::Vec3d& a, const osg::Vec3d& b, const osg::Vec3d& c, const osg::Vec3d& d, const osg::Vec4& colour)
    {
        Triangle(a, b, c, colour);
        Triangle(a, c, d, colour);
    }

    // A box: eight corners from a centre, half sizes and the turn of its axes.
    void Box(const osg::Vec3d& centre, const osg::Vec3d& half, const osg::Vec4& colour, const osg::Quat& turn = osg::Quat())
    {
        osg::Vec3d p[8];
        for (int i = 0; i < 8; ++i)
            p[i] = centre + turn * osg::Vec3d((i & 1 ? 1 : -1) * half.x(), (i & 2 ? 1 : -1) * half.y(), (i & 4 ? 1 : -1) * half.z());
        Solid(p, colour);
    }

    // A thin plate of `thickness` under and over the four corners of its middle surface
    // (a wing panel, a fin, a blade), in any order round its outline.
    void Plate(const osg::Vec3d corners[4], double thickness, const osg::Vec4& colour)
    {
        osg::Vec3d n = (corners[2] - corners[0]) ^ (corners[3] - corners[1]);
        n.normalize();
        osg::Vec3d p[8];
        // Solid's corner order: bit 0 along one edge, bit 1 along the other, bit 2 up.
        const int order[4] = {0, 1, 3, 2};
        for (int i = 0; i < 4; ++i)
        {
            p[order[i]] = corners[i] - n * (thickness / 2.0);
            p[order[i] + 4] = corners[i] + n * (thickness / 2.0);
        }
        Solid(p, colour);
    }

    // An ellipsoid of `slices` round its y axis and `stacks` from end to end, smoothly shaded.
    void Ellipsoid(const osg::Vec3d& centre, const osg::Vec3d& semi, const osg::Vec4& colour, const osg::Quat& turn = osg::Quat(),
                   int slices = 12, int stacks = 8)
    {
        auto at = [&](int stack, int slice, osg::Vec3d* normal) {
            const double lat = Pi * stack / stacks - Pi / 2.0;
            const double lon = 2.0 * Pi * slice / slices;
            const osg::Vec3d unit(std::cos(lat) * std::cos(lon), std::sin(lat), std::cos(lat) * std::sin(lon));
            osg::Vec3d n(unit.x() / semi.x(), unit.y() / semi.y(), unit.z() / semi.z());
            n.normalize();
            *normal = turn * n;
            return centre + turn * osg::Vec3d(unit.x() * semi.x(), unit.y() * semi.y(), unit.z() * semi.z());
        };
        for (int stack = 0; stack < stacks; ++stack)
            for (int slice = 0; slice < slices; ++slice)
            {
                osg::Vec3d n[4];
                const osg::Vec3d a = at(stack, slice, &n[0]), b = at(stack + 1, slice, &n[1]);
                const osg::Vec3d c = at(stack + 1, slice + 1, &n[2]), d = at(stack, slice + 1, &n[3]);
                if (stack > 0)
                    Triangle(a, d, c, n[0], n[3], n[2], colour);
                if (stack < stacks - 1)
                    Triangle(a, c, b, n[0], n[2], n[1], colour);
            }
    }

    // A tube from `from` to `to`, its radius going from `r0` to `r1`, closed at both ends.
    void Tube(const osg::Vec3d& from, const osg::Vec3d& to, double r0, double r1, const osg::Vec4& colour, int segments = 8)
    {
        osg::Vec3d axis = to - from;
        axis.normalize();
        osg::Vec3d side = std::fabs(axis.z()) < 0.9 ? axis ^ osg::Vec3d(0.0, 0.0, 1.0) : axis ^ osg::Vec3d(1.0, 0.0, 0.0);
        side.normalize();
        const osg::Vec3d other = axis ^ side;
        for (int i = 0; i < segments; ++i)
        {
            const double a0 = 2.0 * Pi * i / segments, a1 = 2.0 * Pi * (i + 1) / segments;
            const osg::Vec3d u0 = side * std::cos(a0) + other * std::sin(a0);
            const osg::Vec3d u1 = side * std::cos(a1) + other * std::sin(a1);
            Triangle(from + u0 * r0, to + u1 * r1, to + u0 * r1, u0, u1, u0, colour);
            Triangle(from + u0 * r0, from + u1 * r0, to + u1 * r1, u0, u1, u1, colour);
            if (r0 > 0.0)
                Triangle(from, from + u1 * r0, from + u0 * r0, colour);
            if (r1 > 0.0)
                Triangle(to, to + u0 * r1, to + u1 * r1, colour);
        }
    }

    int Triangles() const { return static_cast<int>(vertices->size() / 3); }

    // The farthest any vertex lies from `origin` when the mesh stands at `offset`.
    double Reach(const osg::Vec3d& offset = osg::Vec3d()) const
    {
        double reach = 0.0;
        for (const osg::Vec3& v : *vertices)
            reach = std::max(reach, (osg::Vec3d(v) + offset).length());
        return reach;
    }

    osg::ref_ptr<osg::Geode> Geode() const
    {
        osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
        geometry->setVertexArray(vertices.get());
        geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
        geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices->size())));
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(geometry.get());
        return geode;
    }

private:
    // Six faces of eight corners p[i], i's bits saying which end of three edges it stands at.
    void Solid(const osg::Vec3d p[8], const osg::Vec4& colour)
    {
        // Faces counter-clockwise for a right-handed corner frame; a left-handed one is turned.
        const bool rightHanded = (((p[1] - p[0]) ^ (p[2] - p[0])) * (p[4] - p[0])) > 0.0;
        const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& f : faces)
        {
            if (rightHanded)
                Quad(p[f[0]], p[f[1]], p[f[2]], p[f[3]], colour);
            else
                Quad(p[f[3]], p[f[2]], p[f[1]], p[f[0]], colour);
        }
    }

    osg::ref_ptr<osg::Vec3Array> vertices;
    osg::ref_ptr<osg::Vec3Array> normals;
    osg::ref_ptr<osg::Vec4Array> colours;
};

// A model being made: the body's mesh and a mesh for each rotor, about its hub.
struct ModelParts
{
    Mesh body;
    std::vector<std::pair<VehicleRotor, Mesh>> rotors;

    // A rotor of `blades` of `radius` turning about `axis` at `hub`.
    void Rotor(const osg::Vec3d& hub, const osg::Vec3d& axis, double radius, int blades, bool lifts, double direction,
               const osg::Vec4& colour = DarkGrey)
    {
        VehicleRotor rotor;
        rotor.hub = hub;
        rotor.axis = axis;
        rotor.lifts = lifts;
        rotor.direction = direction;
        Mesh mesh;
        osg::Vec3d across = std::fabs(axis.z()) < 0.9 ? axis ^ osg::Vec3d(0.0, 0.0, 1.0) : osg::Vec3d(1.0, 0.0, 0.0);
        across.normalize();
        const double chord = std::max(0.02, radius * 0.14);
        for (int b = 0; b < blades; ++b)
        {
            const osg::Quat turn(2.0 * Pi * b / blades, axis);
            const osg::Vec3d along = turn * across, width = turn * (axis ^ across);
            const osg::Vec3d corners[4] = {along * (radius * 0.12) - width * (chord / 2.0), along * radius - width * (chord / 3.0),
                                           along * radius + width * (chord / 3.0), along * (radius * 0.12) + width * (chord / 2.0)};
            mesh.Plate(corners, chord * 0.15, colour);
        }
        mesh.Tube(-axis * (radius * 0.05), axis * (radius * 0.08), radius * 0.1, radius * 0.05, Black);
        rotors.emplace_back(rotor, mesh);
    }
};

// Left red, right green, as the lights and wing tips of anything that flies.
void WingTips(Mesh& body, const osg::Vec3d& left, const osg::Vec3d& right, double size)
{
    body.Ellipsoid(left, osg::Vec3d(size, size, size), Red, osg::Quat(), 8, 4);
    body.Ellipsoid(right, osg::Vec3d(size, size, size), Green, osg::Quat(), 8, 4);
}

// A wing panel from the root's leading and trailing edges to the tip's, of a thickness.
void Wing(Mesh& body, const osg::Vec3d& rootLead, const osg::Vec3d& tipLead, const osg::Vec3d& tipTrail, const osg::Vec3d& rootTrail,
          double thickness, const osg::Vec4& colour)
{
    const osg::Vec3d corners[4] = {rootLead, tipLead, tipTrail, rootTrail};
    body.Plate(corners, thickness, colour);
}

// Both wings, mirrored in the x = 0 plane, from the right one's corners.
void Wings(Mesh& body, const osg::Vec3d& rootLead, const osg::Vec3d& tipLead, const osg::Vec3d& tipTrail, const osg::Vec3d& rootTrail,
           double thickness, const osg::Vec4& colour)
{
    auto mirror = [](const osg::Vec3d& p) { return osg::Vec3d(-p.x(), p.y(), p.z()); };
    Wing(body, rootLead, tipLead, tipTrail, rootTrail, thickness, colour);
    Wing(body, mirror(rootLead), mirror(tipLead), mirror(tipTrail), mirror(rootTrail), thickness, colour);
}

// Arms from a hub to `arms` motors at `reach`, each with a rotor, neighbours turning opposite
// ways; the front two arms in the tips' colours.
void Multirotor(ModelParts& model, int arms, double reach, double propeller)
{
    const double body = reach * 0.3;
    model.body.Box(osg::Vec3d(0.0, 0.0, 0.0), osg::Vec3d(body * 0.55, body * 0.8, body * 0.3), DarkGrey);
    model.body.Ellipsoid(osg::Vec3d(0.0, body * 0.1, body * 0.3), osg::Vec3d(body * 0.45, body * 0.7, body * 0.25), LightGrey);
    model.body.Box(osg::Vec3d(0.0, body * 0.85, 0.0), osg::Vec3d(body * 0.2, body * 0.08, body * 0.15), Black); // the camera, forward
    for (int i = 0; i < arms; ++i)
    {
        const double bearing = Pi / arms + 2.0 * Pi * i / arms; // clockwise from the nose
        const osg::Vec3d out(std::sin(bearing), std::cos(bearing), 0.0);
        const osg::Vec3d motor = out * reach;
        const bool front = out.y() > 0.3;
        const osg::Vec4 colour = front ? (out.x() < 0.0 ? Red : Green) : DarkGrey;
        model.body.Tube(out * (body * 0.5), motor, reach * 0.04, reach * 0.035, colour, 6);
        model.body.Tube(motor - osg::Vec3d(0.0, 0.0, reach * 0.05), motor + osg::Vec3d(0.0, 0.0, reach * 0.08), reach * 0.07, reach * 0.07, Black, 8);
        model.Rotor(motor + osg::Vec3d(0.0, 0.0, reach * 0.1), osg::Vec3d(0.0, 0.0, 1.0), propeller, 2, true, i % 2 ? 1.0 : -1.0);
    }
    for (double side : {-1.0, 1.0})
    {
        const osg::Vec3d foot(side * body * 0.9, 0.0, -body * 1.2);
        model.body.Tube(osg::Vec3d(side * body * 0.4, 0.0, -body * 0.2), foot, reach * 0.02, reach * 0.02, DarkGrey, 5);
        model.body.Tube(foot - osg::Vec3d(0.0, body * 0.9, 0.0), foot + osg::Vec3d(0.0, body * 0.9, 0.0), reach * 0.02, reach * 0.02, DarkGrey, 5);
    }
}

void Helicopter(ModelParts& model)
{
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.15, 0.0), osg::Vec3d(0.15, 0.45, 0.19), Red);
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.38, 0.06), osg::Vec3d(0.12, 0.2, 0.12), Glass);
    model.body.Tube(osg::Vec3d(0.0, -0.25, 0.05), osg::Vec3d(0.0, -1.1, 0.12), 0.05, 0.025, Red);
    const osg::Vec3d fin[4] = {{0.0, -1.0, 0.1}, {0.0, -1.08, 0.35}, {0.0, -1.18, 0.35}, {0.0, -1.16, 0.05}};
    model.body.Plate(fin, 0.015, White);
    const osg::Vec3d stabiliser[4] = {{-0.2, -0.85, 0.1}, {0.2, -0.85, 0.1}, {0.2, -0.95, 0.1}, {-0.2, -0.95, 0.1}};
    model.body.Plate(stabiliser, 0.012, White);
    for (double side : {-1.0, 1.0})
    {
        model.body.Tube(osg::Vec3d(side * 0.2, -0.35, -0.3), osg::Vec3d(side * 0.2, 0.55, -0.3), 0.015, 0.015, DarkGrey, 5);
        model.body.Tube(osg::Vec3d(side * 0.08, 0.3, -0.12), osg::Vec3d(side * 0.2, 0.3, -0.3), 0.012, 0.012, DarkGrey, 5);
        model.body.Tube(osg::Vec3d(side * 0.08, -0.15, -0.12), osg::Vec3d(side * 0.2, -0.15, -0.3), 0.012, 0.012, DarkGrey, 5);
    }
    WingTips(model.body, osg::Vec3d(-0.2, 0.2, 0.0), osg::Vec3d(0.2, 0.2, 0.0), 0.035);
    model.body.Tube(osg::Vec3d(0.0, 0.05, 0.15), osg::Vec3d(0.0, 0.05, 0.32), 0.02, 0.02, DarkGrey, 6);
    model.Rotor(osg::Vec3d(0.0, 0.05, 0.33), osg::Vec3d(0.0, 0.0, 1.0), 0.9, 2, true, -1.0);
    model.Rotor(osg::Vec3d(-0.05, -1.12, 0.2), osg::Vec3d(1.0, 0.0, 0.0), 0.16, 2, true, 1.0);
}

// A conventional fuselage along y with a wing, a tailplane and a fin.
void Plane(ModelParts& model)
{
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.0, 0.0), osg::Vec3d(0.08, 0.7, 0.09), White);
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.25, 0.07), osg::Vec3d(0.055, 0.18, 0.05), Glass);
    Wings(model.body, osg::Vec3d(0.0, 0.2, 0.06), osg::Vec3d(1.0, 0.14, 0.12), osg::Vec3d(1.0, -0.04, 0.12), osg::Vec3d(0.0, -0.08, 0.06), 0.025, White);
    WingTips(model.body, osg::Vec3d(-1.0, 0.05, 0.12), osg::Vec3d(1.0, 0.05, 0.12), 0.03);
    Wings(model.body, osg::Vec3d(0.0, -0.5, 0.02), osg::Vec3d(0.32, -0.56, 0.02), osg::Vec3d(0.32, -0.68, 0.02), osg::Vec3d(0.0, -0.7, 0.02), 0.012, Orange);
    const osg::Vec3d fin[4] = {{0.0, -0.48, 0.05}, {0.0, -0.62, 0.3}, {0.0, -0.72, 0.3}, {0.0, -0.7, 0.04}};
    model.body.Plate(fin, 0.012, Orange);
    model.Rotor(osg::Vec3d(0.0, 0.73, 0.0), osg::Vec3d(0.0, 1.0, 0.0), 0.15, 2, false, 1.0);
}

// A plane on twin booms that carry four lift rotors, with a pusher behind the fuselage.
void Quadplane(ModelParts& model)
{
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.0, 0.0), osg::Vec3d(0.11, 0.7, 0.11), LightGrey);
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.3, 0.08), osg::Vec3d(0.07, 0.2, 0.06), Glass);
    Wings(model.body, osg::Vec3d(0.0, 0.18, 0.1), osg::Vec3d(1.25, 0.12, 0.14), osg::Vec3d(1.25, -0.08, 0.14), osg::Vec3d(0.0, -0.14, 0.1), 0.03, White);
    WingTips(model.body, osg::Vec3d(-1.25, 0.02, 0.14), osg::Vec3d(1.25, 0.02, 0.14), 0.035);
    int rotor = 0;
    for (double side : {-1.0, 1.0})
    {
        const double x = side * 0.55;
        model.body.Tube(osg::Vec3d(x, 0.62, 0.06), osg::Vec3d(x, -1.0, 0.06), 0.025, 0.02, DarkGrey, 6);
        const osg::Vec3d fin[4] = {{x, -0.85, 0.06}, {x, -0.95, 0.3}, {x, -1.05, 0.3}, {x, -1.02, 0.06}};
        model.body.Plate(fin, 0.012, White);
        for (double y : {0.6, -0.7})
        {
            model.body.Tube(osg::Vec3d(x, y, 0.06), osg::Vec3d(x, y, 0.12), 0.035, 0.035, Black, 8);
            model.Rotor(osg::Vec3d(x, y, 0.13), osg::Vec3d(0.0, 0.0, 1.0), 0.3, 2, true, rotor++ % 3 ? 1.0 : -1.0);
        }
    }
    const osg::Vec3d tailplane[4] = {{-0.55, -0.96, 0.3}, {0.55, -0.96, 0.3}, {0.55, -1.05, 0.3}, {-0.55, -1.05, 0.3}};
    model.body.Plate(tailplane, 0.012, White);
    model.Rotor(osg::Vec3d(0.0, -0.74, 0.0), osg::Vec3d(0.0, 1.0, 0.0), 0.17, 2, false, 1.0);
}

// A flying wing with two tractor propellers, standing on its fins for take-off.
void Tailsitter(ModelParts& model)
{
    Wings(model.body, osg::Vec3d(0.0, 0.2, 0.0), osg::Vec3d(0.65, 0.0, 0.0), osg::Vec3d(0.65, -0.15, 0.0), osg::Vec3d(0.0, -0.2, 0.0), 0.04, Yellow);
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.05, 0.0), osg::Vec3d(0.07, 0.25, 0.06), DarkGrey);
    WingTips(model.body, osg::Vec3d(-0.65, -0.07, 0.0), osg::Vec3d(0.65, -0.07, 0.0), 0.025);
    for (double side : {-1.0, 1.0})
    {
        const double x = side * 0.3;
        model.body.Tube(osg::Vec3d(x, 0.2, 0.0), osg::Vec3d(x, 0.05, 0.0), 0.03, 0.03, Black, 8);
        const osg::Vec3d fin[4] = {{x, 0.0, -0.2}, {x, -0.1, 0.2}, {x, -0.35, 0.2}, {x, -0.35, -0.2}};
        model.body.Plate(fin, 0.012, DarkGrey);
        model.Rotor(osg::Vec3d(x, 0.23, 0.0), osg::Vec3d(0.0, 1.0, 0.0), 0.14, 2, false, side);
    }
}

// A seated pilot at the origin, facing +y.
void SeatedPilot(Mesh& body)
{
    body.Ellipsoid(osg::Vec3d(0.0, -0.05, -0.1), osg::Vec3d(0.24, 0.3, 0.32), Blue);
    body.Ellipsoid(osg::Vec3d(0.0, 0.35, -0.25), osg::Vec3d(0.16, 0.35, 0.1), DarkGrey); // legs forward in the pod
    body.Ellipsoid(osg::Vec3d(0.0, 0.02, 0.38), osg::Vec3d(0.13, 0.14, 0.14), Yellow);     // helmet
}

// A canopy arched over its pilot, nine metres above, with its lines to the pilot's risers.
void Paraglider(ModelParts& model)
{
    SeatedPilot(model.body);
    const double radius = 6.0, height = 7.5, reach = 1.2; // the arch's radius, top and half angle (rad)
    const int cells = 16;
    const osg::Vec3d centre(0.0, 0.3, height - radius);
    auto along = [&](double a, double y) { return centre + osg::Vec3d(radius * std::sin(a), y, radius * std::cos(a)); };
    for (int i = 0; i < cells; ++i)
    {
        const double a0 = -reach + 2.0 * reach * i / cells, a1 = -reach + 2.0 * reach * (i + 1) / cells;
        auto chord = [&](double a) { return 2.8 - 1.5 * std::pow(std::fabs(a) / reach, 2.0); };
        const osg::Vec3d corners[4] = {along(a0, chord(a0) * 0.4), along(a1, chord(a1) * 0.4), along(a1, -chord(a1) * 0.6), along(a0, -chord(a0) * 0.6)};
        const osg::Vec4& colour = i == 0 ? Red : i == cells - 1 ? Green : (i % 2 ? Orange : Yellow);
        model.body.Plate(corners, 0.3 * (1.0 - 0.6 * std::fabs(a0 + a1) / (2.0 * reach)), colour);
    }
    for (int i = 0; i <= 8; ++i)
    {
        const double a = -reach + 2.0 * reach * (i + 0.5) / 9.0;
        const osg::Vec3d riser(a < 0.0 ? -0.22 : 0.22, 0.0, 0.3);
        model.body.Tube(riser, along(a, 0.5) - osg::Vec3d(0.0, 0.0, 0.15), 0.012, 0.012, LightGrey, 4);
        model.body.Tube(riser, along(a, -0.8) - osg::Vec3d(0.0, 0.0, 0.15), 0.012, 0.012, LightGrey, 4);
    }
}

// A delta wing over a pilot lying prone in the harness, who holds the control frame.
void HangGlider(ModelParts& model)
{
    model.body.Ellipsoid(osg::Vec3d(0.0, -0.1, 0.0), osg::Vec3d(0.22, 0.95, 0.2), Blue);
    model.body.Ellipsoid(osg::Vec3d(0.0, 0.92, 0.08), osg::Vec3d(0.13, 0.14, 0.13), Yellow);
    const double sail = 1.9;
    Wings(model.body, osg::Vec3d(0.0, 1.9, sail), osg::Vec3d(5.0, -1.0, sail + 0.25), osg::Vec3d(4.6, -1.35, sail + 0.25), osg::Vec3d(0.0, -1.1, sail), 0.06, White);
    const osg::Vec3d leadingEdges[2][2] = {{{0.0, 1.95, sail + 0.04}, {-5.0, -0.95, sail + 0.3}}, {{0.0, 1.95, sail + 0.04}, {5.0, -0.95, sail + 0.3}}};
    for (const auto& edge : leadingEdges)
        model.body.Tube(edge[0], edge[1], 0.05, 0.04, Blue, 6);
    WingTips(model.body, osg::Vec3d(-4.85, -1.15, sail + 0.25), osg::Vec3d(4.85, -1.15, sail + 0.25), 0.12);
    model.body.Tube(osg::Vec3d(0.0, 1.9, sail - 0.05), osg::Vec3d(0.0, -1.1, sail - 0.05), 0.04, 0.04, DarkGrey, 6); // keel
    model.body.Tube(osg::Vec3d(0.0, 0.2, sail), osg::Vec3d(0.0, 0.2, sail + 0.8), 0.03, 0.03, DarkGrey, 6);      // king post
    const osg::Vec3d apex(0.0, 0.2, sail - 0.05), left(-0.75, 0.75, -0.15), right(0.75, 0.75, -0.15);
    model.body.Tube(apex, left, 0.025, 0.025, LightGrey, 6);
    model.body.Tube(apex, right, 0.025, 0.025, LightGrey, 6);
    model.body.Tube(left, right, 0.025, 0.025, LightGrey, 6);
    model.body.Tube(apex, osg::Vec3d(0.0, 0.0, 0.18), 0.02, 0.02, Black, 4); // the hang strap
}

// A slender fuselage, a long thin wing of fifteen metres and a T tail.
void Sailplane(ModelParts& model)
{
    model.body.Ellipsoid(osg::Vec3d(0.0, 1.3, 0.0), osg::Vec3d(0.32, 1.7, 0.42), White);
    model.body.Ellipsoid(osg::Vec3d(0.0, 1.9, 0.3), osg::Vec3d(0.25, 0.75, 0.22), Glass);
    model.body.Tube(osg::Vec3d(0.0, 0.2, 0.05), osg::Vec3d(0.0, -4.9, 0.25), 0.3, 0.09, White, 10);
    Wings(model.body, osg::Vec3d(0.0, 0.75, 0.15), osg::Vec3d(4.0, 0.62, 0.36), osg::Vec3d(4.0, 0.0, 0.36), osg::Vec3d(0.0, -0.1, 0.15), 0.12, White);
    Wings(model.body, osg::Vec3d(4.0, 0.62, 0.36), osg::Vec3d(7.5, 0.45, 0.62), osg::Vec3d(7.5, 0.1, 0.62), osg::Vec3d(4.0, 0.0, 0.36), 0.07, White);
    WingTips(model.body, osg::Vec3d(-7.5, 0.27, 0.62), osg::Vec3d(7.5, 0.27, 0.62), 0.12);
    const osg::Vec3d fin[4] = {{0.0, -4.2, 0.25}, {0.0, -4.75, 1.45}, {0.0, -5.3, 1.45}, {0.0, -5.0, 0.2}};
    model.body.Plate(fin, 0.06, White);
    Wings(model.body, osg::Vec3d(0.0, -4.65, 1.45), osg::Vec3d(1.3, -4.85, 1.45), osg::Vec3d(1.3, -5.2, 1.45), osg::Vec3d(0.0, -5.3, 1.45), 0.04, Red);
}

void Rover(ModelParts& model)
{
    model.body.Box(osg::Vec3d(0.0, 0.0, 0.0), osg::Vec3d(0.2, 0.32, 0.07), Orange);
    model.body.Box(osg::Vec3d(0.0, -0.05, 0.1), osg::Vec3d(0.15, 0.2, 0.04), DarkGrey);
    for (double x : {-0.25, 0.25})
        for (double y : {-0.2, 0.2})
            model.body.Tube(osg::Vec3d(x - 0.04, y, -0.06), osg::Vec3d(x + 0.04, y, -0.06), 0.1, 0.1, Black, 12);
    model.body.Tube(osg::Vec3d(0.0, -0.2, 0.1), osg::Vec3d(0.0, -0.2, 0.35), 0.01, 0.01, DarkGrey, 4);
    model.body.Tube(osg::Vec3d(0.0, -0.2, 0.35), osg::Vec3d(0.0, -0.2, 0.38), 0.05, 0.05, White, 10);
    WingTips(model.body, osg::Vec3d(-0.15, 0.33, 0.02), osg::Vec3d(0.15, 0.33, 0.02), 0.025);
}

// A small hull lofted through three sections to its bow, with a cabin and an outboard motor.
void Boat(ModelParts& model)
{
    struct Section
    {
        double y, halfWidth, depth;
    };
    const Section sections[3] = {{-0.75, 0.3, 0.14}, {0.0, 0.34, 0.18}, {0.45, 0.24, 0.14}};
    const osg::Vec3d bow(0.0, 0.9, 0.12), bowKeel(0.0, 0.7, -0.06);
    const double deck = 0.1;
    auto port = [&](const Section& s) { return osg::Vec3d(-s.halfWidth, s.y, deck); };
    auto starboard = [&](const Section& s) { return osg::Vec3d(s.halfWidth, s.y, deck); };
    auto keel = [&](const Section& s) { return osg::Vec3d(0.0, s.y, deck - s.depth - 0.08); };
    for (int i = 0; i < 2; ++i)
    {
        const Section& a = sections[i];
        const Section& b = sections[i + 1];
        model.body.Quad(port(a), keel(a), keel(b), port(b), White);
        model.body.Quad(keel(a), starboard(a), starboard(b), keel(b), White);
        model.body.Quad(port(a), port(b), starboard(b), starboard(a), LightGrey);
    }
    const Section& last = sections[2];
    model.body.Triangle(port(last), keel(last), bowKeel, White);
    model.body.Triangle(port(last), bowKeel, bow, White);
    model.body.Triangle(keel(last), starboard(last), bowKeel, White);
    model.body.Triangle(starboard(last), bow, bowKeel, White);
    model.body.Triangle(port(last), bow, starboard(last), LightGrey);
    const Section& stern = sections[0];
    model.body.Triangle(port(stern), starboard(stern), keel(stern), Blue);
    model.body.Box(osg::Vec3d(0.0, 0.0, deck + 0.1), osg::Vec3d(0.18, 0.22, 0.1), Blue);
    model.body.Box(osg::Vec3d(0.0, 0.1, deck + 0.15), osg::Vec3d(0.185, 0.08, 0.04), Glass);
    model.body.Box(osg::Vec3d(0.0, -0.82, deck + 0.05), osg::Vec3d(0.06, 0.06, 0.1), DarkGrey);
    model.body.Tube(osg::Vec3d(0.0, -0.84, deck - 0.05), osg::Vec3d(0.0, -0.84, -0.2), 0.02, 0.02, DarkGrey, 6);
    WingTips(model.body, osg::Vec3d(-0.25, 0.5, deck + 0.03), osg::Vec3d(0.25, 0.5, deck + 0.03), 0.025);
}

osg::ref_ptr<osg::StateSet> LitByColours()
{
    osg::ref_ptr<osg::StateSet> state = new osg::StateSet;
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setColorMode(osg::Material::AMBIENT_AND_DIFFUSE);
    material->setSpecular(osg::Material::FRONT_AND_BACK, osg::Vec4(0.25f, 0.25f, 0.25f, 1.0f));
    material->setShininess(osg::Material::FRONT_AND_BACK, 24.0f);
    state->setAttributeAndModes(material.get(), osg::StateAttribute::ON);
    state->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    state->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);
    return state;
}
} // namespace

VehicleModel BuildVehicleModel(VehicleKind kind)
{
    ModelParts parts;
    switch (kind)
    {
        case VehicleKind::Unknown: break;
        case VehicleKind::Quadrotor: Multirotor(parts, 4, 0.23, 0.12); break;
        case VehicleKind::Hexarotor: Multirotor(parts, 6, 0.45, 0.19); break;
        case VehicleKind::Octorotor: Multirotor(parts, 8, 0.6, 0.2); break;
        case VehicleKind::Helicopter: Helicopter(parts); break;
        case VehicleKind::Plane: Plane(parts); break;
        case VehicleKind::VtolQuadplane: Quadplane(parts); break;
        case VehicleKind::Tailsitter: Tailsitter(parts); break;
        case VehicleKind::Paraglider: Paraglider(parts); break;
        case VehicleKind::HangGlider: HangGlider(parts); break;
        case VehicleKind::Sailplane: Sailplane(parts); break;
        case VehicleKind::Rover: Rover(parts); break;
        case VehicleKind::Boat: Boat(parts); break;
    }
    VehicleModel model;
    model.node = new osg::Group;
    if (parts.body.Triangles() == 0)
        return model;
    model.node->setStateSet(LitByColours().get());
    model.node->addChild(parts.body.Geode().get());
    model.triangles = parts.body.Triangles();
    model.radius = parts.body.Reach();
    for (auto& rotor : parts.rotors)
    {
        rotor.first.spinner = new osg::MatrixTransform(osg::Matrixd::translate(rotor.first.hub));
        rotor.first.spinner->addChild(rotor.second.Geode().get());
        model.node->addChild(rotor.first.spinner.get());
        model.triangles += rotor.second.Triangles();
        model.radius = std::max(model.radius, rotor.second.Reach(rotor.first.hub));
        model.rotors.push_back(rotor.first);
    }
    return model;
}

void TurnRotors(std::vector<VehicleRotor>& rotors, double seconds, bool liftRunning, bool thrustRunning)
{
    // Four turns a second: a blade moves on visibly between frames instead of standing still
    // as a real rotor's would in a camera's stroboscope.
    const double rate = 2.0 * Pi * 4.0;
    for (VehicleRotor& rotor : rotors)
    {
        if (!(rotor.lifts ? liftRunning : thrustRunning) || !std::isfinite(seconds))
            continue;
        rotor.angle = std::fmod(seconds * rate * rotor.direction, 2.0 * Pi);
        rotor.spinner->setMatrix(osg::Matrixd::rotate(rotor.angle, rotor.axis) * osg::Matrixd::translate(rotor.hub));
    }
}

MotorsRunning MotorsAt(VehicleKind kind, const double outputs[4], bool outputsLogged)
{
    MotorsRunning running;
    if (!outputsLogged)
        return running;
    auto above = [](double pulse) { return std::isfinite(pulse) && pulse > IdlePulse; };
    const bool throttle = above(outputs[2]);
    const bool any = above(outputs[0]) || above(outputs[1]) || throttle || above(outputs[3]);
    switch (kind)
    {
        case VehicleKind::Quadrotor:
        case VehicleKind::Hexarotor:
        case VehicleKind::Octorotor:
        case VehicleKind::Helicopter:
            running.lift = any;
            running.thrust = any;
            break;
        default:
            // A quadplane's hover motors sit on outputs past the four a log keeps: they turn
            // while the pusher does not, as they would in the hover.
            running.thrust = throttle;
            running.lift = !throttle;
            break;
    }
    return running;
}

osg::ref_ptr<osg::MatrixTransform> BuildFlightModel(VehicleKind kind, const ModelChoice& choice, double k,
                                                    std::vector<VehicleRotor>* rotors, std::string* message)
{
    rotors->clear();
    osg::ref_ptr<osg::Node> node;
    double radius = 0.0;
    if (!choice.file.empty())
    {
        node = osgDB::readNodeFile(choice.file);
        if (!node)
        {
            *message = "--model: cannot read '" + choice.file + "' as a model";
            return nullptr;
        }
        const osg::BoundingSphere bound = node->getBound();
        radius = bound.center().length() + bound.radius();
    }
    else
    {
        VehicleModel model = BuildVehicleModel(kind);
        if (model.triangles == 0)
            return nullptr;
        node = model.node;
        radius = model.radius;
        *rotors = model.rotors;
    }
    double scale = choice.scale;
    if (!(scale > 0.0))
        scale = radius > 0.0 && std::isfinite(radius) ? std::max(1.0, LeastShownRadius / radius) : 1.0;
    const double degree = Pi / 180.0;
    // The file's nose is put forward by its yaw about up (clockwise seen from above), then
    // its pitch about the right side (nose up), then its roll about the nose (right side down).
    const osg::Matrixd turn = osg::Matrixd::rotate(choice.rotate[2] * degree, osg::Vec3d(0.0, 1.0, 0.0)) *
                              osg::Matrixd::rotate(choice.rotate[1] * degree, osg::Vec3d(1.0, 0.0, 0.0)) *
                              osg::Matrixd::rotate(-choice.rotate[0] * degree, osg::Vec3d(0.0, 0.0, 1.0));
    osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform(turn * osg::Matrixd::scale(scale * k, scale * k, scale * k));
    transform->getOrCreateStateSet()->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);
    transform->addChild(node.get());
    return transform;
}
