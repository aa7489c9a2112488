#include "worldgen/Landscape.h"

#include <algorithm>
#include <cmath>

#include "geo/MapProjection.h"

const double Landscape::RiverWidth = 18.0;
const double Landscape::LakeLevel = 429.0;

namespace
{

const double DegreesToRadians = Pi / 180.0;
const double BaseLevel = 436.0; // metres, the plateau the field lies on

Rgb MakeRgb(double r, double g, double b)
{
    return Rgb{static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
}

Rgb Mix(const Rgb& a, const Rgb& b, double t)
{
    return MakeRgb(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
}

Rgb Scale(const Rgb& a, double f)
{
    return MakeRgb(a.r * f, a.g * f, a.b * f);
}

// Share of a footprint-wide window centred at signed offset d that the band
// |x| < halfWidth covers: a box-filtered line, exact across the band.
double BandCoverage(double d, double halfWidth, double footprint)
{
    if (footprint <= 1e-9)
        return std::fabs(d) < halfWidth ? 1.0 : 0.0;
    const double overlap = std::min(d + footprint * 0.5, halfWidth) - std::max(d - footprint * 0.5, -halfWidth);
    return std::clamp(overlap / footprint, 0.0, 1.0);
}

// Share of the footprint on the inside of an edge at signed distance d (negative inside).
double InsideCoverage(double d, double footprint)
{
    if (footprint <= 1e-9)
        return d < 0.0 ? 1.0 : 0.0;
    return std::clamp(0.5 - d / footprint, 0.0, 1.0);
}

// Mean of sin over the footprint: stripes of `wavelength` fade as the footprint grows,
// and vanish once it spans a whole stripe pair (beyond that they would only alias).
double Stripes(double position, double wavelength, double footprint)
{
    const double x = Pi * footprint / wavelength;
    if (x >= Pi)
        return 0.0;
    const double attenuation = x < 1e-6 ? 1.0 : std::sin(x) / x;
    return std::sin(TwoPi * position / wavelength) * attenuation;
}

// An axis through the origin along a compass bearing.
struct Axis
{
    explicit Axis(double bearingDegrees)
        : sine(std::sin(bearingDegrees * DegreesToRadians))
        , cosine(std::cos(bearingDegrees * DegreesToRadians))
    {
    }
    // Position along the axis (first) and across it (second, positive to its left).
    void Coordinates(double east, double north, double& along, double& across) const
    {
        along = east * sine + north * cosine;
        across = -east * cosine + north * sine;
    }
    double sine;
    double cosine;
};

const Axis FieldAxis(FieldAxisBearing);

// Signed distance to a centred rectangle (negative inside), metres.
double RectangleDistance(double along, double across, double halfLength, double halfWidth)
{
    const double dx = std::fabs(along) - halfLength;
    const double dy = std::fabs(across) - halfWidth;
    if (dx <= 0.0 && dy <= 0.0)
        return std::max(dx, dy);
    return std::hypot(std::max(dx, 0.0), std::max(dy, 0.0));
}

// Centreline of the river, which flows eastwards south of the field.
double RiverNorth(double east)
{
    return -700.0 + 140.0 * std::sin(east / 900.0 + 0.6) + 70.0 * std::sin(east / 380.0 + 2.1)
        + 25.0 * std::sin(east / 170.0 + 0.3);
}

double RiverSlope(double east)
{
    return 140.0 / 900.0 * std::cos(east / 900.0 + 0.6) + 70.0 / 380.0 * std::cos(east / 380.0 + 2.1)
        + 25.0 / 170.0 * std::cos(east / 170.0 + 0.3);
}

// The main road runs north-south east of the field and bridges the river.
double MainRoadDistance(double east, double north)
{
    const double centre = 420.0 + 70.0 * std::sin(north / 900.0 + 0.4) + 25.0 * std::sin(north / 350.0 + 1.3);
    const double slope = 70.0 / 900.0 * std::cos(north / 900.0 + 0.4) + 25.0 / 350.0 * std::cos(north / 350.0 + 1.3);
    return std::fabs(east - centre) / std::sqrt(1.0 + slope * slope);
}

double SideRoadNorth(double east)
{
    return 300.0 + 35.0 * std::sin(east / 650.0 + 0.2) + 10.0 * std::sin(east / 230.0);
}

// The side road runs west-east north of the field, between it and the lake.
double SideRoadDistance(double east, double north)
{
    const double slope = 35.0 / 650.0 * std::cos(east / 650.0 + 0.2) + 10.0 / 230.0 * std::cos(east / 230.0);
    return std::fabs(north - SideRoadNorth(east)) / std::sqrt(1.0 + slope * slope);
}

// The farm track from the side road down to the field's north edge.
const double TrackEast = -40.0;
double FieldTrackDistance(double east, double north)
{
    const double south = 80.0; // the field's north edge
    const double northEnd = SideRoadNorth(TrackEast);
    const double clamped = std::clamp(north, south, northEnd);
    return std::hypot(east - TrackEast, north - clamped);
}

// No more than the distance to the river from any point at `north`: its centreline stays
// within 235 m of 700 m south, at slopes below 0.49.
double RiverDistanceBound(double north)
{
    return std::max(0.0, (std::fabs(north + 700.0) - 235.0) / 1.12);
}

// No more than the distance to the nearest road or track: the main road's centre stays
// within 95 m of 420 m east at slopes below 0.15, the side road's within 45 m of 300 m north
// at slopes below 0.1, and the track runs along TrackEast between 80 and 345 m north.
double RoadDistanceBound(double east, double north)
{
    const double main = (std::fabs(east - 420.0) - 95.0) / 1.02;
    const double side = (std::fabs(north - 300.0) - 45.0) / 1.01;
    const double track = std::max({std::fabs(east - TrackEast), north - 345.0, 80.0 - north});
    return std::max(0.0, std::min({main, side, track}));
}

struct Building
{
    double east, north;        // centre, metres
    double halfLength, halfWidth;
    double bearing;            // of the ridge, degrees
    Rgb roof;
    Axis axis() const { return Axis(bearing); }
};

// Two farmsteads: one on the side road by the field track, one on the main road.
const Building Buildings[] = {
    {-95.0, 345.0, 22.0, 9.0, 78.0, {0.56f, 0.30f, 0.22f}},
    {-140.0, 372.0, 8.0, 6.0, 168.0, {0.46f, 0.44f, 0.43f}},
    {-60.0, 380.0, 15.0, 7.0, 80.0, {0.52f, 0.28f, 0.21f}},
    {505.0, -160.0, 25.0, 10.0, 5.0, {0.55f, 0.31f, 0.23f}},
    {540.0, -120.0, 9.0, 6.5, 95.0, {0.47f, 0.45f, 0.44f}},
};

struct Yard
{
    double east, north, halfLength, halfWidth, bearing;
};
const Yard Yards[] = {
    {-100.0, 360.0, 62.0, 36.0, 78.0},
    {520.0, -140.0, 40.0, 46.0, 5.0},
};

const Rgb GrassMargin = {0.40f, 0.50f, 0.26f};
const Rgb Hedge = {0.19f, 0.31f, 0.14f};
const Rgb DirtTrack = {0.63f, 0.57f, 0.46f};
const Rgb Asphalt = {0.37f, 0.37f, 0.37f};
const Rgb Shoulder = {0.58f, 0.55f, 0.48f};
const Rgb RiverWater = {0.20f, 0.29f, 0.27f};
const Rgb ShallowWater = {0.24f, 0.34f, 0.31f};
const Rgb DeepWater = {0.10f, 0.20f, 0.25f};
const Rgb Reeds = {0.38f, 0.42f, 0.22f};
const Rgb Gravel = {0.52f, 0.49f, 0.40f};
const Rgb YardGravel = {0.56f, 0.54f, 0.48f};
const Rgb FieldGrass = {0.43f, 0.56f, 0.27f};
const Rgb MownGrass = {0.54f, 0.64f, 0.34f};
const Rgb LongGrass = {0.35f, 0.45f, 0.21f};

} // namespace

Landscape::Landscape(uint32_t seed, Relief relief)
    : seed(seed)
    , hills(seed * 7u + 1u)
    , ridges(seed * 7u + 2u)
    , texture(seed * 7u + 3u)
    , woods(seed * 7u + 4u)
    , ranges(seed * 7u + 5u)
    , valleys(seed * 7u + 6u)
    , relief(relief)
    , fieldLevel(0.0)
{
    // The field is levelled to whole metres, so the elevation tiles store it exactly.
    fieldLevel = std::round(UnflattenedHeight(0.0, 0.0));
}

double Landscape::RiverDistance(double east, double north) const
{
    const double slope = RiverSlope(east);
    return std::fabs(north - RiverNorth(east)) / std::sqrt(1.0 + slope * slope);
}

double Landscape::LakeRadius(double east, double north) const
{
    static const double c = std::cos(35.0 * DegreesToRadians);
    static const double s = std::sin(35.0 * DegreesToRadians);
    const double de = east - 860.0;
    const double dn = north - 640.0;
    const double u = de * c + dn * s;
    const double v = -de * s + dn * c;
    const double radius = std::sqrt((u / 310.0) * (u / 310.0) + (v / 180.0) * (v / 180.0));
    if (radius > 1.6)
        return radius; // far from the shore, whose wobble stays within 0.1
    // A wobbly shore: bays and points a few tens of metres deep.
    const double shore = 0.07 * texture.At(east / 230.0 + 11.3, north / 230.0 - 4.1)
        + 0.03 * texture.At(east / 80.0 - 2.7, north / 80.0 + 8.9);
    return radius + shore;
}

double Landscape::UnflattenedHeight(double east, double north) const
{
    const double r = std::hypot(east, north);
    // Rolling hills: gentle around the field, livelier a few kilometres out.
    const double liveliness = 0.35 + 0.65 * SmoothStep(700.0, 4500.0, r);
    double h = BaseLevel + liveliness * 42.0 * hills.Fractal(east, north, 3200.0, 4, 0.45, 0.0);
    // Broad, higher ridges towards the edge of the terrain give the view a skyline.
    const double far = SmoothStep(3500.0, 11000.0, r);
    h += far * (70.0 + 120.0 * ridges.Fractal(east, north, 6000.0, 3, 0.5, 0.0));
    if (relief == Relief::Regional)
    {
        // Beyond the demo's terrain: hill ranges some 20 km across, and valleys a few
        // kilometres wide winding along the zero lines of a second field, 150 m deep.
        const double regional = SmoothStep(12000.0, 25000.0, r);
        if (regional > 0.0)
        {
            const double valley = 1.0 - SmoothStep(0.0, 0.22, std::fabs(valleys.Fractal(east, north, 16000.0, 2, 0.5, 0.0)));
            h += regional * (260.0 * ranges.Fractal(east, north, 22000.0, 3, 0.5, 0.0) + 60.0 - 150.0 * valley);
        }
    }

    // The river valley: a flat floor along the river, sides rising over a few hundred metres.
    const double riverLevel = 414.0 - 0.0012 * east;
    const double valleyFloor = riverLevel + 1.5;
    h = valleyFloor + (h - valleyFloor) * SmoothStep(110.0, 480.0, RiverDistance(east, north));

    // The lake: a level surface, its banks easing up to the surrounding ground.
    const double lake = LakeRadius(east, north);
    if (lake < 1.0)
        return LakeLevel;
    const double shoreDistance = (lake - 1.0) * 190.0;
    h = LakeLevel + (h - LakeLevel) * SmoothStep(0.0, 250.0, shoreDistance);
    return h;
}

double Landscape::Height(double east, double north) const
{
    double along = 0.0;
    double across = 0.0;
    FieldAxis.Coordinates(east, north, along, across);
    const double outside = std::max(0.0, RectangleDistance(along, across, FieldHalfLength, FieldHalfWidth));
    const double h = UnflattenedHeight(east, north);
    return fieldLevel + (h - fieldLevel) * SmoothStep(0.0, 220.0, outside);
}

double Landscape::Shade(double east, double north) const
{
    // Slopes exaggerated 2.5 times: the gentle hills would otherwise barely show from above.
    const double step = 3.0;
    const double exaggeration = 2.5;
    const double ge = (Height(east + step, north) - Height(east - step, north)) / (2.0 * step) * exaggeration;
    const double gn = (Height(east, north + step) - Height(east, north - step)) / (2.0 * step) * exaggeration;
    // Sun in the north-west, 40 degrees high (the shading convention of maps).
    const double elevation = 40.0 * DegreesToRadians;
    const double le = -std::cos(elevation) * std::sqrt(0.5);
    const double ln = std::cos(elevation) * std::sqrt(0.5);
    const double lz = std::sin(elevation);
    const double lit = (-ge * le - gn * ln + lz) / std::sqrt(ge * ge + gn * gn + 1.0);
    return std::clamp(1.0 + 0.9 * (lit / lz - 1.0), 0.55, 1.3);
}

double Landscape::ForestMask(double east, double north, double footprint) const
{
    const double r = std::hypot(east, north);
    // Large woods keep a kilometre away from the field, so the flight looks down on open land.
    const double threshold = 0.30 + 0.9 * (1.0 - SmoothStep(650.0, 1400.0, r));
    double m = woods.Fractal(east, north, 2400.0, 3, 0.5, 0.0);
    double cover = m > threshold ? 1.0 : 0.0;
    // Ragged edges; the broad mask alone decides far from them (the ragged part stays
    // within +-0.35).
    if (std::fabs(m - threshold) < 0.4)
    {
        m += 0.2 * woods.Fractal(east + 500.0, north - 300.0, 160.0, 3, 0.5, footprint);
        // About 250 m of ground per unit of the mask near its threshold: edges get a metric width.
        cover = InsideCoverage(-(m - threshold) * 250.0, footprint);
    }
    // A copse south-west of the field, a landmark for the pilot.
    static const Axis copseAxis(70.0);
    double along = 0.0;
    double across = 0.0;
    copseAxis.Coordinates(east + 520.0, north + 170.0, along, across);
    const double copse = std::sqrt((along / 120.0) * (along / 120.0) + (across / 65.0) * (across / 65.0));
    if (copse > 1.4)
        return cover;
    return std::max(cover, InsideCoverage((copse + 0.12 * woods.At(east / 60.0, north / 60.0) - 1.0) * 65.0, footprint));
}

Rgb Landscape::ForestColour(double east, double north, double footprint) const
{
    const double conifers = SmoothStep(-0.2, 0.3, woods.At(east / 700.0 + 40.0, north / 700.0));
    const Rgb base = Mix(MakeRgb(0.22, 0.34, 0.15), MakeRgb(0.13, 0.22, 0.13), conifers);
    // Crowns a few metres across, with dark gaps between them.
    const double crowns = texture.Fractal(east + 91.0, north - 37.0, 9.0, 3, 0.55, footprint);
    const double stands = 0.08 * texture.Fractal(east - 13.0, north + 71.0, 120.0, 2, 0.5, footprint);
    return Scale(base, 1.0 + 0.35 * crowns + stands);
}

Rgb Landscape::MeadowColour(double east, double north, double footprint) const
{
    const double patches = texture.Fractal(east + 300.0, north - 120.0, 70.0, 3, 0.5, footprint);
    const double tufts = texture.Fractal(east - 77.0, north + 19.0, 6.0, 2, 0.5, footprint);
    const Rgb green = MakeRgb(0.39, 0.52, 0.24);
    const Rgb yellowish = MakeRgb(0.50, 0.55, 0.28);
    return Scale(Mix(green, yellowish, std::clamp(0.5 + patches, 0.0, 1.0) * 0.6), 1.0 + 0.08 * tufts);
}

namespace
{

// Parcels are long strips in a grid turned 12 degrees from north, as old field
// boundaries often are: strips 110 m apart (some split in two), 380 m long, each row of
// strips shifted so the ends do not line up.
const double ParcelAngle = 12.0 * DegreesToRadians;
const double ParcelCos = std::cos(ParcelAngle);
const double ParcelSin = std::sin(ParcelAngle);
const double StripPitch = 110.0;
const double BlockLength = 380.0;

struct Parcel
{
    int32_t iu = 0;    // block number along the strip
    int32_t jv = 0;    // strip number
    int32_t sub = 0;   // 0 or 1 for the halves of a split strip
    double fv = 0.0;   // metres across the strip from its lower edge
    double fu = 0.0;   // metres along the block from its start
    double lo = 0.0;   // the parcel's extent across the strip, metres
    double hi = StripPitch;
};

Parcel ParcelAt(double pu, double pv, uint32_t seed)
{
    Parcel p;
    p.jv = static_cast<int32_t>(std::floor(pv / StripPitch));
    p.fv = pv - p.jv * StripPitch;
    if (HashUnit(p.jv, 0, 1, seed) < 0.55)
    {
        const double split = StripPitch * (0.3 + 0.4 * HashUnit(p.jv, 0, 2, seed));
        if (p.fv < split)
            p.hi = split;
        else
        {
            p.lo = split;
            p.sub = 1;
        }
    }
    const double uu = pu + HashUnit(p.jv, 0, 3, seed) * BlockLength;
    p.iu = static_cast<int32_t>(std::floor(uu / BlockLength));
    p.fu = uu - p.iu * BlockLength;
    return p;
}

} // namespace

Rgb Landscape::CropColour(int32_t iu, int32_t strip, double pv, double tone, double footprint, bool& tramlines) const
{
    const double pick = HashUnit(iu, strip, 4, seed);
    const double shade = tone * (0.94 + 0.12 * HashUnit(iu, strip, 9, seed));
    tramlines = true;
    Rgb crop;
    if (pick < 0.20) // winter wheat, still green
        crop = MakeRgb(0.44, 0.55, 0.27);
    else if (pick < 0.35) // ripening wheat
        crop = MakeRgb(0.70, 0.63, 0.39);
    else if (pick < 0.45) // barley
        crop = MakeRgb(0.77, 0.70, 0.49);
    else if (pick < 0.52) // rapeseed in flower
        crop = MakeRgb(0.82, 0.77, 0.30);
    else if (pick < 0.62) // young maize: green rows over bare soil
        crop = Mix(MakeRgb(0.52, 0.43, 0.33), MakeRgb(0.34, 0.47, 0.20), 0.45 + 0.3 * Stripes(pv, 2.4, footprint));
    else if (pick < 0.72) // ploughed
    {
        crop = Scale(MakeRgb(0.46, 0.37, 0.28), 1.0 + 0.08 * Stripes(pv, 1.6, footprint));
        tramlines = false;
    }
    else if (pick < 0.87) // hay meadow, mown in broad swathes
    {
        crop = Scale(MakeRgb(0.41, 0.53, 0.25), 1.0 + 0.07 * Stripes(pv, 7.0, footprint));
        tramlines = false;
    }
    else if (pick < 0.95) // stubble with straw windrows
    {
        crop = Mix(MakeRgb(0.71, 0.65, 0.47), MakeRgb(0.82, 0.77, 0.60), 0.5 + 0.5 * Stripes(pv, 6.0, footprint));
        tramlines = false;
    }
    else // potatoes: dark ridges
        crop = Mix(MakeRgb(0.45, 0.38, 0.29), MakeRgb(0.25, 0.38, 0.18), 0.55 + 0.35 * Stripes(pv, 1.5, footprint));
    return Scale(crop, shade);
}

Rgb Landscape::FieldsColour(double east, double north, double footprint) const
{
    const double pu = east * ParcelCos + north * ParcelSin;
    const double pv = -east * ParcelSin + north * ParcelCos;
    const Parcel p = ParcelAt(pu, pv, seed);

    // Within-field variation (soil, moisture), shared by neighbouring parcels.
    const double tone = 1.0 + 0.07 * texture.Fractal(east - 40.0, north + 90.0, 45.0, 3, 0.5, footprint)
        + 0.04 * texture.Fractal(east + 17.0, north + 3.0, 8.0, 2, 0.5, footprint);
    bool tramlines = true;
    Rgb crop = CropColour(p.iu, p.jv * 2 + p.sub, pv, tone, footprint, tramlines);

    // Tramlines: pairs of wheel tracks every 18 m, showing the soil.
    if (tramlines)
    {
        const double lane = std::fmod(p.fv, 18.0) - 9.0;
        const double wheels = BandCoverage(lane - 0.9, 0.25, footprint) + BandCoverage(lane + 0.9, 0.25, footprint);
        crop = Mix(crop, MakeRgb(0.50, 0.44, 0.34), 0.6 * std::min(wheels, 1.0));
    }

    // Near an edge the footprint also sees the parcel beyond it: blend the two crops by
    // the share of the footprint on either side.
    const double edges[4] = {p.fv - p.lo, p.hi - p.fv, p.fu, BlockLength - p.fu};
    int32_t nearest = 0;
    for (int32_t k = 1; k < 4; ++k)
        if (edges[k] < edges[nearest])
            nearest = k;
    const double edge = edges[nearest];
    if (edge < footprint * 0.5)
    {
        const double step = edge + 0.01;
        const double nu = pu + (nearest == 2 ? -step : nearest == 3 ? step : 0.0);
        const double nv = pv + (nearest == 0 ? -step : nearest == 1 ? step : 0.0);
        const Parcel q = ParcelAt(nu, nv, seed);
        bool unused = true;
        const Rgb beyond = CropColour(q.iu, q.jv * 2 + q.sub, pv, tone, footprint, unused);
        crop = Mix(beyond, crop, 0.5 + edge / footprint);
    }

    // Grass margins along every parcel edge.
    Rgb colour = Mix(crop, GrassMargin, InsideCoverage(edge - 1.2, footprint));

    // Hedges on some short ends, dirt tracks along some long sides.
    const bool hedgeBefore = HashUnit(p.iu, p.jv, 6, seed) < 0.25;
    const bool hedgeAfter = HashUnit(p.iu + 1, p.jv, 6, seed) < 0.25;
    if ((hedgeBefore && p.fu < 2.5 + footprint) || (hedgeAfter && BlockLength - p.fu < 2.5 + footprint))
    {
        const Rgb hedge = Scale(Hedge, 1.0 + 0.3 * texture.Fractal(east, north, 5.0, 2, 0.5, footprint));
        if (hedgeBefore)
            colour = Mix(colour, hedge, BandCoverage(p.fu, 2.5, footprint));
        if (hedgeAfter)
            colour = Mix(colour, hedge, BandCoverage(BlockLength - p.fu, 2.5, footprint));
    }
    if (HashUnit(p.jv, 0, 5, seed) < 0.3)
        colour = Mix(colour, DirtTrack, BandCoverage(p.fv, 1.8, footprint));
    if (HashUnit(p.jv + 1, 0, 5, seed) < 0.3)
        colour = Mix(colour, DirtTrack, BandCoverage(StripPitch - p.fv, 1.8, footprint));
    return colour;
}

LandCover Landscape::Cover(double east, double north, double footprint) const
{
    // Bottom layer: farmland, with meadows on the river's flood plain and woods on top.
    Rgb colour = FieldsColour(east, north, footprint);
    // Most of a long flight's imagery lies far from the river and the roads, whose exact
    // distances cost more than the rest of a pixel: where a lower bound already rules them
    // out, the bound stands in for them, which changes no test below.
    const double riverBound = RiverDistanceBound(north);
    const double riverDistance = riverBound >= 260.0 + footprint ? riverBound : RiverDistance(east, north);
    if (riverDistance < 260.0 + footprint) // the flood plain reaches 200 m at most
    {
        const double plain = 150.0 + 50.0 * texture.At(east / 400.0 + 3.1, north / 400.0);
        const double meadow = InsideCoverage(riverDistance - plain, footprint);
        if (meadow > 0.0)
            colour = Mix(colour, MeadowColour(east, north, footprint), meadow);
    }
    const double forest = ForestMask(east, north, footprint);
    if (forest > 0.0)
        colour = Mix(colour, ForestColour(east, north, footprint), forest);

    // The launch field: meadow kept short, an unmown margin, and the mown strip.
    double along = 0.0;
    double across = 0.0;
    FieldAxis.Coordinates(east, north, along, across);
    const double fieldEdge = RectangleDistance(along, across, FieldHalfLength, FieldHalfWidth);
    const double inField = InsideCoverage(fieldEdge, footprint);
    if (inField > 0.0)
    {
        Rgb grass = Scale(FieldGrass, 1.0 + 0.05 * Stripes(across, 12.0, footprint)
                                          + 0.05 * texture.Fractal(east, north, 25.0, 3, 0.5, footprint));
        grass = Mix(grass, LongGrass, BandCoverage(fieldEdge + 1.5, 1.5, footprint));
        const double strip =
            InsideCoverage(RectangleDistance(along, across, MownStripHalfLength, MownStripHalfWidth), footprint);
        const Rgb mown = Scale(MownGrass, 1.0 + 0.06 * Stripes(across + MownStripHalfWidth, 5.6, footprint));
        grass = Mix(grass, mown, strip);
        colour = Mix(colour, grass, inField);
    }

    // Farmyards and buildings: gable roofs, the half facing the sun brighter.
    for (const Yard& yard : Yards)
    {
        if (std::fabs(east - yard.east) > 80.0 + footprint || std::fabs(north - yard.north) > 80.0 + footprint)
            continue;
        Axis(yard.bearing).Coordinates(east - yard.east, north - yard.north, along, across);
        const double inside = InsideCoverage(RectangleDistance(along, across, yard.halfLength, yard.halfWidth), footprint);
        if (inside > 0.0)
            colour = Mix(colour, Scale(YardGravel, 1.0 + 0.05 * texture.Fractal(east, north, 10.0, 2, 0.5, footprint)),
                         inside);
    }
    for (const Building& building : Buildings)
    {
        if (std::fabs(east - building.east) > 30.0 + footprint || std::fabs(north - building.north) > 30.0 + footprint)
            continue;
        building.axis().Coordinates(east - building.east, north - building.north, along, across);
        const double inside =
            InsideCoverage(RectangleDistance(along, across, building.halfLength, building.halfWidth), footprint);
        if (inside > 0.0)
        {
            // across > 0 is the roof half left of the ridge's bearing.
            const double sunSide = std::cos((building.bearing - 90.0 - 315.0) * DegreesToRadians) > 0.0 ? 1.0 : -1.0;
            const double side = 0.5 + 0.5 * std::clamp(across / std::max(footprint, 0.1), -1.0, 1.0);
            const double lit = 1.0 + 0.12 * sunSide * (2.0 * side - 1.0);
            colour = Mix(colour, Scale(building.roof, lit), inside);
        }
    }

    // The river: trees along the banks, a strip of gravel, then the water.
    double river = 0.0;
    if (riverDistance < RiverWidth + 30.0 + footprint)
    {
        const double halfWidth = RiverWidth * 0.5 * (1.0 + 0.25 * texture.At(east / 300.0, 7.7));
        const double bankTrees = 0.5 + texture.At(east / 90.0 + 5.0, north / 90.0);
        if (bankTrees > 0.3)
        {
            const double trees =
                BandCoverage(riverDistance - halfWidth - 8.0, 6.0, footprint) * SmoothStep(0.3, 0.45, bankTrees);
            if (trees > 0.0)
                colour = Mix(colour, ForestColour(east, north, footprint), trees);
        }
        colour = Mix(colour, Gravel, BandCoverage(riverDistance, halfWidth + 2.0, footprint));
        river = BandCoverage(riverDistance, halfWidth, footprint);
        if (river > 0.0)
            colour = Mix(colour, Scale(RiverWater, 1.0 + 0.05 * texture.Fractal(east, north, 30.0, 2, 0.5, footprint)),
                         river);
    }

    // The lake: a reed belt, shallows near the shore, dark deep water.
    const double shoreDistance = (LakeRadius(east, north) - 1.0) * 190.0;
    double lakeWater = 0.0;
    if (shoreDistance < 10.0 + footprint)
    {
        const double reedBelt = SmoothStep(-0.2, 0.3, texture.At(east / 50.0, north / 50.0 + 3.0));
        colour = Mix(colour, Reeds, InsideCoverage(shoreDistance - 7.0, footprint) * reedBelt);
        lakeWater = InsideCoverage(shoreDistance, footprint);
        if (lakeWater > 0.0)
        {
            const Rgb water = Mix(ShallowWater, DeepWater, SmoothStep(0.0, 70.0, -shoreDistance));
            colour =
                Mix(colour, Scale(water, 1.0 + 0.04 * texture.Fractal(east, north, 40.0, 2, 0.5, footprint)), lakeWater);
        }
    }

    // Roads on top, the main road bridging the river.
    const bool nearRoad = RoadDistanceBound(east, north) < 4.3 + footprint;
    const double mainRoad = nearRoad ? MainRoadDistance(east, north) : 0.0;
    const double sideRoad = nearRoad ? SideRoadDistance(east, north) : 0.0;
    const double track = nearRoad ? FieldTrackDistance(east, north) : 0.0;
    if (nearRoad && std::min(std::min(mainRoad, sideRoad), track) < 4.3 + footprint)
    {
        const double wear = 1.0 + 0.05 * texture.Fractal(east, north, 15.0, 2, 0.5, footprint);
        colour = Mix(colour, Shoulder, BandCoverage(mainRoad, 4.3, footprint));
        colour = Mix(colour, Scale(Asphalt, wear), BandCoverage(mainRoad, 3.3, footprint));
        colour = Mix(colour, Shoulder, BandCoverage(sideRoad, 3.4, footprint));
        colour = Mix(colour, Scale(Asphalt, wear), BandCoverage(sideRoad, 2.6, footprint));
        colour = Mix(colour, Scale(DirtTrack, wear), BandCoverage(track, 1.8, footprint));
    }

    LandCover cover;
    cover.colour = colour;
    // Water is flat and shows no slope; the bridge over it is too short to matter.
    cover.shading = static_cast<float>(1.0 - std::max(river, lakeWater));
    return cover;
}
