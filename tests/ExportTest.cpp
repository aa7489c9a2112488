// A flight written for other programs: the command's ends, and GPX read back by GDAL's own
// reader with every point where the log has it.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gdal.h>
#include <nlohmann/json.hpp>
#include <ogr_api.h>

#include "support/DataToolSupport.h"

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
