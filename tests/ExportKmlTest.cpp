#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <cpl_vsi.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_api.h>

#include "export/FlightExport.h"
#include "geo/Geodesy.h"
#include "log/LogKeywords.h"
#include "support/TestSupport.h"

namespace
{
// Six rows a second apart flying north-east, Manual for three seconds, then Auto. The first
// three carry the attitudes the angles are checked on, as logged (radians): heading with the
// nose east at 0 counter-clockwise, roll positive with the right wing up, pitch nose up.
LoadedFlight SmallFlight(bool dated)
{
    LoadedFlight flight;
    flight.columns = {static_cast<int32_t>(ColumnKind::pyro_curroll), static_cast<int32_t>(ColumnKind::pyro_curpitch)};
    const double d = RadiansPerDegree;
    const double attitude[6][3] = {{90 * d, 0, 0}, {0, -30 * d, 10 * d}, {-135 * d, 20 * d, -5 * d}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (int i = 0; i < 6; ++i)
    {
        SampleRow row{};
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
    flight.events = {{30174.0, FlightEventKind::Mode, 6, "Manual"}, {30174.5, FlightEventKind::Arming, 6, "armed"}, {30177.0, FlightEventKind::Mode, 6, "Auto"}};
    return flight;
}

std::string Write(bool (*writer)(const ExportInput&, const std::string&, std::string*, std::string*), const LoadedFlight& flight)
{
    ExportInput input{&flight, "small.log", {"Elevation: test tiles & friends"}};
    std::string bytes, error;
    EXPECT_TRUE(writer(input, "out", &bytes, &error)) << error;
    return bytes;
}

// Every text between `open` and `close`, in order.
std::vector<std::string> Between(const std::string& text, const std::string& open, const std::string& close)
{
    std::vector<std::string> found;
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1))
        found.push_back(text.substr(at + open.size(), text.find(close, at + open.size()) - at - open.size()));
    return found;
}

// A layer's features' points (latitude, longitude, height), in order, as GDAL reads the file.
std::vector<std::vector<double>> Points(const std::string& path, const char* layerName, int* features = nullptr)
{
    GDALAllRegister();
    const char* const drivers[] = {"LIBKML", nullptr};
    GDALDatasetH dataset = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, drivers, nullptr, nullptr);
    std::vector<std::vector<double>> points;
    OGRLayerH layer = dataset ? GDALDatasetGetLayerByName(dataset, layerName) : nullptr;
    EXPECT_NE(layer, nullptr) << path << " " << layerName;
    while (OGRFeatureH feature = layer ? OGR_L_GetNextFeature(layer) : nullptr)
    {
        OGRGeometryH geometry = OGR_F_GetGeometryRef(feature);
        if (geometry && OGR_G_GetGeometryCount(geometry) > 0) // a polygon: its outer ring
            geometry = OGR_G_GetGeometryRef(geometry, 0);
        for (int i = 0; geometry && i < OGR_G_GetPointCount(geometry); ++i)
            points.push_back({OGR_G_GetY(geometry, i), OGR_G_GetX(geometry, i), OGR_G_GetZ(geometry, i)});
        OGR_F_Destroy(feature);
        if (features)
            ++*features;
    }
    if (dataset)
        GDALClose(dataset);
    return points;
}
} // namespace

TEST(ExportKml, TrackByModeEventsAndPlanReadBackThroughGdal)
{
    LoadedFlight flight = SmallFlight(true);
    flight.plan.fences.push_back(FenceShape{false, false, {{47.12, 8.98}, {47.13, 8.98}, {47.13, 8.99}}, {}, NoValue});
    MissionVersion mission;
    for (int i = 0; i < 3; ++i)
        mission.items.push_back(PlanItem{i, CommandWaypoint, 0, {}, 47.12 + 0.001 * i, 8.98, 600.0 + i, true});
    flight.plan.missions.push_back(mission);
    flight.plan.task = {{"A", 47.12, 8.98, NoValue, 100.0, TurnpointRole::Start, false}, {"B", 47.13, 8.99, NoValue, 400.0, TurnpointRole::Goal, false}};
    const std::string kml = Write(WriteKml, flight);
    ScratchDirectory scratch;
    scratch.WriteFile("flight.kml", kml);

    // Two runs (Manual, Auto), the second starting on the first's last row: 3 + 4 points.
    int runs = 0;
    const std::vector<std::vector<double>> track = Points(scratch.PathOf("flight.kml"), "Track", &runs);
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(track.size(), 7u);
    const size_t rowOf[7] = {0, 1, 2, 2, 3, 4, 5};
    for (size_t i = 0; i < track.size(); ++i)
    {
        EXPECT_NEAR(track[i][0], flight.rows[rowOf[i]].gps_curlat / 60.0, 1e-7) << i;
        EXPECT_NEAR(track[i][1], flight.rows[rowOf[i]].gps_curlon / 60.0, 1e-7) << i;
        EXPECT_NEAR(track[i][2], flight.rows[rowOf[i]].gps_curalt, 1e-3) << i;
    }
    EXPECT_EQ(Between(kml, "<when>", "<")[1], "2019-08-25T08:22:55.000Z");
    // The runs in the player's first two mode colours (aabbggrr), the credits and the datum said.
    EXPECT_NE(kml.find("<Style id=\"mode0\"><LineStyle><color>ff7766cc</color>"), std::string::npos);
    EXPECT_NE(kml.find("<Style id=\"mode1\"><LineStyle><color>ffeecc88</color>"), std::string::npos);
    EXPECT_NE(kml.find("Elevation: test tiles &amp; friends"), std::string::npos);
    EXPECT_NE(kml.find("metres above mean sea level"), std::string::npos);

    // The arming, half a second in, halfway between the first two rows at its time.
    const std::vector<std::vector<double>> events = Points(scratch.PathOf("flight.kml"), "Events");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_NEAR(events[1][0], 47.123456789 + 0.0001234567 / 2.0, 1e-7);
    EXPECT_NEAR(events[1][1], 8.987654321 + 0.0002345678 / 2.0, 1e-7);
    EXPECT_NEAR(events[1][2], 501.25, 1e-3);
    EXPECT_NE(kml.find("<name>arm armed</name><TimeStamp><when>2019-08-25T08:22:54.500Z</when>"), std::string::npos);

    // The route at its heights above sea level; the fence a closed ring.
    const std::vector<std::vector<double>> route = Points(scratch.PathOf("flight.kml"), "Mission");
    ASSERT_EQ(route.size(), 3u);
    EXPECT_NEAR(route[2][0], 47.122, 1e-9);
    EXPECT_NEAR(route[2][2], 602.0, 1e-3);
    const std::vector<std::vector<double>> fence = Points(scratch.PathOf("flight.kml"), "Fences");
    ASSERT_EQ(fence.size(), 4u);
    EXPECT_EQ(fence.front(), fence.back());
    // The task's cylinders, each point its radius from its turnpoint (the goal's last), then its course.
    const std::vector<std::vector<double>> task = Points(scratch.PathOf("flight.kml"), "Task");
    ASSERT_GT(task.size(), 40u);
    EXPECT_NEAR(GroundDistance(47.13, 8.99, task[task.size() - 3][0], task[task.size() - 3][1]), 400.0, 0.01);
}

// North and level; east, right wing 30 down, nose 10 up; south-west, left wing 20 down, nose
// 5 down: KML's heading is the compass course, tilt the pitch, roll the bank.
TEST(ExportKml, AnglesAreCompassHeadingPitchAndBank)
{
    const std::vector<std::string> angles = Between(Write(WriteKml, SmallFlight(true)), "<gx:angles>", "<");
    ASSERT_EQ(angles.size(), 7u);
    const double expected[3][3] = {{0.0, 0.0, 0.0}, {90.0, 10.0, 30.0}, {225.0, -5.0, -20.0}};
    for (int row = 0; row < 3; ++row)
    {
        double heading = -1.0, tilt = -1.0, roll = -1.0;
        ASSERT_EQ(sscanf(angles[row].c_str(), "%lf %lf %lf", &heading, &tilt, &roll), 3) << angles[row];
        EXPECT_NEAR(heading, expected[row][0], 1e-3) << row;
        EXPECT_NEAR(tilt, expected[row][1], 1e-3) << row;
        EXPECT_NEAR(roll, expected[row][2], 1e-3) << row;
    }
}

TEST(ExportKml, UndatedLogWithoutModesIsOneRunFrom1970)
{
    LoadedFlight flight = SmallFlight(false);
    flight.events = {{30175.0, FlightEventKind::Message, 4, "bad\x01" "byte"}};
    const std::string kml = Write(WriteKml, flight);
    EXPECT_NE(kml.find("<name>message bad byte</name>"), std::string::npos);
    const std::vector<std::string> tracks = Between(kml, "<gx:Track>", "</gx:Track>");
    ASSERT_EQ(tracks.size(), 1u);
    const std::vector<std::string> when = Between(tracks[0], "<when>", "<");
    ASSERT_EQ(when.size(), 6u);
    EXPECT_EQ(when[0], "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(when[5], "1970-01-01T00:00:05.000Z");
    EXPECT_NE(kml.find("holds no date"), std::string::npos);

    LoadedFlight empty;
    std::string bytes, error;
    EXPECT_FALSE(WriteKml(ExportInput{&empty, "empty", {}}, "out", &bytes, &error));
    EXPECT_FALSE(error.empty());
}

TEST(ExportKml, KmzHoldsTheDocumentAndTheModelItsTracksCarry)
{
    ScratchDirectory scratch;
    const std::string kmz = Write(WriteKmz, SmallFlight(true));
    scratch.WriteFile("flight.kmz", kmz);
    VSIStatBufL model;
    EXPECT_EQ(VSIStatL(("/vsizip/" + scratch.PathOf("flight.kmz") + "/models/aircraft.dae").c_str(), &model), 0);
    EXPECT_EQ(Points("/vsizip/" + scratch.PathOf("flight.kmz") + "/doc.kml", "Track").size(), 7u);
    // Deflated inside: read back through the unzipper, the document is the KML's own.
    std::string document(model.st_size > 0 ? 1 << 20 : 0, '\0');
    VSILFILE* file = VSIFOpenL(("/vsizip/" + scratch.PathOf("flight.kmz") + "/doc.kml").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    document.resize(VSIFReadL(&document[0], 1, document.size(), file));
    VSIFCloseL(file);
    EXPECT_NE(document.find("<Model><Link><href>models/aircraft.dae</href></Link></Model>"), std::string::npos);
    EXPECT_LT(kmz.size(), document.size());
}

namespace
{
// Due north at 10 m/s from 47 N, `rows` rows `step` seconds apart, the nose's heading wavering
// 6 degrees either side of north row by row: a plain mean of 354 and 6 would be south.
LoadedFlight NorthLeg(int rows, double step, bool dated)
{
    LoadedFlight flight;
    flight.columns = {static_cast<int32_t>(ColumnKind::gps_curheading)};
    for (int i = 0; i < rows; ++i)
    {
        SampleRow row{};
        row.gps_date = dated ? 250819 : 0;
        row.gps_time = 30174.0 + step * i;
        row.gps_curlat = 60.0 * (47.0 + 10.0 * step * i / EarthRadius * DegreesPerRadian);
        row.gps_curlon = 60.0 * 8.5;
        row.gps_curalt = 600.0;
        row.gps_curheading = (90.0 + (i % 2 ? 6.0 : -6.0)) * RadiansPerDegree; // the log's: east at 0, counter-clockwise
        flight.rows.push_back(row);
    }
    return flight;
}

double Number(const std::string& element, const std::string& name)
{
    const std::vector<std::string> found = Between(element, "<" + name + ">", "<");
    return found.empty() ? NAN : std::stod(found.front());
}
} // namespace

// A step a second at the track's own times, each a camera 20 to 150 m behind the aircraft on
// its smoothed heading, above it and looking its way.
TEST(ExportKml, ChaseTourFollowsTheAircraftFromBehindAndAbove)
{
    const LoadedFlight flight = NorthLeg(301, 0.1, true);
    const std::string kml = Write(WriteKml, flight);
    ASSERT_EQ(Between(kml, "<gx:Tour><name>Chase</name>", "</gx:Tour>").size(), 1u);
    const std::vector<std::string> steps = Between(kml, "<gx:FlyTo>", "</gx:FlyTo>");
    const std::vector<std::string> when = Between(kml, "<when>", "<"); // the track's 301, then the tour's
    ASSERT_EQ(steps.size(), 31u);
    ASSERT_EQ(when.size(), 301u + 31u);
    for (size_t k = 0; k < steps.size(); ++k)
    {
        const SampleRow& row = flight.rows[10 * k];
        EXPECT_EQ(when[301 + k], when[10 * k]) << k;
        EXPECT_NEAR(Number(steps[k], "gx:duration"), k == 0 ? 0.0 : 1.0, 1e-9) << k;
        const double latitude = Number(steps[k], "latitude"), longitude = Number(steps[k], "longitude");
        const double north = (row.gps_curlat / 60.0 - latitude) * RadiansPerDegree * EarthRadius;
        const double east = (row.gps_curlon / 60.0 - longitude) * RadiansPerDegree * EarthRadius * std::cos(latitude * RadiansPerDegree);
        EXPECT_NEAR(std::atan2(east, north) * DegreesPerRadian, 0.0, 3.0) << k; // the aircraft lies ahead, north
        EXPECT_NEAR(std::remainder(Number(steps[k], "heading"), 360.0), 0.0, 3.0) << k;
        const double distance = GroundDistance(latitude, longitude, row.gps_curlat / 60.0, row.gps_curlon / 60.0);
        EXPECT_GT(distance, 20.0) << k;
        EXPECT_LT(distance, 150.0) << k;
        const double above = Number(steps[k], "altitude") - row.gps_curalt;
        EXPECT_GT(above, 2.0) << k;
        EXPECT_LT(above, distance) << k; // looking down at it, not from on top
    }
}

// Five hours a row a second: a step every 5 s, about 3600 in all, at the track's own times
// (an undated log's counted from 1970, as the track's are).
TEST(ExportKml, LongFlightsTourIsCappedAtAboutAnHourOfSteps)
{
    const std::string kml = Write(WriteKml, NorthLeg(5 * 3600 + 1, 1.0, false));
    const std::vector<std::string> steps = Between(kml, "<gx:FlyTo>", "</gx:FlyTo>");
    ASSERT_EQ(steps.size(), 3601u);
    EXPECT_NE(steps[2].find("<when>1970-01-01T00:00:10.000Z</when>"), std::string::npos) << steps[2];
    EXPECT_NEAR(Number(steps.back(), "gx:duration"), 5.0, 1e-9);
}
