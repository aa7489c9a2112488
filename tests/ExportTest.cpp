// A flight written for other programs: the command's ends, and GPX read back by GDAL's own
// reader with every point where the log has it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gdal.h>
#include <nlohmann/json.hpp>
#include <ogr_api.h>

#include "geo/MapProjection.h"
#include "support/DataToolSupport.h"
#include "support/ElevationTiles.h"

namespace
{
class ExportTest : public DataToolFixture
{
protected:
    void SetUp() override
    {
        // Dated rows a fifth of a second apart, positions to the log's last digit.
        std::string log = "samplenumber,gps_date,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
        for (int n = 1; n <= 50; ++n)
        {
            char line[160];
            snprintf(line, sizeof line, "%d,250819,%.3f,%.6f,%.6f,%.2f\n", n, 30174.2 + 0.2 * n, 2784.974812 + n * 0.000137, 486.431007 - n * 0.000291, 1200.0 + n * 0.37);
            log += line;
        }
        WriteText("flight.log", log);
    }

    // Every point of the file's track layer through GDAL's reader: latitude, longitude, height.
    static std::vector<std::array<double, 3>> PointsRead(const std::string& path, const char* layer)
    {
        GDALAllRegister();
        std::vector<std::array<double, 3>> points;
        GDALDatasetH data = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
        if (!data)
            return points;
        OGRLayerH points_layer = GDALDatasetGetLayerByName(data, layer);
        OGRFeatureH feature = nullptr;
        while (points_layer && (feature = OGR_L_GetNextFeature(points_layer)) != nullptr)
        {
            OGRGeometryH point = OGR_F_GetGeometryRef(feature);
            // GPX's elevation is a field of the point; KML's altitude its third coordinate.
            const int ele = OGR_F_GetFieldIndex(feature, "ele");
            points.push_back({OGR_G_GetY(point, 0), OGR_G_GetX(point, 0), ele >= 0 ? OGR_F_GetFieldAsDouble(feature, ele) : OGR_G_GetZ(point, 0)});
            OGR_F_Destroy(feature);
        }
        GDALClose(data);
        return points;
    }
};

TEST_F(ExportTest, GpxIsReadBackByGdalWithEveryPointAsLogged)
{
    std::string out, err;
    ASSERT_EQ(RunTool({"export", "flight.log", "--to", "gpx"}, &out, &err), 0) << err;
    EXPECT_EQ(err, "export: 'flight.gpx' written as gpx (50 rows, " + std::to_string(ReadWholeFile("flight.gpx").size()) + " bytes)\n");
    const std::vector<std::array<double, 3>> points = PointsRead("flight.gpx", "track_points");
    ASSERT_EQ(points.size(), 50u);
    for (int n = 1; n <= 50; ++n)
    {
        EXPECT_NEAR(points[n - 1][0], (2784.974812 + n * 0.000137) / 60.0, 1e-9) << n;
        EXPECT_NEAR(points[n - 1][1], (486.431007 - n * 0.000291) / 60.0, 1e-9) << n;
        EXPECT_NEAR(points[n - 1][2], 1200.0 + n * 0.37, 1e-6) << n;
    }
    // Times in UTC to the millisecond: 2019-08-25, 30174.4 s of the day for the first row.
    EXPECT_NE(ReadWholeFile("flight.gpx").find("<time>2019-08-25T08:22:54.400Z</time>"), std::string::npos);
}

// A minute due north at 5 rows a second over the ground of tile (90, 140), at 100 m: from
// half a metre above it up 30 m and down again, all `offset` metres higher.
std::string ClimbAndLand(double offset)
{
    const double latitude = 60.0 * GridRowLatitude(90 * 1024 + 500.3);
    const double longitude = 60.0 * GridColumnLongitude(140 * 1024 + 500.6);
    std::string text = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    char line[160];
    for (int i = 0; i < 300; ++i)
    {
        const double t = 0.2 * i;
        snprintf(line, sizeof line, "%d,%.2f,%.6f,%.6f,%.2f\n", i + 1, 1000.0 + t, latitude + i * 0.0001, longitude,
                 100.5 + offset + std::min({30.0, 3.0 * t, 3.0 * (59.8 - t)}));
        text += line;
    }
    return text;
}

// A flight that takes off from the drawn ground and lands on it gets no note; one flown 20 m
// lower gets its notes on stderr, in --json and in the KML's description, its altitudes
// written as logged. The datum is the source's: an IGC file's header names it.
TEST_F(ExportTest, AltitudesDatumIsNamedAndHeightsUnderTheDrawnGroundNoted)
{
    ASSERT_TRUE(WriteElevationTile(90, 140, [](int32_t, int32_t) { return 100; }));
    std::string out, err;
    WriteText("ground.log", ClimbAndLand(0.0));
    ASSERT_EQ(RunTool({"export", "ground.log", "--to", "kml", "--json"}, &out, &err), 0) << err;
    EXPECT_EQ(nlohmann::json::parse(out)["notes"], nlohmann::json::array()) << out;
    EXPECT_EQ(err.find("drawn ground"), std::string::npos) << err;
    EXPECT_NE(ReadWholeFile("ground.kml").find("<description>Altitudes are metres above mean sea level, as logged (gps_curalt). "), std::string::npos);

    WriteText("under.log", ClimbAndLand(-20.0));
    ASSERT_EQ(RunTool({"export", "under.log", "--to", "kml", "--json"}, &out, &err), 0) << err;
    const std::vector<std::string> notes = nlohmann::json::parse(out)["notes"];
    ASSERT_EQ(notes.size(), 2u) << out;
    EXPECT_EQ(notes[0].rfind("66 of 300 rows over the drawn ground lie below it, the first 0.0 s into the flight, the lowest 19.5 m under it at 0.0 s", 0), 0u);
    EXPECT_EQ(notes[1].rfind("the flight starts and ends about 19.5 m below the drawn ground", 0), 0u);
    EXPECT_NE(err.find("export: " + notes[0] + "\n"), std::string::npos) << err;
    const std::string kml = ReadWholeFile("under.kml");
    EXPECT_NE(kml.find("\nWarning: " + notes[1] + ".</description>"), std::string::npos);
    EXPECT_NE(kml.find(" 80.500</gx:coord>"), std::string::npos);

    // An IGC file's header saying its GNSS altitudes are above the ellipsoid.
    std::string igc = "AXXX001\nHFDTEDATE:250819,01\nHFALGALTGPS:ELL\n";
    for (int s = 0; s < 10; ++s)
        igc += "B08225" + std::to_string(s) + "4707407N00830000EA0050000550\n";
    WriteText("glide.igc", igc);
    ASSERT_EQ(RunTool({"export", "glide.igc", "--to", "kml"}, &out, &err), 0) << err;
    EXPECT_NE(ReadWholeFile("glide.kml").find("<description>Altitudes are the IGC file&apos;s GNSS altitudes, metres above the WGS84 ellipsoid"), std::string::npos);
}

// A missing format, the flight itself as the output, a file that is no flight: one line
// each, the status by cause, and nothing written.
TEST_F(ExportTest, WhatCannotBeExportedIsOneLineAndNothingIsWritten)
{
    std::string out, err;
    EXPECT_EQ(RunTool({"export", "flight.log"}, &out, &err), 64);
    EXPECT_EQ(err.rfind("export: no --to FORMAT given\n", 0), 0u) << err;
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "gpx", "--out", "flight.log"}, &out, &err), 65);
    EXPECT_EQ(err, "export: 'flight.log' is the flight itself: give --out another name\n");
    WriteText("notes.txt", "nothing to fly here\n");
    EXPECT_EQ(RunTool({"export", "notes.txt", "--to", "gpx", "--json"}, &out, &err), 65);
    const nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(report["status"], "bad-input") << out;
    EXPECT_EQ(report["message"], "no row of 'notes.txt' holds a position");
    EXPECT_FALSE(Exists("notes.gpx"));
}
} // namespace
