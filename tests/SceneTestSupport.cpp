#include "SceneTestSupport.h"

#include <osg/Image>
#include <osgDB/WriteFile>

#include "geo/MapFrame.h"
#include "log/SampleTable.h"

const char* const TriangleModel =
    "AC3Db\n"
    "MATERIAL \"grey\" rgb 0.5 0.5 0.5  amb 0.2 0.2 0.2  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n"
    "OBJECT world\n"
    "kids 1\n"
    "OBJECT poly\n"
    "name \"triangle\"\n"
    "numvert 3\n"
    "-2 0 0\n"
    "2 0 0\n"
    "0 1 0\n"
    "numsurf 1\n"
    "SURF 0x20\n"
    "mat 0\n"
    "refs 3\n"
    "0 0 0\n"
    "1 1 0\n"
    "2 0 1\n"
    "kids 0\n";

void SceneFixture::SetUp()
{
    ResetSampleTable();
    SampleTable.SampleStep = 1.0;
    MapFrame.CI = 92000;
    MapFrame.CJ = 136000;
    MapFrame.k = 0.01;
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
}

void SceneFixture::WriteImage(const std::string& name)
{
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        scratch.MakeDirectory(name.substr(0, slash));
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(16, 8, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (unsigned int i = 0; i < image->getTotalSizeInBytes(); ++i)
        image->data()[i] = static_cast<unsigned char>(i * 7);
    ASSERT_TRUE(osgDB::writeImageFile(*image, name)) << name;
}
