// A flight written for other programs: the command's ends, and GPX read back by GDAL's own
// reader with every point where the log has it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gdal.h>
#include <nlohmann/json.hpp>
#include <ogr_api.h>

#include "export/WebPage.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
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

// The world under the flight: one elevation tile at 700 m and, where the flight begins, an
// imagery tile at the coarsest and the finest level (a JPEG's signature is all the page checks).
void WriteGroundUnderFlight()
{
    const double row = MercatorY((2784.974812 + 0.000137) / 60.0) * TileScale;
    const double column = LongitudeX((486.431007 - 0.000291) / 60.0) * TileScale;
    ASSERT_TRUE(WriteElevationTile(static_cast<int32_t>(row) / ElevationTileSize, static_cast<int32_t>(column) / ElevationTileSize,
                                   [](int32_t, int32_t) { return 700; }));
    mkdir(ImageryFolder, 0755);
    for (int level : {CoarsestLevel, FinestLevel})
        WriteWholeFile(ImageryFileName(level, static_cast<int64_t>(row) >> (FinestLevel - level), static_cast<int64_t>(column) >> (FinestLevel - level)),
                       "\xff\xd8\xff\xe0 imagery of level " + std::to_string(level));
}

// The page: its own files and the library beside index.html, every script it loads there, no
// address outside it, every row of the flight, the ground with its heights and imagery.
TEST_F(ExportTest, PageHoldsTheFlightAndItsGroundAndLoadsNothingFromOutsideItsFolder)
{
    WriteGroundUnderFlight();
    std::string out, err;
    ASSERT_EQ(RunTool({"export", "flight.log", "--to", "html", "--json"}, &out, &err), 0) << err;
    const nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(report["status"], "done") << out;
    const std::string index = ReadWholeFile("flight-page/index.html");
    for (size_t at = index.find("src=\""); at != std::string::npos; at = index.find("src=\"", at + 1))
    {
        const std::string name = index.substr(at + 5, index.find('"', at + 5) - at - 5);
        EXPECT_EQ(name.find_first_of(":/"), std::string::npos) << name;
        EXPECT_TRUE(Exists("flight-page/" + name)) << name;
    }
    for (const char* name : {"index.html", "replay.js", "flight.js", "ground-1.js"})
        EXPECT_EQ(ReadWholeFile(std::string("flight-page/") + name).find("://"), std::string::npos) << name;
    EXPECT_NE(index.find("three.min.js"), std::string::npos);
    const std::string flight = ReadWholeFile("flight-page/flight.js");
    const std::string times = flight.substr(flight.find("{t:[") + 4, flight.find(']', flight.find("{t:[")) - flight.find("{t:[") - 4);
    EXPECT_EQ(std::count(times.begin(), times.end(), ','), 49) << times;
    EXPECT_EQ(times.substr(0, 6), "0,0.2,");
    // 1200.37 m over ground at 700 m; the log is dated.
    EXPECT_NE(flight.find("agl:[500.4,"), std::string::npos);
    EXPECT_NE(flight.find("\"utc0\":1566721374.4"), std::string::npos) << flight.substr(0, 300);
    // Both imagery tiles, and heights of 700 m (int16, little-endian).
    const std::string ground = ReadWholeFile("flight-page/ground-1.js");
    EXPECT_NE(ground.find("i:\"" + Base64("\xff\xd8\xff\xe0 imagery of level 13") + "\""), std::string::npos);
    EXPECT_NE(ground.find("i:\"" + Base64("\xff\xd8\xff\xe0 imagery of level 18") + "\""), std::string::npos);
    EXPECT_NE(ground.find("{l:13,"), std::string::npos);
    EXPECT_NE(ground.find("h:\"" + Base64(std::string("\xbc\x02\xbc\x02\xbc\x02", 6))), std::string::npos);

    // A second export replaces its own page; a folder of something else is never replaced.
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "html"}, &out, &err), 0) << err;
    mkdir("photos", 0755);
    WriteText("photos/a.jpg", "a photo");
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "html", "--out", "photos"}, &out, &err), 65);
    EXPECT_EQ(err, "export: 'photos' is a folder of something else than an exported page: give --out another name\n");
    EXPECT_EQ(ReadWholeFile("photos/a.jpg"), "a photo");
}

// A size limit too small for the coarse ground along the flight, and a flight with no ground
// here: one line each and no folder; the page's options on another format are a usage error.
TEST_F(ExportTest, PageWithoutGroundIsRefusedAndNothingIsWritten)
{
    std::string out, err;
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "html"}, &out, &err), 65);
    EXPECT_NE(err.find("there is no ground under it here"), std::string::npos) << err;
    WriteGroundUnderFlight();
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "html", "--max-mb", "0.9"}, &out, &err), 65);
    EXPECT_NE(err.find("the size limit leaves no ground"), std::string::npos) << err;
    EXPECT_FALSE(Exists("flight-page"));
    EXPECT_EQ(RunTool({"export", "flight.log", "--to", "gpx", "--detail-at", "3"}, &out, &err), 64);
    EXPECT_EQ(err.rfind("export: --max-mb and --detail-at are for --to html", 0), 0u) << err;
}

// The choice of ground: the coarsest level along the whole flight first and whole, the finer
// levels around the take-off, the landing and each asked second, within the budget.
TEST(PageGroundTest, CoarseAlongTheFlightFirstThenFineAroundThePlacesWithinTheBudget)
{
    std::vector<ExportPoint> points;
    for (int i = 0; i <= 600; ++i) // 60 km due east at 46.5 degrees, a second a row
    {
        ExportPoint point;
        point.latitude = 46.5;
        point.longitude = 8.0 + 0.78 * i / 600.0;
        point.seconds = i;
        points.push_back(point);
    }
    const auto cost = [](const PageTile&) { return size_t{1000}; };
    std::vector<PageTile> tiles;
    std::string error;
    EXPECT_FALSE(ChoosePageTiles(points, {}, 20 * 1000, cost, &tiles, &error));
    EXPECT_NE(error.find("the coarsest ground along the flight alone takes"), std::string::npos) << error;

    auto holds = [&tiles](int level, const ExportPoint& point) {
        const int64_t row = static_cast<int64_t>(MercatorY(point.latitude) * TileScale) >> (FinestLevel - level);
        const int64_t column = static_cast<int64_t>(LongitudeX(point.longitude) * TileScale) >> (FinestLevel - level);
        return std::count_if(tiles.begin(), tiles.end(), [&](const PageTile& t) { return t.level == level && t.row == row && t.column == column; }) == 1;
    };
    ASSERT_TRUE(ChoosePageTiles(points, {300.0}, 1300 * 1000, cost, &tiles, &error)) << error;
    EXPECT_LE(tiles.size(), 1300u);
    for (const ExportPoint& point : points)
        ASSERT_TRUE(holds(CoarsestLevel, point));
    for (int level = CoarsestLevel + 1; level <= FinestLevel; ++level)
        for (int at : {0, 300, 600})
            EXPECT_TRUE(holds(level, points[at])) << level << " " << at;
    EXPECT_FALSE(holds(FinestLevel, points[150])); // the finest level is not along the whole way
    EXPECT_EQ(tiles.front().level, CoarsestLevel);
}
} // namespace
