#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"
#include "geo/MapProjection.h"

#include "support/SceneFiles.h"
#include "support/TestSupport.h"

// Runs each test in a fresh, empty working directory, because the builders read their
// files by fixed relative names. Also empties the sample table and sets a map frame, and keeps
// the same rows and frame as values, for what takes a flight as a value.
class SceneFixture : public ScratchWorkingDirectoryTest
{
protected:
    void SetUp() override;

    // Appends an accepted row, to the table and to `flight`: position in degrees and metres,
    // angles in radians.
    void AddRow(int32_t samplenumber, double latitude, double longitude, double altitude, double heading = 0.0, double roll = 0.0, double pitch = 0.0);

    // A small RGB image under the given relative name (directories are created).
    void WriteImage(const std::string& name);
    static void WriteText(const std::string& name, const std::string& text) { WriteWholeFile(name, text); }

    // `flight` alone, as the player is given its flights (kept until the next call).
    const std::vector<LoadedFlight>& Flights()
    {
        shown = {flight};
        return shown;
    }

    LoadedFlight flight; // one step a second, as the table
    MapFrameValues frame{92000, 136000, 0.01};
    std::vector<LoadedFlight> shown;
};
