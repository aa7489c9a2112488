#include "DataToolSupport.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

void DataToolFixture::SetUp()
{
    previousDirectory = std::filesystem::current_path();
    char pattern[] = "/tmp/flightreplay-data-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
    std::filesystem::current_path(directory);
}

void DataToolFixture::TearDown()
{
    std::filesystem::current_path(previousDirectory);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

static std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int RunCommand(const std::string& commandLine, std::string* out)
{
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe)
        return -1000;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = pclose(pipe);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

int DataToolFixture::RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err)
{
    std::string commandLine = Quoted(FLIGHTREPLAY_DATA_BINARY);
    for (const std::string& argument : arguments)
        commandLine += " " + Quoted(argument);
    commandLine += " 2>stderr.txt";
    const int status = RunCommand(commandLine, out);
    if (err)
        *err = ReadText("stderr.txt");
    std::remove("stderr.txt");
    return status;
}

void DataToolFixture::WriteText(const std::string& name, const std::string& text)
{
    const std::filesystem::path path(name);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(name, std::ios::binary) << text;
}

std::string DataToolFixture::ReadText(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool DataToolFixture::Exists(const std::string& name)
{
    return std::filesystem::exists(name);
}

void WriteInt16GeoTiff(const std::string& path, double west, double north, double pixelDegrees, int width, int height, const std::vector<int16_t>& heights, int16_t noData)
{
    ASSERT_EQ(heights.size(), static_cast<size_t>(width) * height);
    GDALAllRegister();
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_TRUE(memory && driver);
    GDALDataset* source = memory->Create("", width, height, 1, GDT_Int16, nullptr);
    ASSERT_NE(source, nullptr);
    double transform[6] = {west, pixelDegrees, 0.0, north, 0.0, -pixelDegrees};
    source->SetGeoTransform(transform);
    OGRSpatialReference geographic;
    geographic.importFromEPSG(4326);
    source->SetSpatialRef(&geographic);
    GDALRasterBand* band = source->GetRasterBand(1);
    band->SetNoDataValue(noData);
    ASSERT_EQ(band->RasterIO(GF_Write, 0, 0, width, height, const_cast<int16_t*>(heights.data()), width, height, GDT_Int16, 0, 0), CE_None);
    // A copy puts the file's directory before the pixels, as SRTM's files have it.
    char rows[] = "BLOCKYSIZE=1";
    char* options[] = {rows, nullptr};
    GDALDataset* file = driver->CreateCopy(path.c_str(), source, FALSE, options, nullptr, nullptr);
    ASSERT_NE(file, nullptr);
    GDALClose(file);
    GDALClose(source);
}
