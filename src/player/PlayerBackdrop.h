#pragma once
#include <osg/NodeVisitor>
#include <osg/Transform>

#include "viewer/SceneAssembly.h"

// The player's and the recording's backdrop, which must hold from any distance: the overview
// of a long flight looks from kilometres away, far outside the sky the replay draws around the
// frame's origin, and far beyond the terrain's rings.
//
// Both parts are drawn first, on the far end of the depth range, so that whatever comes later
// covers them: their size does not matter to the picture, only their direction from the eye.
// - The sky is kept centred on the eye.
// - The far ground is a flat plain at the lowest height of the drawn terrain, reaching the
//   horizon on every side. Seen from above, such a plain covers every direction below the
//   horizontal, so it is drawn as the lower half of a ball around the eye, inside the sky, in
//   one grass colour that pales towards the horizon. The terrain and everything else covers it
//   wherever they are, so it never fights them for depth. From below its height it is left out.

// The far ground's node carries this name.
const char* const FarGroundName = "far ground";

// A transform that places what hangs under it around the eye of the camera that draws it. The
// cull visitor's eye point is taken where the transform hangs, so it belongs directly under
// the root. For any other visitor it is the identity.
class AroundTheEye : public osg::Transform
{
public:
    AroundTheEye() = default;
    AroundTheEye(const AroundTheEye& other, const osg::CopyOp& copy = osg::CopyOp::SHALLOW_COPY)
        : osg::Transform(other, copy), groundHeight(other.groundHeight), ground(other.ground) {}
    osg::Object* cloneType() const override { return new AroundTheEye; }
    osg::Object* clone(const osg::CopyOp& copy) const override { return new AroundTheEye(*this, copy); }
    bool isSameKindAs(const osg::Object* object) const override { return dynamic_cast<const AroundTheEye*>(object) != nullptr; }
    const char* libraryName() const override { return "flightreplay"; }
    const char* className() const override { return "AroundTheEye"; }

    // Makes it the far ground's: visited on the way down only by a cull visitor whose eye is
    // above `height` (frame units), and without a bound, so that it takes no part in framing
    // the scene, nor in what a pointer or a manipulator finds under it.
    void HoldAbove(double height);

    void accept(osg::NodeVisitor& visitor) override;
    bool computeLocalToWorldMatrix(osg::Matrix& matrix, osg::NodeVisitor* visitor) const override;
    bool computeWorldToLocalMatrix(osg::Matrix& matrix, osg::NodeVisitor* visitor) const override;
    osg::BoundingSphere computeBound() const override;

private:
    double groundHeight = 0.0;
    bool ground = false;
};

// Puts the sky of `scene` around the eye and adds the far ground under the root, before the
// terrain. Leaves a scene without terrain or sky otherwise as it is.
void SurroundWithBackdrop(FlightScene& scene);
