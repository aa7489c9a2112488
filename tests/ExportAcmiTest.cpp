// The ACMI and CZML writers on a small flight made in memory: the lines and their times,
// the zipped variant, the CZML's samples and model, and where its quaternions turn the nose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include "export/FlightExport.h"
#include "log/LogAttitude.h"
#include "log/LogKeywords.h"
#include "scene/AttitudeConvention.h"
#include "support/TestSupport.h"

namespace
{
const double Degree = 3.14159265358979323846 / 180.0;

struct Attitude
{
    double latitude, longitude, heading, pitch, roll; // degrees, the pilot's
};

// Rows a quarter second apart from 08:22:54.125 on 25 August 2019 (undated: no gps_date),
// with the attitude columns named.
LoadedFlight Flight(const std::vector<Attitude>& rows, bool dated = true)
{
    LoadedFlight flight;
    flight.columns = {static_cast<int32_t>(ColumnKind::gps_curlat), static_cast<int32_t>(ColumnKind::pyro_curroll),
                      static_cast<int32_t>(ColumnKind::pyro_curpitch)};
    for (size_t i = 0; i < rows.size(); ++i)
    {
        SampleRow row = {};
        row.samplenumber = static_cast<int32_t>(i + 1);
        row.gps_date = dated ? 250819 : 0;
        row.gps_time = 8 * 3600 + 22 * 60 + 54.125 + 0.25 * i;
        row.gps_curlat = rows[i].latitude * 60.0;
        row.gps_curlon = rows[i].longitude * 60.0;
        row.gps_curalt = 400.5 + i;
        row.gps_curheading = LogHeading(rows[i].heading * Degree);
        row.pyro_curpitch = LogPitch(rows[i].pitch * Degree);
        row.pyro_curroll = LogRoll(rows[i].roll * Degree);
        flight.rows.push_back(row);
    }
    return flight;
}

const std::vector<Attitude> FourRows = {
    {47.123456789, 8.5, 30.0, 5.0, -10.0},
    {47.1235, 8.50001, 31.0, 4.0, 12.5},
    {47.12355, 8.50002, 359.0, -3.0, 0.0},
    {47.1236, 8.50003, 90.0, 0.0, 45.0},
};

std::string FromBase64(const std::string& text)
{
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t word = 0;
    int bits = 0;
    for (size_t i = 0; i < text.size() && digits.find(text[i]) != std::string::npos; ++i)
    {
        word = word << 6 | static_cast<uint32_t>(digits.find(text[i]));
        bits += 6;
        if (bits >= 8)
        {
            bits -= 8;
            out += static_cast<char>(word >> bits & 0xff);
        }
    }
    return out;
}

TEST(ExportAcmiTest, FramesCarryTimesPositionsAnglesAndBookmarksInOrder)
{
    LoadedFlight flight = Flight(FourRows);
    const double t0 = flight.rows[0].gps_time;
    flight.events = {{t0 + 0.3, FlightEventKind::Mode, 6, "Loiter"},
                     {t0 + 0.5, FlightEventKind::Message, 6, "battery low, land"},
                     {t0 - 5.0, FlightEventKind::Arming, 6, ""}};
    std::string text, error;
    ASSERT_TRUE(WriteAcmi(ExportInput{&flight, "a,b.log", {"Map data: one", "two"}}, "out.acmi", &text, &error)) << error;
    EXPECT_EQ(text.rfind("FileType=text/acmi/tacview\nFileVersion=2.2\n0,ReferenceTime=2019-08-25T08:22:54Z\n0,Title=a\\,b.log\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n0,Comments=Map data: one\\\ntwo\n"), std::string::npos);
    EXPECT_NE(text.find("\n#0.125\n101,T=8.5000000|47.1234568|400.50|-10.00|5.00|30.00,Type=Air+FixedWing,Name=a\\,b.log\n"), std::string::npos);

    // Every frame's time and bookmark in order; the T lines parsed back.
    std::vector<std::string> sequence;
    size_t frames = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line[0] == '#' || line.rfind("0,Event=Bookmark|", 0) == 0)
            sequence.push_back(line[0] == '#' ? line : line.substr(17));
        else if (line.rfind("101,T=", 0) == 0 && frames < FourRows.size())
        {
            const Attitude& row = FourRows[frames];
            double v[6];
            ASSERT_EQ(sscanf(line.c_str(), "101,T=%lf|%lf|%lf|%lf|%lf|%lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 6) << line;
            const double expected[6] = {row.longitude, row.latitude, 400.5 + frames, row.roll, row.pitch, row.heading};
            for (int k = 0; k < 6; ++k)
                EXPECT_NEAR(v[k], expected[k], k < 2 ? 1e-7 : 0.005) << line << " value " << k;
            sequence.push_back("T");
            ++frames;
        }
    // The arming before the first row comes at the first frame; the mode change between two
    // frames at its own time; the message at a frame's time after it, with its comma escaped.
    const std::vector<std::string> expected = {"#0.125", "T", "arm", "#0.375", "T", "#0.425", "Loiter", "#0.625", "T", "battery low\\, land", "#0.875", "T"};
    EXPECT_EQ(sequence, expected);

    // Undated: no reference time, the frames count from the first row.
    const LoadedFlight undated = Flight(FourRows, false);
    ASSERT_TRUE(WriteAcmi(ExportInput{&undated, "u", {}}, "u.acmi", &text, &error)) << error;
    EXPECT_EQ(text.find("ReferenceTime"), std::string::npos);
    EXPECT_NE(text.find("\n#0.000\n101,T="), std::string::npos);
    EXPECT_NE(text.find("\n#0.750\n101,T="), std::string::npos);

    const LoadedFlight empty;
    EXPECT_FALSE(WriteAcmi(ExportInput{&empty, "e", {}}, "e.acmi", &text, &error));
    EXPECT_FALSE(error.empty());
}

TEST(ExportAcmiTest, ZippedWhenThePathEndsZipAcmi)
{
    ScratchDirectory scratch;
    const LoadedFlight flight = Flight(FourRows);
    const ExportFormat* format = FindExportFormat("acmi");
    ASSERT_TRUE(format && std::string(format->extension) == ".acmi");
    std::string plain, zipped, error;
    const std::string path = scratch.PathOf("f.zip.acmi");
    ASSERT_TRUE(format->write(ExportInput{&flight, "f.log", {}}, "f.acmi", &plain, &error) && format->write(ExportInput{&flight, "f.log", {}}, path, &zipped, &error));
    ASSERT_EQ(zipped.compare(0, 4, "PK\x03\x04"), 0) << "a zip's local header first";
    WriteWholeFile(path, zipped);
    if (std::system("unzip -v >/dev/null 2>&1") == 0)
    {
        const std::string listed = scratch.PathOf("list"), content = scratch.PathOf("content");
        ASSERT_EQ(std::system(("unzip -Z1 '" + path + "' >'" + listed + "'").c_str()), 0);
        EXPECT_EQ(ReadWholeFile(listed), "f.txt.acmi\n");
        ASSERT_EQ(std::system(("unzip -p '" + path + "' >'" + content + "'").c_str()), 0);
        EXPECT_EQ(ReadWholeFile(content), plain);
    }
    // Without unzip, the one entry inflated by hand: deflated (method 8) after its 30-byte
    // local header, its name and its extra field.
    const auto field = [&zipped](size_t at, int bytes) {
        unsigned long value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(zipped[at + i]);
        return value;
    };
    ASSERT_EQ(field(8, 2), 8u) << "deflated";
    EXPECT_LT(field(18, 4), plain.size());
    EXPECT_EQ(field(22, 4), plain.size());
    std::string inflated(plain.size(), '\0');
    z_stream stream{};
    ASSERT_EQ(inflateInit2(&stream, -15), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(&zipped[30 + field(26, 2) + field(28, 2)]);
    stream.avail_in = static_cast<uInt>(field(18, 4));
    stream.next_out = reinterpret_cast<Bytef*>(&inflated[0]);
    stream.avail_out = static_cast<uInt>(inflated.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    inflateEnd(&stream);
    EXPECT_EQ(inflated, plain);
}

// Rotates v by the unit quaternion (x, y, z, w).
std::vector<double> Rotated(double x, double y, double z, double w, const std::vector<double>& v)
{
    // v + 2 w (q x v) + 2 q x (q x v)
    const double cx = y * v[2] - z * v[1], cy = z * v[0] - x * v[2], cz = x * v[1] - y * v[0];
    return {v[0] + 2 * (w * cx + y * cz - z * cy), v[1] + 2 * (w * cy + z * cx - x * cz), v[2] + 2 * (w * cz + x * cy - y * cx)};
}

TEST(ExportAcmiTest, CzmlSamplesModelAndEvents)
{
    LoadedFlight flight = Flight(FourRows);
    flight.events = {{flight.rows[0].gps_time + 0.6, FlightEventKind::Failsafe, 2, "RTL"}, {flight.rows[0].gps_time, FlightEventKind::Message, 6, "bad \xff byte"}};
    std::string text, error;
    ASSERT_TRUE(WriteCzml(ExportInput{&flight, "f.log", {"credits"}}, "f.czml", &text, &error)) << error;
    const nlohmann::json czml = nlohmann::json::parse(text);
    ASSERT_EQ(czml.size(), 4u);
    EXPECT_EQ(czml[0]["clock"]["interval"], "2019-08-25T08:22:54.125Z/2019-08-25T08:22:54.875Z");
    const nlohmann::json& aircraft = czml[1];
    EXPECT_EQ(aircraft["position"]["epoch"], "2019-08-25T08:22:54.125Z");
    const std::vector<double> positions = aircraft["position"]["cartographicDegrees"];
    ASSERT_EQ(positions.size(), 4 * FourRows.size());
    EXPECT_NEAR(positions[12], 0.75, 1e-9);
    EXPECT_NEAR(positions[13], FourRows[3].longitude, 1e-7);
    EXPECT_NEAR(positions[14], FourRows[3].latitude, 1e-7);
    EXPECT_EQ(aircraft["orientation"]["unitQuaternion"].size(), 5 * FourRows.size());
    EXPECT_EQ(aircraft["description"], "credits");

    // The model: glTF 2.0 whose buffer holds the positions and normals it counts, y-up: the
    // wings span z, the fin stands up +y, the nose is the far end of +x.
    const std::string uri = aircraft["model"]["gltf"], prefix = "data:model/gltf+json;base64,";
    ASSERT_EQ(uri.compare(0, prefix.size(), prefix), 0);
    const nlohmann::json gltf = nlohmann::json::parse(FromBase64(uri.substr(prefix.size())));
    const std::string buffer = gltf["buffers"][0]["uri"];
    const size_t vertices = gltf["accessors"][0]["count"];
    EXPECT_EQ(vertices % 3, 0u);
    EXPECT_EQ(FromBase64(buffer.substr(buffer.find(',') + 1)).size(), 2 * 12 * vertices);
    const std::vector<double> low = gltf["accessors"][0]["min"], high = gltf["accessors"][0]["max"];
    EXPECT_NEAR(high[2] - low[2], 2.0, 1e-6);
    EXPECT_GT(high[1], 2 * -low[1]);
    EXPECT_GT(high[0], -low[0]);

    // The event: where the aircraft was at the last row before it, shown from its time.
    const nlohmann::json& event = czml[2];
    EXPECT_EQ(event["label"]["text"], "RTL");
    EXPECT_EQ(event["availability"], "2019-08-25T08:22:54.725Z/2019-08-25T08:23:14.725Z");
    EXPECT_NEAR(event["position"]["cartographicDegrees"][0].get<double>(), FourRows[2].longitude, 1e-7);
}

TEST(ExportAcmiTest, CzmlQuaternionsTurnTheNoseAndWingsInTheEarthFixedFrame)
{
    // Earth-fixed: x through latitude 0 longitude 0, z through the north pole.
    const double h = std::sqrt(0.5);
    const struct
    {
        Attitude attitude;
        std::vector<double> nose, rightWing;
    } cases[] = {
        {{0, 0, 90, 0, 0}, {0, 1, 0}, {0, 0, -1}},          // east; right wing to the south
        {{0, 0, 0, 0, 0}, {0, 0, 1}, {0, 1, 0}},            // north; right wing to the east
        {{0, 0, 0, 0, 30}, {0, 0, 1}, {-0.5, std::sqrt(0.75), 0}}, // right wing down
        {{0, 90, 0, 45, 0}, {0, h, h}, {-1, 0, 0}},         // at 90 E, nose up half way
        {{90, 0, 180, 0, 0}, {1, 0, 0}, {0, -1, 0}},        // at the pole, south is along +x
    };
    for (const auto& c : cases)
    {
        const LoadedFlight flight = Flight({c.attitude});
        std::string text, error;
        ASSERT_TRUE(WriteCzml(ExportInput{&flight, "q", {}}, "q.czml", &text, &error)) << error;
        const std::vector<double> q = nlohmann::json::parse(text)[1]["orientation"]["unitQuaternion"];
        ASSERT_EQ(q.size(), 5u);
        const std::vector<double> nose = Rotated(q[1], q[2], q[3], q[4], {1, 0, 0});
        const std::vector<double> right = Rotated(q[1], q[2], q[3], q[4], {0, -1, 0});
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(std::abs(nose[k] - c.nose[k]) < 1e-6 && std::abs(right[k] - c.rightWing[k]) < 1e-6) << "heading " << c.attitude.heading << " axis " << k;
    }
}

// The KML's angles and the CZML's quaternions put the nose and the right wing where the
// player's own aircraft has them, for the same logged row: three attitudes no axis lines up.
TEST(ExportAcmiTest, KmlAnglesAndCzmlQuaternionsTurnTheAircraftAsTheSceneDoes)
{
    using Vec = std::vector<double>;
    const auto near = [](const Vec& a, const Vec& b) { return std::abs(a[0] - b[0]) < 1e-6 && std::abs(a[1] - b[1]) < 1e-6 && std::abs(a[2] - b[2]) < 1e-6; };
    for (const Attitude& attitude : {Attitude{47.5, 8.25, 30, 10, 20}, Attitude{-35.4, 149.2, 200, -5, -35}, Attitude{46.5, 8.3, 117, 38, 61}})
    {
        const LoadedFlight flight = Flight({attitude});
        const SampleRow& row = flight.rows[0];
        // The scene: x south, y east, z up, the aircraft's nose along +y and its right wing +x
        // before it turns. East, north, up:
        const osg::Quat scene = LoggedAttitude(row.gps_curheading, row.pyro_curpitch, row.pyro_curroll);
        const osg::Vec3d sceneNose = scene * osg::Vec3d(0, 1, 0), sceneRight = scene * osg::Vec3d(1, 0, 0);
        const Vec nose{sceneNose.y(), -sceneNose.x(), sceneNose.z()}, right{sceneRight.y(), -sceneRight.x(), sceneRight.z()};

        // KML: heading from north, the nose raised by tilt about the right wing, then the right
        // wing lowered by roll about the nose.
        std::string kml, error;
        ASSERT_TRUE(WriteKml(ExportInput{&flight, "a", {}}, "a.kml", &kml, &error)) << error;
        const size_t at = kml.find("<gx:angles>");
        ASSERT_NE(at, std::string::npos);
        double h = 0, t = 0, r = 0;
        ASSERT_EQ(sscanf(kml.c_str() + at, "<gx:angles>%lf %lf %lf", &h, &t, &r), 3);
        h *= Degree, t *= Degree, r *= Degree;
        const Vec level{std::sin(h), std::cos(h), 0}, side{std::cos(h), -std::sin(h), 0}, up{0, 0, 1};
        Vec kmlNose(3), kmlUp(3), kmlRight(3);
        for (int k = 0; k < 3; ++k)
        {
            kmlNose[k] = level[k] * std::cos(t) + up[k] * std::sin(t);
            kmlUp[k] = up[k] * std::cos(t) - level[k] * std::sin(t);
        }
        for (int k = 0; k < 3; ++k)
            kmlRight[k] = side[k] * std::cos(r) - kmlUp[k] * std::sin(r);
        EXPECT_TRUE(near(kmlNose, nose) && near(kmlRight, right)) << "KML at heading " << attitude.heading;

        // CZML: the body's x forward and y left, Earth-fixed, seen in east, north, up there.
        std::string czml;
        ASSERT_TRUE(WriteCzml(ExportInput{&flight, "a", {}}, "a.czml", &czml, &error)) << error;
        const std::vector<double> q = nlohmann::json::parse(czml)[1]["orientation"]["unitQuaternion"];
        const double lat = attitude.latitude * Degree, lon = attitude.longitude * Degree;
        const Vec east{-std::sin(lon), std::cos(lon), 0}, north{-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)},
            upward{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
        const auto enu = [&](const Vec& v) {
            return Vec{v[0] * east[0] + v[1] * east[1] + v[2] * east[2], v[0] * north[0] + v[1] * north[1] + v[2] * north[2],
                       v[0] * upward[0] + v[1] * upward[1] + v[2] * upward[2]};
        };
        EXPECT_TRUE(near(enu(Rotated(q[1], q[2], q[3], q[4], {1, 0, 0})), nose) && near(enu(Rotated(q[1], q[2], q[3], q[4], {0, -1, 0})), right))
            << "CZML at heading " << attitude.heading;
    }
}
} // namespace
