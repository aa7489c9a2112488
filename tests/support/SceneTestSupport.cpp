#include "support/SceneTestSupport.h"

#include "geo/MapFrame.h"
#include "log/SampleTable.h"

void SceneFixture::SetUp()
{
    ResetSampleTable();
    SampleTable.SampleStep = 1.0;
    MapFrame.CI = 92000;
    MapFrame.CJ = 136000;
    MapFrame.k = 0.01;
    flight = LoadedFlight();
    flight.summary.step = 1.0;
}

void SceneFixture::AddRow(int32_t samplenumber, double latitude, double longitude, double altitude, double heading, double roll, double pitch)
{
    SampleRow& row = SampleTable.rows[SampleTable.rowCount++];
    row.samplenumber = samplenumber;
    row.gps_curlat = latitude * 60.0;
    row.gps_curlon = longitude * 60.0;
    row.gps_curalt = altitude;
    row.gps_curheading = heading;
    row.pyro_curroll = roll;
    row.pyro_curpitch = pitch;
    flight.rows.push_back(row);
}

void SceneFixture::WriteImage(const std::string& name)
{
    ASSERT_TRUE(::WriteImage(name, 16, 8, [](int x, int y, unsigned char* rgb) {
        for (int k = 0; k < 3; ++k)
            rgb[k] = static_cast<unsigned char>(((y * 16 + x) * 3 + k) * 7);
    }));
}
