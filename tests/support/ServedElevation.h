#pragma once
// The elevation a local test server serves in place of the default source: a plane over
// each 1-degree square, so that any point's height is known without reading a raster.
#include <string>

// Metres above sea level at (latitude, longitude), in degrees: 200 at a square's south-west
// corner, rising 300 towards its north edge and 200 towards its east edge.
double ServedElevation(double latitude, double longitude);

// Writes the square whose south-west corner is (latitude, longitude), in whole degrees, as
// a Cloud-Optimised GeoTIFF of ServedElevation under root, in the default source's layout
// ({tile}/{tile}.tif). False, after a line on stderr, when GDAL cannot write it.
bool WriteServedElevationSquare(const std::string& root, int latitude, int longitude);
