#include "DataToolSupport.h"

#include <sys/stat.h>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "track/FlightConversion.h"
#include "track/FlightFormats.h"

int DataToolFixture::RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err)
{
    const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", arguments, {}, 120);
    if (out)
        *out = result.out;
    if (err)
        *err = result.err;
    return result.status;
}

bool DataToolFixture::Exists(const std::string& name)
{
    struct stat status;
    return stat(name.c_str(), &status) == 0;
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

std::vector<SampleRow> ConvertTrackPoints(const std::vector<TimedPosition>& points, double rate)
{
    RecordedFlight flight;
    flight.positions = points;
    return ConvertTrackFlight(flight, rate);
}

bool ReadFlight(const std::string& path, RecordedFlight* flight)
{
    const FlightFormat* format = nullptr;
    std::string message;
    return ReadFlightFile(path, flight, &format, &message);
}

std::vector<SampleRow> ConvertTrackFlight(const RecordedFlight& flight, double rate)
{
    ConversionSettings settings = FindFlightFormat("GPX")->defaults;
    settings.rate = rate;
    return ConvertFlight(flight, settings).rows;
}

std::string TrackLogText(const std::vector<SampleRow>& rows)
{
    ConvertedFlight converted;
    converted.rows = rows;
    converted.columns = BaseLogColumns();
    return FormatConvertedLog(converted);
}
