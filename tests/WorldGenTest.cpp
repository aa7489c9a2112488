// The demo-world generator: its log through the real program, the attitude conventions
// under the viewer's rotations, the terrain and imagery files against what the terrain
// builder reads, imagery levels against each other, the textures and the aircraft model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <osg/AnimationPath>
#include <osg/Geode>
#include <osg/Matrixd>
#include <osgDB/ReadFile>

#include "flight/LoadedFlight.h"
#include "geo/Geodesy.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/LogAttitude.h"
#include "log/LogWriter.h"
#include "scene/Aircraft.h"
#include "scene/AttitudeConvention.h"
#include "scene/FlightPath.h"
#include "support/TestSupport.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/FlightCorridor.h"
#include "terrain/TerrainHeight.h"
#include "worldgen/AircraftModel.h"
#include "worldgen/ElevationTiles.h"
#include "worldgen/FlightLog.h"
#include "worldgen/FlightPlan.h"
#include "worldgen/ImageryTiles.h"
#include "worldgen/Landscape.h"
#include "worldgen/Textures.h"
#include "worldgen/WorldGenerator.h"
#include "worldgen/WorldSite.h"

namespace
{

// A number as the log's scanner reads one: optional minus, digits, optionally a full stop
// and digits. Nothing else (no exponent, no plus sign).
bool IsLogNumber(const std::string& field)
{
    size_t i = field.size() > 0 && field[0] == '-' ? 1 : 0;
    size_t digits = 0;
    while (i < field.size() && isdigit(static_cast<unsigned char>(field[i])))
        ++i, ++digits;
    if (i < field.size() && field[i] == '.')
    {
        ++i;
        size_t fraction = 0;
        while (i < field.size() && isdigit(static_cast<unsigned char>(field[i])))
            ++i, ++fraction;
        if (fraction == 0)
            return false;
    }
    else if (digits == 0)
        return false;
    return i == field.size();
}

// The demo log, written once for all tests of this program, and read back as numbers.
struct DemoLog
{
    std::string folder;
    std::string path;
    std::string text;
    std::vector<std::vector<double>> rows; // the 41 numbers of each data line
    std::map<std::string, int> column;     // keyword -> column index
};

const DemoLog& TheDemoLog()
{
    static ScratchDirectory folder;
    static DemoLog log;
    if (!log.path.empty())
        return log;
    log.folder = folder.Path();
    log.path = folder.PathOf(SampleLogName);
    const Landscape landscape(DefaultWorldSeed);
    WriteFlightLog(log.path, FlightLogRows(FlyDemoFlight(landscape, DefaultWorldSeed, DemoSampleRate), DemoSampleRate));
    log.text = ReadWholeFile(log.path);
    const std::vector<std::string> lines = SplitLines(log.text);
    if (lines.empty())
        return log;
    const std::vector<std::string> keywords = SplitFields(lines[0], ',');
    for (size_t k = 0; k < keywords.size(); ++k)
        log.column[keywords[k]] = static_cast<int>(k);
    for (size_t l = 1; l < lines.size(); ++l)
    {
        std::vector<double> values;
        for (const std::string& field : SplitFields(lines[l], ','))
            values.push_back(strtod(field.c_str(), nullptr));
        log.rows.push_back(values);
    }
    return log;
}

double Value(const DemoLog& log, size_t row, const char* keyword)
{
    return log.rows[row][log.column.at(keyword)];
}

// The demo log as the viewer reads it: its rows and the map frame fixed on them.
const LoadedFlight& DemoFlight(const DemoLog& log)
{
    static LoadedFlight flight;
    if (flight.rows.empty())
    {
        EXPECT_EQ(LoadFlight(log.path.c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight), 0);
    }
    return flight;
}

// The demo flight as the viewer shows it: the flight path the viewer builds from the log,
// and the aircraft it builds from the generated model, so that these tests see the
// viewer's own rotations and positions, whatever order and axes they use.
struct DemoScene
{
    std::vector<osg::AnimationPath::ControlPoint> points; // one per row
    osg::Matrixd aircraft;                                 // the model stood up and scaled
};

const DemoScene& TheDemoScene()
{
    static DemoScene scene;
    if (!scene.points.empty())
        return scene;
    const DemoLog& log = TheDemoLog();
    ScratchDirectory folder;
    EXPECT_TRUE(WriteAc3d(folder.PathOf("model.ac"), MakeGliderModel()));
    folder.MakeDirectory("EasyStar/data");
    rename(folder.PathOf("model.ac").c_str(), folder.PathOf(AircraftModelFile).c_str());
    const LoadedFlight& flight = DemoFlight(log);
    const MapFrameValues frame = flight.Frame();
    {
        WorkingDirectory inWorld(folder.Path());
        scene.aircraft = BuildAircraft(frame.k)->getMatrix();
    }
    const osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath(flight.Rows(), frame);
    for (const auto& point : path->getTimeControlPointMap())
        scene.points.push_back(point.second);
    EXPECT_EQ(scene.points.size(), log.rows.size());
    return scene;
}

osg::Vec3d ScenePointOfRow(size_t row)
{
    return TheDemoScene().points[row].getPosition();
}

// Model space to scene for a row: the aircraft's own transform under the row's control point.
osg::Matrixd AircraftToScene(size_t row)
{
    osg::Matrixd attitude;
    TheDemoScene().points[row].getMatrix(attitude);
    return TheDemoScene().aircraft * attitude;
}

// Model axes of the generated glider: nose along -x, up along +y, left wing along +z.
osg::Vec3d SceneDirection(const osg::Matrixd& m, const osg::Vec3d& modelDirection)
{
    osg::Vec3d d = osg::Matrixd::transform3x3(modelDirection, m);
    d.normalize();
    return d;
}

double AngleDegrees(const osg::Vec3d& a, const osg::Vec3d& b)
{
    const double c = (a * b) / (a.length() * b.length());
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / Pi;
}

bool Airborne(const DemoLog& log, size_t row, double field)
{
    return Value(log, row, "gps_curalt") - field > 15.0;
}

// Pixel of an image counted from the north-west corner (row 0 of an osg::Image is south).
const unsigned char* PixelFromNorth(const osg::Image& image, int x, int yFromNorth)
{
    return image.data(x, image.t() - 1 - yFromNorth);
}

} // namespace

// ---------------------------------------------------------------------------------------
// The log

TEST(DemoLogTest, EveryLineHas41PlainNumbersAndEndsInALineEnd)
{
    const DemoLog& log = TheDemoLog();
    ASSERT_FALSE(log.text.empty());
    EXPECT_EQ(log.text.back(), '\n') << "a last line without a line end is never read";
    const std::vector<std::string> lines = SplitLines(log.text);
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(SplitFields(lines[0], ',').size(), 41u);
    for (size_t l = 1; l < lines.size(); ++l)
    {
        const std::vector<std::string> fields = SplitFields(lines[l], ',');
        ASSERT_EQ(fields.size(), 41u) << "line " << l + 1;
        for (const std::string& field : fields)
            ASSERT_TRUE(IsLogNumber(field)) << "line " << l + 1 << ": '" << field << "'";
    }
}

TEST(DemoLogTest, HeaderNamesEveryColumnKindOnce)
{
    const DemoLog& log = TheDemoLog();
    std::set<std::string> seen;
    for (const std::string& keyword : SplitFields(SplitLines(log.text)[0], ','))
        EXPECT_TRUE(seen.insert(keyword).second) << keyword << " twice";
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
        EXPECT_EQ(seen.count(LogKeywords[kind]), 1u) << LogKeywords[kind];
}

TEST(DemoLogTest, SampleNumbersCountFromOneAndTimeStepsEvenly)
{
    const DemoLog& log = TheDemoLog();
    ASSERT_GT(log.rows.size(), 2u);
    // Every step is the first one, forward in time, a sample rate of 4 to 10 per second.
    const double step = Value(log, 1, "gps_time") - Value(log, 0, "gps_time");
    EXPECT_GE(step, 1.0 / 10.0 - 1e-9);
    EXPECT_LE(step, 1.0 / 4.0 + 1e-9);
    for (size_t r = 0; r < log.rows.size(); ++r)
    {
        ASSERT_EQ(Value(log, r, "samplenumber"), static_cast<double>(r + 1));
        if (r > 0)
        {
            ASSERT_NEAR(Value(log, r, "gps_time") - Value(log, r - 1, "gps_time"), step, 1e-6) << "row " << r + 1;
        }
    }
    const double minutes = (Value(log, log.rows.size() - 1, "gps_time") - Value(log, 0, "gps_time")) / 60.0;
    EXPECT_GE(minutes, 10.0);
    EXPECT_LE(minutes, 15.0);
}

TEST(DemoLogTest, ProgramAcceptsEveryRowAndReportsTheFlight)
{
    const DemoLog& log = TheDemoLog();
    // Without a display the program still reads the log and prints its report.
    const std::string output = RunProgram(FLIGHTREPLAY_BINARY, log.folder, {SampleLogName}).out;
    long rows = -1;
    double timeMin = 0.0;
    double timeMax = 0.0;
    double step = 0.0;
    long ci = 0;
    long cj = 0;
    for (const std::string& line : SplitLines(output))
    {
        sscanf(line.c_str(), "selected %ld row", &rows);
        sscanf(line.c_str(), "time(mn,mx)=(%lf %lf)", &timeMin, &timeMax);
        sscanf(line.c_str(), "sum(time)/sum(sn)=%lf", &step);
        sscanf(line.c_str(), "CI,CJ=%ld %ld", &ci, &cj);
    }
    EXPECT_EQ(rows, static_cast<long>(log.rows.size())) << output.substr(0, 2000);
    const double first = Value(log, 0, "gps_time"), last = Value(log, log.rows.size() - 1, "gps_time");
    EXPECT_NEAR(timeMin, first, 1e-6);
    EXPECT_NEAR(timeMax, last, 1e-6);
    EXPECT_NEAR(step, (last - first) / (log.rows.size() - 1), 1e-6);
    // The generator chooses its tiles from the same map frame.
    const MapFrameValues frame = DemoFlight(log).Frame();
    EXPECT_EQ(ci, frame.CI);
    EXPECT_EQ(cj, frame.CJ);
}

TEST(DemoLogTest, SameSeedSameLogOtherSeedOtherLog)
{
    const Landscape landscape(DefaultWorldSeed);
    const auto text = [&](uint32_t seed) {
        std::string all;
        for (const SampleRow& row : FlightLogRows(FlyDemoFlight(landscape, seed, DemoSampleRate), DemoSampleRate))
            AppendLogLine(&all, row, DemoLogColumns);
        return all;
    };
    EXPECT_EQ(text(DefaultWorldSeed), TheDemoLog().text.substr(LogHeaderLine(DemoLogColumns).size()));
    EXPECT_NE(text(DefaultWorldSeed + 1), text(DefaultWorldSeed));
}

// ---------------------------------------------------------------------------------------
// The flight

TEST(DemoFlightTest, LaunchesClimbsToCruiseAndLandsOnTheField)
{
    const DemoLog& log = TheDemoLog();
    const Landscape landscape(DefaultWorldSeed);
    const double field = landscape.FieldLevel();
    double highest = -1e9;
    for (size_t r = 0; r < log.rows.size(); ++r)
        highest = std::max(highest, Value(log, r, "gps_curalt") - field);
    EXPECT_GE(highest, 100.0);
    EXPECT_LE(highest, 150.0);
    // Starts and ends on the mown strip, at rest.
    for (size_t r : {size_t{0}, log.rows.size() - 1})
    {
        const double east = EastOfLongitude(Value(log, r, "gps_curlon") / 60.0);
        const double north = NorthOfLatitude(Value(log, r, "gps_curlat") / 60.0);
        const double b = FieldAxisBearing * Pi / 180.0;
        EXPECT_LT(std::fabs(-east * std::cos(b) + north * std::sin(b)), MownStripHalfWidth) << "row " << r;
        EXPECT_LT(std::fabs(east * std::sin(b) + north * std::cos(b)), MownStripHalfLength) << "row " << r;
        EXPECT_LT(Value(log, r, "gps_curalt") - field, 2.0) << "row " << r;
        EXPECT_EQ(Value(log, r, "gps_curspeed"), 0.0) << "row " << r;
    }
}

TEST(DemoFlightTest, StaysAboveTheTerrainUntilItLands)
{
    const DemoLog& log = TheDemoLog();
    const Landscape landscape(DefaultWorldSeed);
    for (size_t r = 0; r < log.rows.size(); ++r)
    {
        const double latitude = Value(log, r, "gps_curlat") / 60.0;
        const double longitude = Value(log, r, "gps_curlon") / 60.0;
        const double altitude = Value(log, r, "gps_curalt");
        // The ground under the aircraft, and the highest elevation sample of the grid
        // cell the viewer's terrain spans there.
        double ground = landscape.Height(EastOfLongitude(longitude), NorthOfLatitude(latitude));
        const int32_t row = static_cast<int32_t>(MercatorY(latitude) * TileScale);
        const int32_t column = static_cast<int32_t>(LongitudeX(longitude) * TileScale);
        for (int32_t dr = 0; dr <= 1; ++dr)
            for (int32_t dc = 0; dc <= 1; ++dc)
                ground = std::max(ground, static_cast<double>(ElevationSample(landscape, row + dr, column + dc)));
        if (Airborne(log, r, landscape.FieldLevel()))
            ASSERT_GT(altitude - ground, 10.0) << "row " << r;
        else
            ASSERT_GE(altitude, ground) << "row " << r;
    }
}

TEST(DemoFlightTest, StaysWithinTheSharpestImagery)
{
    const DemoLog& log = TheDemoLog();
    // Level 17 (the second finest) spans 14 zoom-18 tiles around the centre tile; the
    // whole flight lies inside its inner part, so the aircraft never flies over blurry
    // imagery.
    for (size_t r = 0; r < log.rows.size(); ++r)
    {
        const osg::Vec3d p = ScenePointOfRow(r);
        ASSERT_LT(std::max(std::fabs(p.x() - 0.5), std::fabs(p.y() - 0.5)), 6.0) << "row " << r;
    }
}

TEST(DemoFlightTest, BatteryDrainsAsTheFlightGoesOn)
{
    const DemoLog& log = TheDemoLog();
    double consumed = 0.0;
    for (size_t r = 0; r < log.rows.size(); ++r)
    {
        ASSERT_GE(Value(log, r, "mah"), consumed) << "row " << r;
        consumed = Value(log, r, "mah");
    }
    EXPECT_GT(consumed, 200.0);
    EXPECT_LT(Value(log, log.rows.size() - 1, "voltage1"), Value(log, 0, "voltage1") - 0.2);
}

// ---------------------------------------------------------------------------------------
// Attitude under the viewer's rotations

TEST(AttitudeTest, NosePointsAlongTheTrack)
{
    const DemoLog& log = TheDemoLog();
    const double field = Landscape(DefaultWorldSeed).FieldLevel();
    int checked = 0;
    for (size_t r = 5; r + 5 < log.rows.size(); r += 7)
    {
        if (!Airborne(log, r, field))
            continue;
        osg::Vec3d track = ScenePointOfRow(r + 1) - ScenePointOfRow(r - 1);
        track.z() = 0.0;
        osg::Vec3d nose = SceneDirection(AircraftToScene(r), osg::Vec3d(-1.0, 0.0, 0.0));
        nose.z() = 0.0;
        ASSERT_LT(AngleDegrees(nose, track), 6.0) << "row " << r;
        ++checked;
    }
    EXPECT_GT(checked, 400);
}

TEST(AttitudeTest, NoseRisesInTheClimbAndDropsInTheGlide)
{
    const DemoLog& log = TheDemoLog();
    int climbs = 0;
    int descents = 0;
    for (size_t r = 10; r + 10 < log.rows.size(); ++r)
    {
        const double rate = (Value(log, r + 5, "gps_curalt") - Value(log, r - 5, "gps_curalt")) / (10.0 / DemoSampleRate);
        const osg::Vec3d nose = SceneDirection(AircraftToScene(r), osg::Vec3d(-1.0, 0.0, 0.0));
        if (rate > 2.0)
        {
            ASSERT_GT(nose.z(), 0.1) << "row " << r << " climbs at " << rate << " m/s";
            ++climbs;
        }
        if (rate < -1.5)
        {
            ASSERT_LT(nose.z(), 0.0) << "row " << r << " sinks at " << rate << " m/s";
            ++descents;
        }
    }
    EXPECT_GT(climbs, 50);
    EXPECT_GT(descents, 20);
}

TEST(AttitudeTest, InnerWingDipsInTurns)
{
    const DemoLog& log = TheDemoLog();
    const double field = Landscape(DefaultWorldSeed).FieldLevel();
    int left = 0;
    int right = 0;
    for (size_t r = 6; r + 6 < log.rows.size(); ++r)
    {
        if (!Airborne(log, r, field))
            continue;
        // Turn seen from above, counted positive counter-clockwise (x south, y east, z up),
        // between successive chords over two seconds around the row. Only a steady turn
        // counts: at a reversal (the figure-eight's crossing) the bank is still rolling over.
        double turn = 0.0;
        bool steady = true;
        for (int k = -5; k < 4; ++k)
        {
            const osg::Vec3d a = ScenePointOfRow(r + k + 1) - ScenePointOfRow(r + k);
            const osg::Vec3d b = ScenePointOfRow(r + k + 2) - ScenePointOfRow(r + k + 1);
            const double step = std::atan2((a ^ b).z(), a.x() * b.x() + a.y() * b.y());
            steady = steady && (k == -5 || (step > 0.0) == (turn > 0.0)) && std::fabs(step) > 0.01;
            turn += step;
        }
        if (!steady || std::fabs(turn) < 0.25) // under 7 degrees a second: hardly a turn
            continue;
        const osg::Vec3d leftWing = SceneDirection(AircraftToScene(r), osg::Vec3d(0.0, 0.0, 1.0));
        if (turn > 0.0)
        {
            ASSERT_LT(leftWing.z(), -0.05) << "row " << r << ": left turn, the left wing should be low";
            ++left;
        }
        else
        {
            ASSERT_GT(leftWing.z(), 0.05) << "row " << r << ": right turn, the right wing should be low";
            ++right;
        }
    }
    EXPECT_GT(left, 100);
    EXPECT_GT(right, 50);
}

TEST(AttitudeTest, LoggedAnglesTurnTheModelAsThePilotStatesThem)
{
    // The generated model (nose -x, up +y, left wing +z) as the viewer stands it up, then
    // under the attitude the viewer makes of the angles the generator logs.
    const osg::Matrixd& aircraft = TheDemoScene().aircraft;
    const auto direction = [&](double course, double bank, double pitch, const osg::Vec3d& model) {
        return SceneDirection(aircraft * osg::Matrixd::rotate(LoggedAttitude(LogHeading(course), LogPitch(pitch), LogRoll(bank))), model);
    };
    const osg::Vec3d north(-1.0, 0.0, 0.0);
    const osg::Vec3d east(0.0, 1.0, 0.0);
    const osg::Vec3d up(0.0, 0.0, 1.0);
    const osg::Vec3d nose(-1.0, 0.0, 0.0);
    const osg::Vec3d leftWing(0.0, 0.0, 1.0);
    EXPECT_LT((direction(0.0, 0.0, 0.0, nose) - north).length(), 1e-6) << "course north";
    EXPECT_LT((direction(Pi / 2.0, 0.0, 0.0, nose) - east).length(), 1e-6) << "course east";
    EXPECT_LT((direction(Pi / 2.0, 0.0, 0.0, osg::Vec3d(0.0, 1.0, 0.0)) - up).length(), 1e-6) << "upright";
    EXPECT_GT(direction(0.0, 0.0, 0.3, nose).z(), 0.25) << "pitch up raises the nose";
    EXPECT_GT(direction(0.0, 0.4, 0.0, leftWing).z(), 0.3) << "a bank to the right raises the left wing";
    EXPECT_NEAR(CourseOfLogHeading(LogHeading(1.0)), 1.0, 1e-12);
    EXPECT_NEAR(CourseOfLogHeading(LogHeading(6.2)), 6.2, 1e-12);
}

// ---------------------------------------------------------------------------------------
// Elevation tiles

TEST(ElevationFilesTest, StoreTheLandscapeAsTheStoreReadsIt)
{
    ScratchDirectory folder;
    const Landscape landscape(DefaultWorldSeed);
    const ElevationTileId tile{89, 134};
    ASSERT_TRUE(WriteElevationFile(landscape, tile, folder.Path()));
    const std::string bytes = ReadWholeFile(folder.PathOf(ElevationTileFileName(tile.tileRow, tile.tileColumn)));
    ASSERT_EQ(bytes.size(), 2101250u);
    WorkingDirectory inFolder(folder.Path());
    ResetElevationStore();
    for (const auto& rc : {std::pair<int32_t, int32_t>{0, 0}, {511, 700}, {1023, 1023}, {300, 12}})
    {
        const int32_t row = tile.tileRow * 1024 + rc.first;
        const int32_t column = tile.tileColumn * 1024 + rc.second;
        const int16_t expected = ElevationSample(landscape, row, column);
        const size_t at = 2 * (static_cast<size_t>(rc.first) * 1025 + rc.second);
        const int16_t stored = static_cast<int16_t>(static_cast<unsigned char>(bytes[at])
                                                    | (static_cast<unsigned char>(bytes[at + 1]) << 8));
        EXPECT_EQ(stored, expected) << rc.first << "," << rc.second;
        EXPECT_EQ(ElevationLookup(row, column), expected) << rc.first << "," << rc.second;
    }
    // Row 1024 repeats the first row of the tile to the south.
    const size_t last = 2 * (1024 * 1025 + 10);
    const int16_t edge = static_cast<int16_t>(static_cast<unsigned char>(bytes[last]) | (static_cast<unsigned char>(bytes[last + 1]) << 8));
    EXPECT_EQ(edge, ElevationSample(landscape, (tile.tileRow + 1) * 1024, tile.tileColumn * 1024 + 10));
    ResetElevationStore();
}

TEST(LandscapeTest, HasAFlatFieldALevelLakeARiverValleyAndHills)
{
    const Landscape landscape(DefaultWorldSeed);
    const double field = landscape.FieldLevel();
    EXPECT_EQ(field, std::round(field));
    for (double along = -150.0; along <= 150.0; along += 50.0)
        for (double across = -80.0; across <= 80.0; across += 40.0)
        {
            const double b = FieldAxisBearing * Pi / 180.0;
            EXPECT_DOUBLE_EQ(landscape.Height(along * std::sin(b) - across * std::cos(b), along * std::cos(b) + across * std::sin(b)), field);
        }
    EXPECT_DOUBLE_EQ(landscape.Height(860.0, 640.0), Landscape::LakeLevel);
    EXPECT_LT(landscape.LakeRadius(860.0, 640.0), 1.0);
    EXPECT_GT(landscape.Height(860.0, 1200.0), Landscape::LakeLevel);
    // The river runs in a valley below the field.
    double riverLowest = 1e9;
    for (double north = -1200.0; north < -200.0; north += 2.0)
        if (landscape.RiverDistance(0.0, north) < 5.0)
            riverLowest = std::min(riverLowest, landscape.Height(0.0, north));
    EXPECT_LT(riverLowest, field - 10.0);
    // Hills: tens of metres of relief a few kilometres out.
    double low = 1e9;
    double high = -1e9;
    for (double east = -9000.0; east <= 9000.0; east += 500.0)
        for (double north = -9000.0; north <= 9000.0; north += 500.0)
        {
            low = std::min(low, landscape.Height(east, north));
            high = std::max(high, landscape.Height(east, north));
        }
    EXPECT_GT(high - low, 80.0);
}

// ---------------------------------------------------------------------------------------
// Imagery

TEST(ImageryTest, CoarserLevelIsTheMeanOfTheFinerOne)
{
    const Landscape landscape(DefaultWorldSeed);
    for (int32_t level = 17; level >= 13; --level)
    {
        const int32_t shift = 18 - level;
        // A tile next to the field at each level, where the land cover is busiest.
        const ImageryTileId parent{level, 91540 >> shift, (137554 >> shift) + 1};
        const osg::ref_ptr<osg::Image> coarse = RenderImageryTile(landscape, parent);
        osg::ref_ptr<osg::Image> fine[2][2];
        for (int32_t a = 0; a < 2; ++a)
            for (int32_t b = 0; b < 2; ++b)
                fine[a][b] = RenderImageryTile(landscape, ImageryTileId{level + 1, parent.row * 2 + a, parent.column * 2 + b});
        double absolute = 0.0;
        double coarseMean[3] = {0.0, 0.0, 0.0};
        double fineMean[3] = {0.0, 0.0, 0.0};
        for (int y = 0; y < 256; ++y)
        {
            for (int x = 0; x < 256; ++x)
            {
                const osg::Image& child = *fine[y / 128][x / 128];
                const int cx = (x % 128) * 2;
                const int cy = (y % 128) * 2;
                for (int c = 0; c < 3; ++c)
                {
                    const double mean = (PixelFromNorth(child, cx, cy)[c] + PixelFromNorth(child, cx + 1, cy)[c]
                                         + PixelFromNorth(child, cx, cy + 1)[c] + PixelFromNorth(child, cx + 1, cy + 1)[c])
                        / 4.0;
                    const double value = PixelFromNorth(*coarse, x, y)[c];
                    absolute += std::fabs(mean - value);
                    coarseMean[c] += value / 65536.0;
                    fineMean[c] += mean / 65536.0;
                }
            }
        }
        EXPECT_LT(absolute / (65536.0 * 3.0), 3.0) << "level " << level << ": mean difference per pixel";
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(coarseMean[c], fineMean[c], 1.5) << "level " << level << ", channel " << c;
    }
}

TEST(ImageryTest, NeighbouringTilesMeetWithoutASeam)
{
    const Landscape landscape(DefaultWorldSeed);
    const ImageryTileId west{18, 91540, 137554};
    const ImageryTileId east{18, 91540, 137555};
    const ImageryTileId south{18, 91541, 137554};
    const osg::ref_ptr<osg::Image> w = RenderImageryTile(landscape, west);
    const osg::ref_ptr<osg::Image> e = RenderImageryTile(landscape, east);
    const osg::ref_ptr<osg::Image> s = RenderImageryTile(landscape, south);
    double across = 0.0; // between the last column of one tile and the first of the next
    double within = 0.0; // between the last two columns of the same tile, for scale
    double downward = 0.0;
    for (int y = 0; y < 256; ++y)
        for (int c = 0; c < 3; ++c)
        {
            across += std::fabs(PixelFromNorth(*w, 255, y)[c] - PixelFromNorth(*e, 0, y)[c]);
            within += std::fabs(PixelFromNorth(*w, 255, y)[c] - PixelFromNorth(*w, 254, y)[c]);
            downward += std::fabs(PixelFromNorth(*w, y, 255)[c] - PixelFromNorth(*s, y, 0)[c]);
        }
    EXPECT_LT(across, 2.0 * within + 256.0 * 3.0 * 2.0);
    EXPECT_LT(downward, 2.0 * within + 256.0 * 3.0 * 2.0);
}

TEST(ImageryTest, NorthIsTheTopOfTheTextureAfterTheJpegRoundTrip)
{
    // The lake lies 640 m north and 860 m east of the site. In the tile that holds its
    // centre, the texture coordinate v = 1 - (fraction of the tile southwards) must show
    // water there, and 400 m further north none.
    const Landscape landscape(DefaultWorldSeed);
    const double row = MercatorY(LatitudeOfNorth(640.0)) * TileScale / 4.0; // level 16
    const double column = LongitudeX(LongitudeOfEast(860.0)) * TileScale / 4.0;
    const ImageryTileId tile{16, static_cast<int64_t>(row), static_cast<int64_t>(column)};
    ScratchDirectory folder;
    folder.MakeDirectory(ImageryFolder);
    ASSERT_TRUE(WriteImageryTiles(landscape, {tile}, folder.Path(), 1));
    const osg::ref_ptr<osg::Image> image = osgDB::readImageFile(folder.PathOf(ImageryFileName(tile)));
    ASSERT_TRUE(image.valid());
    ASSERT_EQ(image->s(), 256);
    ASSERT_EQ(image->t(), 256);
    const auto texel = [&](double r, double c) {
        const double u = c - tile.column;
        const double v = 1.0 - (r - tile.row);
        return image->data(static_cast<int>(u * 255.0), static_cast<int>(v * 255.0));
    };
    // Deep water is bluer than it is green; land (crops, grass, woods) is greener.
    const unsigned char* lake = texel(row, column);
    EXPECT_GT(lake[2], lake[1]) << "the lake's centre shows no water";
    const double northRow = MercatorY(LatitudeOfNorth(1040.0)) * TileScale / 4.0;
    ASSERT_EQ(static_cast<int32_t>(northRow), tile.row) << "the test needs both points in one tile";
    const unsigned char* land = texel(northRow, column);
    EXPECT_GT(land[1], land[2] + 10) << "land north of the lake shows water";
    // And the file itself is stored like any web-map tile: north in its first scan line,
    // which the reader turns into the image's last row.
    const osg::ref_ptr<osg::Image> rendered = RenderImageryTile(landscape, tile);
    double top = 0.0;
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c)
            top += std::fabs(image->data(x, 255)[c] - rendered->data(x, 255)[c]);
    EXPECT_LT(top / (256.0 * 3.0), 6.0);
}

// ---------------------------------------------------------------------------------------
// Textures and model

TEST(TexturesTest, SkyHasHazeAtTheHorizonBlueAboveAndPlainGroundBelow)
{
    const osg::ref_ptr<osg::Image> sky = MakeSkyImage(DefaultWorldSeed);
    ASSERT_EQ(sky->s(), SkyWidth);
    ASSERT_EQ(sky->t(), SkyHeight);
    const auto rowMean = [&](int row, int c) {
        double sum = 0.0;
        for (int x = 0; x < SkyWidth; ++x)
            sum += sky->data(x, row)[c];
        return sum / SkyWidth;
    };
    const int horizon = SkyHeight / 2 + 2; // just above the horizon
    const int zenith = SkyHeight - 3;
    // Haze: nearly grey; zenith: clearly blue.
    EXPECT_LT(rowMean(horizon, 2) - rowMean(horizon, 0), 40.0);
    EXPECT_GT(rowMean(zenith, 2) - rowMean(zenith, 0), 60.0);
    // Some clouds: bright, nearly white texels in the upper half.
    int white = 0;
    for (int row = SkyHeight / 2 + 30; row < SkyHeight; ++row)
        for (int x = 0; x < SkyWidth; ++x)
            white += sky->data(x, row)[0] > 200 && sky->data(x, row)[2] > 200;
    EXPECT_GT(white, SkyWidth * 5);
    // The ground half is plain: every row is one colour all round.
    for (int row = 0; row < SkyHeight / 2 - 1; row += 16)
        for (int x = 0; x < SkyWidth; x += 64)
            EXPECT_EQ(sky->data(x, row)[1], sky->data(0, row)[1]) << "row " << row;
    // It closes round the vertical: the first and last columns meet.
    double seam = 0.0;
    for (int row = 0; row < SkyHeight; ++row)
        seam += std::fabs(sky->data(0, row)[0] - sky->data(SkyWidth - 1, row)[0]);
    EXPECT_LT(seam / SkyHeight, 4.0);
}

TEST(TexturesTest, GrassRepeatsWithoutSeams)
{
    const osg::ref_ptr<osg::Image> grass = MakeGrassImage(DefaultWorldSeed);
    double edges = 0.0;
    double inside = 0.0;
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
        {
            edges += std::fabs(grass->data(255, i)[c] - grass->data(0, i)[c]) + std::fabs(grass->data(i, 255)[c] - grass->data(i, 0)[c]);
            inside += std::fabs(grass->data(128, i)[c] - grass->data(127, i)[c]) + std::fabs(grass->data(i, 128)[c] - grass->data(i, 127)[c]);
        }
    EXPECT_LT(edges, 1.5 * inside + 256.0);
}

TEST(AircraftModelTest, EveryPartIsClosedAndFacesOutwards)
{
    const AcModel model = MakeGliderModel();
    ASSERT_GE(model.materials.size(), 2u);
    ASSERT_LE(model.materials.size(), 3u);
    for (const AcObject& object : model.objects)
    {
        // In a closed, consistently turned surface every edge is walked once each way.
        std::map<std::pair<int, int>, int> edges;
        for (const AcPolygon& polygon : object.polygons)
            for (size_t k = 0; k < polygon.vertices.size(); ++k)
                ++edges[{polygon.vertices[k], polygon.vertices[(k + 1) % polygon.vertices.size()]}];
        for (const auto& edge : edges)
        {
            ASSERT_EQ(edge.second, 1) << object.name << " edge " << edge.first.first << "-" << edge.first.second;
            ASSERT_EQ(edges.count({edge.first.second, edge.first.first}), 1u) << object.name << " open edge";
        }
        EXPECT_GT(SignedVolume(object), 0.0) << object.name;
    }
}

TEST(AircraftModelTest, ReadsBackAsAHighWingGliderNoseForwardUpright)
{
    ScratchDirectory folder;
    const std::string path = folder.PathOf("body.ac");
    ASSERT_TRUE(WriteAc3d(path, MakeGliderModel()));
    const osg::ref_ptr<osg::Node> node = osgDB::readNodeFile(path);
    ASSERT_TRUE(node.valid()) << "the AC3D reader cannot read the model";
    // Gather the vertices as the reader delivers them.
    struct Collect : public osg::NodeVisitor
    {
        Collect()
            : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN)
        {
        }
        void apply(osg::Geode& geode) override
        {
            for (unsigned i = 0; i < geode.getNumDrawables(); ++i)
                if (const osg::Geometry* g = geode.getDrawable(i)->asGeometry())
                    if (const osg::Vec3Array* v = dynamic_cast<const osg::Vec3Array*>(g->getVertexArray()))
                        points.insert(points.end(), v->begin(), v->end());
        }
        std::vector<osg::Vec3f> points;
    } collect;
    node->accept(collect);
    ASSERT_GT(collect.points.size(), 100u);
    osg::BoundingBox box;
    for (const osg::Vec3f& p : collect.points)
        box.expandBy(p);
    // Span across z, the longest extent; the fuselage along x; a small height along y.
    EXPECT_GT(box.zMax() - box.zMin(), 1.3);
    EXPECT_GT(box.zMax() - box.zMin(), 1.4 * (box.xMax() - box.xMin()));
    EXPECT_LT(box.yMax() - box.yMin(), 0.4);
    // The nose is the point furthest along -x and lies on the centre line; the fin top is
    // the highest point and lies aft; the wing sits above the fuselage's middle.
    const osg::Vec3f* nose = &collect.points[0];
    const osg::Vec3f* top = &collect.points[0];
    for (const osg::Vec3f& p : collect.points)
    {
        if (p.x() < nose->x())
            nose = &p;
        if (p.y() > top->y())
            top = &p;
    }
    EXPECT_LT(std::fabs(nose->z()), 0.02);
    EXPECT_LT(std::fabs(nose->y()), 0.05);
    EXPECT_GT(top->x(), 0.25) << "the fin stands at the tail";
    // Stood up by the viewer, the fin points up and the nose east (+y).
    EXPECT_GT(SceneDirection(TheDemoScene().aircraft, osg::Vec3d(*top)).z(), 0.3);
    EXPECT_GT(SceneDirection(TheDemoScene().aircraft, osg::Vec3d(*nose)).y(), 0.9);
}

// ---------------------------------------------------------------------------------------
// A long world

TEST(CorridorWorldTest, RegionalReliefKeepsHillsAndValleysFarFromTheField)
{
    // Along 150 km of a long flight's way: the demo's landscape there is a gentle swell; a
    // long world's has ranges and valleys some hundreds of metres apart, on dry land.
    const Landscape demo(DefaultWorldSeed);
    const Landscape regional(DefaultWorldSeed, Relief::Regional);
    double lowest = 1e9;
    double highest = -1e9;
    for (int32_t km = 0; km <= 150; ++km)
    {
        const double east = km * 1000.0 * std::sin(65.0 * Pi / 180.0);
        const double north = km * 1000.0 * std::cos(65.0 * Pi / 180.0);
        if (km < 10)
        {
            EXPECT_EQ(regional.Height(east, north), demo.Height(east, north)) << km << " km";
        }
        lowest = std::min(lowest, regional.Height(east, north));
        highest = std::max(highest, regional.Height(east, north));
    }
    EXPECT_GT(lowest, 100.0);
    EXPECT_GT(highest - lowest, 350.0);
}

// A plain grey tile: a thousand landscape pictures would cost half a minute, and the tests
// above see the pictures; here only the world's files matter.
osg::ref_ptr<osg::Image> PaintPlainTile(const Landscape&, const ImageryTileId&)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(ImageryTilePixels, ImageryTilePixels, 1, GL_RGB, GL_UNSIGNED_BYTE);
    memset(image->data(), 110, image->getTotalSizeInBytes());
    return image;
}

TEST(CorridorWorldTest, HoldsEveryTileAlongAFlightOfItsLengthAboveTheGround)
{
    ScratchDirectory folder;
    WorldOptions options;
    options.folder = folder.Path();
    options.corridorKilometres = 2.0;
    options.paintTile = PaintPlainTile;
    WorldSummary summary;
    ASSERT_TRUE(GenerateWorld(options, summary));
    EXPECT_TRUE(WorldIsComplete(options));
    WorldOptions demo = options;
    demo.corridorKilometres = 0.0;
    EXPECT_FALSE(WorldIsComplete(demo)) << "a corridor world is not the demo's";

    LoadedFlight flight;
    ASSERT_EQ(LoadFlight(folder.PathOf(SampleLogName).c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight), 0);
    const MapFrameValues frame = flight.Frame();
    std::vector<double> latitudes;
    std::vector<double> longitudes;
    for (const SampleRow& row : flight.rows)
    {
        latitudes.push_back(row.gps_curlat / 60.0);
        longitudes.push_back(row.gps_curlon / 60.0);
    }
    ASSERT_GT(latitudes.size(), 60u);
    EXPECT_NEAR(GroundDistance(latitudes.front(), longitudes.front(), latitudes.back(), longitudes.back()), 2000.0,
                400.0);

    const std::vector<GridTile> under = GridTilesUnder(latitudes, longitudes);
    int32_t unreadable = 0;
    std::string first;
    const std::vector<ImageryTileId> corridor = CorridorImageryTiles(frame.CI, frame.CJ, under);
    for (const ImageryTileId& tile : corridor)
    {
        const osg::ref_ptr<osg::Image> image = osgDB::readImageFile(folder.PathOf(ImageryFileName(tile)));
        if ((!image || image->s() != ImageryTilePixels || image->t() != ImageryTilePixels) && unreadable++ == 0)
            first = ImageryFileName(tile);
    }
    EXPECT_EQ(unreadable, 0) << "the first: " << first;
    for (const ElevationTileId& tile : CorridorElevationTiles(frame.CI, frame.CJ, corridor))
        EXPECT_EQ(ReadWholeFile(folder.PathOf(ElevationTileFileName(tile.tileRow, tile.tileColumn))).size(),
                  ElevationTileBytes);

    // The drawn ground under the flight rises and falls, and the aircraft stays above it.
    WorkingDirectory inWorld(folder.Path());
    ResetElevationStore();
    double lowest = 1e9;
    double highest = -1e9;
    int32_t below = 0;
    for (size_t r = 0; r < latitudes.size(); ++r)
    {
        const TerrainHeight ground = TerrainHeightAt(latitudes[r], longitudes[r]);
        ASSERT_TRUE(ground.covered) << r;
        lowest = std::min(lowest, ground.metres);
        highest = std::max(highest, ground.metres);
        below += flight.rows[r].gps_curalt < ground.metres - 2.0 ? 1 : 0;
    }
    EXPECT_GT(highest - lowest, 10.0);
    EXPECT_EQ(below, 0);
    ResetElevationStore();
}
