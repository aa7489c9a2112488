#pragma once
#include <cstdint>
#include <string>

#include "support/SceneFiles.h"
#include "support/TestSupport.h"

// Runs each test in a fresh, empty working directory, because the builders read their
// files by fixed relative names. Also empties the sample table and sets a map frame.
class SceneFixture : public ScratchWorkingDirectoryTest
{
protected:
    void SetUp() override;

    // Appends an accepted row: position in degrees and metres, angles in radians.
    void AddRow(int32_t samplenumber, double latitude, double longitude, double altitude, double heading = 0.0, double roll = 0.0, double pitch = 0.0);

    // A small RGB image under the given relative name (directories are created).
    void WriteImage(const std::string& name);
    static void WriteText(const std::string& name, const std::string& text) { WriteWholeFile(name, text); }
};
