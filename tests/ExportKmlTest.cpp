#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_api.h>

#include "export/FlightExport.h"
#include "geo/Geodesy.h"
#include "log/LogKeywords.h"
#include "support/TestSupport.h"

namespace
{
// Six rows a second apart on 25 August 2019, flying north-east; three of them with the
// attitudes the angles are checked on. Manual for the first three seconds, then Auto.
LoadedFlight SmallFlight(bool dated)
{
    LoadedFlight flight;
    flight.columns = {static_cast<int32_t>(ColumnKind::gps_curheading), static_cast<int32_t>(ColumnKind::pyro_curroll),
                      static_cast<int32_t>(ColumnKind::pyro_curpitch)};
    // Logged heading, roll, pitch (radians): the nose east at 0 counter-clockwise, roll
    // positive with the right wing up.
    const double attitude[6][3] = {
        {Pi / 2.0, 0.0, 0.0},                          // north, level
        {0.0, -30.0 * RadiansPerDegree, 10.0 * RadiansPerDegree}, // east, right wing 30 down, nose 10 up
        {-135.0 * RadiansPerDegree, 20.0 * RadiansPerDegree, -5.0 * RadiansPerDegree}, // south-west, left wing 20 down, nose 5 down
        {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0},
    };
    for (int i = 0; i < 6; ++i)
    {
        SampleRow row{};
        row.samplenumber = i + 1;
        row.gps_date = dated ? 250819 : 0;
        row.gps_time = 30174.0 + i;
        row.gps_curlat = 60.0 * (47.123456789 + 0.0001234567 * i);
        row.gps_curlon = 60.0 * (8.987654321 + 0.0002345678 * i);
        row.gps_curalt = 500.0 + 2.5 * i;
        row.gps_curheading = attitude[i][0];
        row.pyro_curroll = attitude[i][1];
        row.pyro_curpitch = attitude[i][2];
        flight.rows.push_back(row);
    }
    flight.events.push_back(FlightEvent{30174.0, FlightEventKind::Mode, 6, "Manual"});
    flight.events.push_back(FlightEvent{30174.5, FlightEventKind::Arming, 6, "armed"});
    flight.events.push_back(FlightEvent{30177.0, FlightEventKind::Mode, 6, "Auto"});
    return flight;
}

std::string Write(bool (*writer)(const ExportInput&, const std::string&, std::string*, std::string*), const LoadedFlight& flight)
{
    ExportInput input;
    input.flight = &flight;
    input.title = "small.log";
    input.attribution = {"Elevation: test tiles & friends"};
    std::string bytes, error;
    EXPECT_TRUE(writer(input, "out", &bytes, &error)) << error;
    return bytes;
}

// Every text between `open` and `close`, in order.
std::vector<std::string> Between(const std::string& text, const std::string& open, const std::string& close)
{
    std::vector<std::string> found;
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1))
    {
        const size_t from = at + open.size();
        found.push_back(text.substr(from, text.find(close, from) - from));
    }
    return found;
}

struct Dataset
{
    explicit Dataset(const std::string& path)
    {
        GDALAllRegister();
        const char* const drivers[] = {"LIBKML", nullptr};
        handle = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, drivers, nullptr, nullptr);
    }
    ~Dataset()
    {
        if (handle)
            GDALClose(handle);
    }
    OGRLayerH Layer(const char* name) const { return GDALDatasetGetLayerByName(handle, name); }
    GDALDatasetH handle = nullptr;
};

// The points of every line of a layer, in order.
std::vector<std::vector<double>> LinePoints(OGRLayerH layer)
{
    std::vector<std::vector<double>> points;
    OGR_L_ResetReading(layer);
    while (OGRFeatureH feature = OGR_L_GetNextFeature(layer))
    {
        OGRGeometryH line = OGR_F_GetGeometryRef(feature);
        for (int i = 0; line && i < OGR_G_GetPointCount(line); ++i)
            points.push_back({OGR_G_GetY(line, i), OGR_G_GetX(line, i), OGR_G_GetZ(line, i)});
        OGR_F_Destroy(feature);
    }
    return points;
}
} // namespace

TEST(ExportKml, TrackByModeEventsAndPlanReadBackThroughGdal)
{
    LoadedFlight flight = SmallFlight(true);
    FenceShape fence;
    fence.vertices = {{47.12, 8.98}, {47.13, 8.98}, {47.13, 8.99}};
    flight.plan.fences.push_back(fence);
    FenceShape circle;
    circle.circle = true;
    circle.inclusion = false;
    circle.centre = {47.125, 8.985};
    circle.radius = 100.0;
    flight.plan.fences.push_back(circle);
    Airspace airspace;
    airspace.name = "CTR <Test>";
    airspace.airspaceClass = "D";
    airspace.outline = fence.vertices;
    flight.plan.airspace.push_back(airspace);
    MissionVersion mission;
    for (int i = 0; i < 3; ++i)
    {
        PlanItem item;
        item.seq = i;
        item.command = CommandWaypoint;
        item.frame = 0;
        item.latitude = 47.12 + 0.001 * i;
        item.longitude = 8.98;
        item.altitude = 600.0 + i;
        mission.items.push_back(item);
    }
    flight.plan.missions.push_back(mission);
    const std::string kml = Write(WriteKml, flight);
    ScratchDirectory scratch;
    scratch.WriteFile("flight.kml", kml);
    Dataset dataset(scratch.PathOf("flight.kml"));
    ASSERT_NE(dataset.handle, nullptr);

    // Two runs (Manual, Auto), the second starting on the first's last row: 3 + 4 points.
    OGRLayerH track = dataset.Layer("Track");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(OGR_L_GetFeatureCount(track, TRUE), 2);
    const std::vector<std::vector<double>> points = LinePoints(track);
    ASSERT_EQ(points.size(), 7u);
    const size_t rowOf[7] = {0, 1, 2, 2, 3, 4, 5};
    for (size_t i = 0; i < points.size(); ++i)
    {
        const SampleRow& row = flight.rows[rowOf[i]];
        EXPECT_NEAR(points[i][0], row.gps_curlat / 60.0, 1e-7) << i;
        EXPECT_NEAR(points[i][1], row.gps_curlon / 60.0, 1e-7) << i;
        EXPECT_NEAR(points[i][2], row.gps_curalt, 1e-3) << i;
    }
    const std::vector<std::string> when = Between(kml, "<when>", "</when>");
    ASSERT_GE(when.size(), 2u);
    EXPECT_EQ(when[0], "2019-08-25T08:22:54.000Z");
    EXPECT_EQ(when[1], "2019-08-25T08:22:55.000Z");
    // The modes' lines in the player's first two mode colours (aabbggrr).
    EXPECT_NE(kml.find("<Style id=\"mode0\"><LineStyle><color>ff7766cc</color>"), std::string::npos);
    EXPECT_NE(kml.find("<Style id=\"mode1\"><LineStyle><color>ffeecc88</color>"), std::string::npos);
    EXPECT_NE(kml.find("Elevation: test tiles &amp; friends"), std::string::npos);
    EXPECT_NE(kml.find("metres above mean sea level"), std::string::npos);

    // The arming half a second in: halfway between the first two rows.
    OGRLayerH events = dataset.Layer("Events");
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(OGR_L_GetFeatureCount(events, TRUE), 3);
    OGR_L_SetAttributeFilter(events, "Name = 'arm armed'");
    OGRFeatureH arming = OGR_L_GetNextFeature(events);
    ASSERT_NE(arming, nullptr);
    OGRGeometryH at = OGR_F_GetGeometryRef(arming);
    EXPECT_NEAR(OGR_G_GetY(at, 0), 47.123456789 + 0.0001234567 / 2.0, 1e-7);
    EXPECT_NEAR(OGR_G_GetX(at, 0), 8.987654321 + 0.0002345678 / 2.0, 1e-7);
    EXPECT_NEAR(OGR_G_GetZ(at, 0), 501.25, 1e-3);
    OGR_F_Destroy(arming);
    EXPECT_NE(kml.find("<TimeStamp><when>2019-08-25T08:22:54.500Z</when></TimeStamp>"), std::string::npos);

    // The route at its heights above sea level, the fence as a closed polygon.
    OGRLayerH route = dataset.Layer("Mission");
    ASSERT_NE(route, nullptr);
    const std::vector<std::vector<double>> waypoints = LinePoints(route);
    ASSERT_EQ(waypoints.size(), 3u);
    EXPECT_NEAR(waypoints[2][0], 47.122, 1e-9);
    EXPECT_NEAR(waypoints[2][2], 602.0, 1e-3);
    OGRLayerH fences = dataset.Layer("Fences");
    ASSERT_NE(fences, nullptr);
    ASSERT_EQ(OGR_L_GetFeatureCount(fences, TRUE), 2);
    OGR_L_ResetReading(fences);
    OGRFeatureH polygon = OGR_L_GetNextFeature(fences);
    ASSERT_NE(polygon, nullptr);
    EXPECT_EQ(wkbFlatten(OGR_G_GetGeometryType(OGR_F_GetGeometryRef(polygon))), wkbPolygon);
    EXPECT_EQ(OGR_G_GetPointCount(OGR_G_GetGeometryRef(OGR_F_GetGeometryRef(polygon), 0)), 4);
    OGR_F_Destroy(polygon);
    // The circle laid out as a ring whose every point is its radius from the centre.
    OGRFeatureH ring = OGR_L_GetNextFeature(fences);
    ASSERT_NE(ring, nullptr);
    OGRGeometryH outline = OGR_G_GetGeometryRef(OGR_F_GetGeometryRef(ring), 0);
    ASSERT_GE(OGR_G_GetPointCount(outline), 20);
    for (int i = 0; i < OGR_G_GetPointCount(outline); ++i)
        EXPECT_NEAR(GroundDistance(47.125, 8.985, OGR_G_GetY(outline, i), OGR_G_GetX(outline, i)), 100.0, 0.01) << i;
    OGR_F_Destroy(ring);
    OGRLayerH airspaces = dataset.Layer("Airspace");
    ASSERT_NE(airspaces, nullptr);
    EXPECT_EQ(OGR_L_GetFeatureCount(airspaces, TRUE), 1);
    EXPECT_NE(kml.find("<name>CTR &lt;Test&gt; (D)</name>"), std::string::npos);
}

// Log angles to KML's heading, tilt, roll: the nose north level; east with the right wing 30
// down and the nose 10 up; south-west with the left wing 20 down and the nose 5 down.
TEST(ExportKml, AnglesAreCompassHeadingPitchAndBank)
{
    const std::vector<std::string> angles = Between(Write(WriteKml, SmallFlight(true)), "<gx:angles>", "</gx:angles>");
    ASSERT_EQ(angles.size(), 7u);
    const double expected[3][3] = {{0.0, 0.0, 0.0}, {90.0, 10.0, 30.0}, {225.0, -5.0, -20.0}};
    for (int row = 0; row < 3; ++row)
    {
        double heading = NAN, tilt = NAN, roll = NAN;
        ASSERT_EQ(sscanf(angles[row].c_str(), "%lf %lf %lf", &heading, &tilt, &roll), 3) << angles[row];
        EXPECT_NEAR(heading, expected[row][0], 1e-3) << row;
        EXPECT_NEAR(tilt, expected[row][1], 1e-3) << row;
        EXPECT_NEAR(roll, expected[row][2], 1e-3) << row;
    }
}

TEST(ExportKml, UndatedLogWithoutModesIsOneRunFrom1970)
{
    LoadedFlight flight = SmallFlight(false);
    flight.events.clear();
    flight.events.push_back(FlightEvent{30175.0, FlightEventKind::Message, 4, "bad\x01" "byte"});
    const std::string kml = Write(WriteKml, flight);
    EXPECT_NE(kml.find("<name>message bad byte</name>"), std::string::npos);
    EXPECT_EQ(Between(kml, "<gx:Track>", "</gx:Track>").size(), 1u);
    const std::vector<std::string> when = Between(kml, "<when>", "</when>");
    ASSERT_EQ(when.size(), 7u);
    EXPECT_EQ(when[0], "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(when[5], "1970-01-01T00:00:05.000Z");
    EXPECT_EQ(when[6], "1970-01-01T00:00:01.000Z"); // the message's
    EXPECT_NE(kml.find("holds no date"), std::string::npos);

    LoadedFlight empty;
    ExportInput input;
    input.flight = &empty;
    std::string bytes, error;
    EXPECT_FALSE(WriteKml(input, "out", &bytes, &error));
    EXPECT_FALSE(error.empty());
}

TEST(ExportKml, KmzHoldsTheDocumentAndTheModelItsTracksCarry)
{
    ScratchDirectory scratch;
    scratch.WriteFile("flight.kmz", Write(WriteKmz, SmallFlight(true)));
    const std::string listing = scratch.PathOf("listing.txt");
    ASSERT_EQ(std::system(("unzip -l '" + scratch.PathOf("flight.kmz") + "' > '" + listing + "'").c_str()), 0);
    const std::string names = ReadWholeFile(listing);
    EXPECT_NE(names.find("doc.kml"), std::string::npos);
    EXPECT_NE(names.find("models/aircraft.dae"), std::string::npos);

    Dataset dataset("/vsizip/" + scratch.PathOf("flight.kmz") + "/doc.kml");
    ASSERT_NE(dataset.handle, nullptr);
    OGRLayerH track = dataset.Layer("Track");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(LinePoints(track).size(), 7u);
    // Each run carries the model, and the model is a whole mesh: every index names a vertex.
    const std::string model = scratch.PathOf("aircraft.dae");
    ASSERT_EQ(std::system(("unzip -p '" + scratch.PathOf("flight.kmz") + "' models/aircraft.dae > '" + model + "'").c_str()), 0);
    const std::string dae = ReadWholeFile(model);
    const std::vector<std::string> counts = Between(dae, "<accessor source=\"#glider-array\" count=\"", "\"");
    ASSERT_EQ(counts.size(), 1u);
    const int vertices = std::stoi(counts[0]);
    const std::vector<std::string> lists = Between(dae, "<p>", "</p>");
    ASSERT_EQ(lists.size(), 1u);
    const std::vector<std::string> indices = SplitFields(lists[0].substr(0, lists[0].size() - 1), ' ');
    EXPECT_EQ(indices.size() % 3, 0u);
    EXPECT_GE(indices.size() / 3, 24u);
    for (const std::string& index : indices)
        EXPECT_LT(std::stoi(index), vertices);
}
