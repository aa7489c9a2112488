#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "datatool/DataTool.h" // the statuses
#include "geo/Geodesy.h"
#include "flight/LoadedFlight.h"
#include "support/TestSupport.h"
#include "track/RecordedFlight.h"

// A degree in radians, and the metres of a degree of latitude on the map frame's sphere.
const double Degree = RadiansPerDegree;
const double MetresPerDegree = EarthRadius * RadiansPerDegree;

// Each test works in a fresh, empty working directory, since the tool reads and writes
// fixed relative names.
class DataToolFixture : public ScratchWorkingDirectoryTest
{
public:
    static std::string ReadText(const std::string& name) { return ReadWholeFile(name); }

protected:
    // Runs build/flightreplay-data with the arguments in the working directory; returns its
    // exit status and fills the two streams.
    static int RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err = nullptr);

    static void WriteText(const std::string& name, const std::string& text) { WriteWholeFile(name, text); }
    static bool Exists(const std::string& name);
};

// Loads a keyword log in this process as the data tool's commands load it (no --samples
// list); fails the test when it holds no flight.
LoadedFlight LoadLogQuietly(const std::string& path);

// The rows `track` makes of a track's positions, or of a flight a track reader filled, at
// the rate (the one conversion, with the track formats' settings).
std::vector<SampleRow> ConvertTrackPoints(const std::vector<TimedPosition>& points, double rate);
std::vector<SampleRow> ConvertTrackFlight(const RecordedFlight& flight, double rate);

// Reads a flight file as `track` does (its format told by its content); false when it cannot.
bool ReadFlight(const std::string& path, RecordedFlight* flight);

// A keyword log of the rows with the columns `track` writes for a track.
std::string TrackLogText(const std::vector<SampleRow>& rows);

// A circle of the given radius around (47 N, 8 E) at 500 m, one lap a minute, seen from
// above clockwise (north, east, south, west) or anticlockwise, sampled every second for two
// minutes; and the GPX track of such points.
std::vector<TimedPosition> Circle(bool clockwise, double radius);
std::string CircleGpx(const std::vector<TimedPosition>& points);
