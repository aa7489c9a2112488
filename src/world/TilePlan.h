#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "terrain/FlightCorridor.h"

// What a file the replay reads is for.
enum class PlannedKind
{
    ElevationTile,
    ImageryTile,
    GrassTexture,    // read for every patch whose imagery is missing
    SkyTexture,
    AircraftModel,
    AircraftTexture, // read only when the model is missing
};

struct PlannedFile
{
    PlannedKind kind;
    std::string name;  // as the program opens it, relative to the working directory
    int32_t level;     // imagery: zoom level; elevation: 18
    int64_t row;       // imagery: tile row at the level; elevation: file tile row
    int64_t column;    // likewise the column
    bool present;      // the replay can use it: a tile file opens, an image or model decodes
    bool empty = false; // an elevation tile that opens but has no height anywhere (see TileCoverage.h)
};

// Every file the replay reads for the map frame (CI, CJ), in the order it first reads them:
// for each terrain patch its new elevation tiles, then its imagery; then the grass fallback,
// the sky texture, the aircraft model and the aircraft's fallback texture. Presence is judged
// in `folder`, empty for the working directory; the names stay the replay's own.
std::vector<PlannedFile> PlanReplayFiles(int32_t CI, int32_t CJ, const std::string& folder = "");

// The imagery tiles of that plan that lie within the map's rows, in its order, named as the
// replay reads them: across 180 degrees with columns past the grid's ends, whose pictures
// are those of the tiles a whole turn round (WrapTileColumn). Its elevation tiles are
// RingElevationTiles.
std::vector<ImageryTileId> ImageryTilesOfFlight(int32_t CI, int32_t CJ);

// Bytes of a typical imagery tile before any is there: a 256-pixel JPEG of satellite imagery.
const double ImageryTileBytesEstimate = 25000.0;

// The tiles along the whole loaded flight that the player's terrain may read (FlightCorridor.h)
// and which of them are there. The rings' tiles come first, judged as the plan judges them;
// beyond the rings an imagery tile counts as there when its file is not empty, since decoding
// tens of thousands of images would take minutes (one that does not decode shows as grass,
// as a missing one does). An elevation tile counts as there when it opens and has a height
// somewhere, everywhere: a corridor has only tens of them.
struct CorridorPlan
{
    std::vector<ElevationTileId> elevation;
    std::vector<bool> elevationPresent;
    std::vector<ImageryTileId> imagery;
    std::vector<bool> imageryPresent;
    size_t ringElevation = 0; // the first ones of each list are the rings'
    size_t ringImagery = 0;
    double presentImageryBytes = 0; // the sizes of the imagery files there
};

// The corridor of a flight around the rings of `frame` (the frame fixed on it); `rings` is
// the replay's plan for that frame (PlanReplayFiles), whose judgement the rings' tiles keep.
CorridorPlan PlanCorridor(const FlightRows& flight, const MapFrameValues& frame, const std::vector<PlannedFile>& rings);
// The same around the rings of the frame tile (CI, CJ), for the zoom-18 tiles under flights
// (TilesUnderFlights).
CorridorPlan PlanCorridorAround(int32_t CI, int32_t CJ, const std::vector<GridTile>& flight, const std::vector<PlannedFile>& rings);

// The corridor of a flight already read (its tiles and map frame), judged in `folder`: what a
// fetch or a world plans without reading the flight again.
CorridorPlan PlanCorridor(const FlightTiles& flight, const std::string& folder);

// The corridors of several flights replayed in one folder, each planned around its own map
// frame, as one: every plan's rings' tiles first (so ringElevation and ringImagery count the
// rings of them all), then the rest in the plans' order, each tile once, judged as the plan
// it is first taken from judged it. Tile names are absolute grid indices, so flights near each
// other share most of them. One plan comes back as it is.
CorridorPlan MergeCorridorPlans(const std::vector<CorridorPlan>& plans);

// The plan command for the log at `log`, its samples selected by the --samples list
// `samples` (null: all) as the replay selects them: prints the log report (the replay's
// transcript of the loading step, over every row), then the plan of the flight
// (PrintFlightPlan).
int RunPlan(const char* log, const char* samples);

// The plan of a loaded flight in `frame`, the frame the replay fixes on it: the file list
// and the summary, with the share of the terrain's grid points that have heights and the
// share of the flight that the terrain lies under, and then the tiles, present and missing, and their bytes
// along the whole flight (the corridor). The status tells of the replay's own files alone:
// 0 when every one is present (and no elevation tile empty), 1 when some are missing or the
// flight reaches beyond the map's latitudes (no plan, a line on stderr), or the program's
// own negative status for a bad command line or log (from RunPlan).
int PrintFlightPlan(const LoadedFlight& flight, const MapFrameValues& frame);
