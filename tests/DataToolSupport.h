#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Each test works in a fresh, empty working directory, since the tool reads and writes
// fixed relative names. The directory is removed afterwards.
class DataToolFixture : public ::testing::Test
{
public:
    static std::string ReadText(const std::string& name);

protected:
    void SetUp() override;
    void TearDown() override;

    // Runs build/flightreplay-data with the arguments in the working directory; returns its
    // exit status and fills the two streams.
    static int RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err = nullptr);

    static void WriteText(const std::string& name, const std::string& text);
    static bool Exists(const std::string& name);

    std::filesystem::path directory;

private:
    std::filesystem::path previousDirectory;
};

// Runs a shell command line; returns its exit status and its standard output.
int RunCommand(const std::string& commandLine, std::string* out);

// Writes a one-band Int16 GeoTIFF in longitude and latitude, north-up, uncompressed in strips
// of one row (so a cut file fails to read where it was cut), with `noData` as its no-data
// value. `heights` holds width x height values, rows from the north.
void WriteInt16GeoTiff(const std::string& path, double west, double north, double pixelDegrees, int width, int height, const std::vector<int16_t>& heights, int16_t noData);
