#pragma once
#include <string>
#include <vector>

#include <osg/Vec3d>

// A small polygon model in the AC3D text format's terms: materials, and objects made of
// vertices and polygons that each name one material.
struct AcMaterial
{
    std::string name;
    double r, g, b;
};

struct AcPolygon
{
    int material = 0;
    std::vector<int> vertices; // indices into the object's vertices, counter-clockwise seen from outside
};

struct AcObject
{
    std::string name;
    bool smooth = true; // shaded with averaged normals (edges sharper than the crease stay sharp)
    std::vector<osg::Vec3d> vertices;
    std::vector<AcPolygon> polygons;
};

struct AcModel
{
    std::vector<AcMaterial> materials;
    std::vector<AcObject> objects;
};

// The demo aircraft: a small high-wing pusher foam glider of 1.37 m span in metres, nose
// towards -x, up +y, the right wing towards -z, so that the viewer's orientation rule
// stands it upright with its nose along the direction of flight. Fuselage with canopy,
// a wing with 6 degrees of dihedral, tailplane and fin with red control surfaces, a motor
// pod above the wing and a two-bladed pusher propeller, in white foam, red and dark grey.
// Every object is closed, and its polygons face outwards.
AcModel MakeGliderModel();

// Signed volume enclosed by an object's polygons: positive when they face outwards.
double SignedVolume(const AcObject& object);

// The model as AC3D text.
std::string FormatAc3d(const AcModel& model);

// Writes the AC3D text to `path`. Returns false when it cannot.
bool WriteAc3d(const std::string& path, const AcModel& model);
