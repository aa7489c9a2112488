#include "export/WebPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "batch/AtomicFile.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/SampleRates.h"

// The page's own files, kept as they are in the source tree (PageSources.cpp is generated).
extern const char* const PageIndexHtml;
extern const char* const PageScript;

namespace
{
using nlohmann::json;

// How far around a place the finer levels reach, in tiles of each level: a square of 9 x 9, so
// that each level's ground reaches about four times as far as the next finer one's.
const int64_t RingRadius = 4;
// How far either side of the track its ground reaches, in tiles of the level.
const int64_t CorridorRadius = 1;
// Along the whole flight the ground goes no finer than this: a browser draws each tile with a
// texture of its own, and thousands of them slow its first frame more than their bytes do.
const int CorridorFinestLevel = 15;
// A ground script holds about this much, so that the browser parses several side by side.
const size_t GroundFileBytes = 2u << 20;

// Cells of the zoom-18 grid along a level's tile side.
int64_t CellsPerTile(int level)
{
    return int64_t{1} << (FinestLevel - level);
}

struct GridPoint
{
    double row;
    double column;
};

GridPoint GridOf(const ExportPoint& point)
{
    return GridPoint{MercatorY(point.latitude) * TileScale, LongitudeX(point.longitude) * TileScale};
}

// The tiles of `level` within `radius` of the one holding `at`, nearest first.
std::vector<PageTile> TilesAround(const GridPoint& at, int level, int64_t radius)
{
    const double cells = static_cast<double>(CellsPerTile(level));
    const int64_t row = static_cast<int64_t>(std::floor(at.row / cells));
    const int64_t column = static_cast<int64_t>(std::floor(at.column / cells));
    std::vector<PageTile> tiles;
    for (int64_t r = row - radius; r <= row + radius; ++r)
        for (int64_t c = column - radius; c <= column + radius; ++c)
            if (r >= 0 && c >= 0 && r < (TileScale >> (FinestLevel - level)) && c < (TileScale >> (FinestLevel - level)))
                tiles.push_back(PageTile{level, r, c});
    std::stable_sort(tiles.begin(), tiles.end(), [&](const PageTile& a, const PageTile& b) {
        return std::max(std::llabs(a.row - row), std::llabs(a.column - column)) < std::max(std::llabs(b.row - row), std::llabs(b.column - column));
    });
    return tiles;
}

// The tiles of `level` within `radius` of the track, in the order the flight reaches them.
std::vector<PageTile> Corridor(const std::vector<ExportPoint>& points, int level, int64_t radius)
{
    std::vector<PageTile> tiles;
    std::set<PageTile> seen;
    int64_t lastRow = -1, lastColumn = -1;
    const double cells = static_cast<double>(CellsPerTile(level));
    for (const ExportPoint& point : points)
    {
        const GridPoint at = GridOf(point);
        const int64_t row = static_cast<int64_t>(std::floor(at.row / cells)), column = static_cast<int64_t>(std::floor(at.column / cells));
        if (row == lastRow && column == lastColumn)
            continue;
        lastRow = row;
        lastColumn = column;
        for (const PageTile& tile : TilesAround(at, level, radius))
            if (seen.insert(tile).second)
                tiles.push_back(tile);
    }
    return tiles;
}

std::string Number(double value, int decimals)
{
    if (!std::isfinite(value))
        return "null";
    char text[48];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    // "-0.00" and "0.00" read alike, and the shorter saves a megabyte on a long flight.
    std::string out = text;
    if (out.find('.') != std::string::npos)
    {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
    }
    return out == "-0" ? "0" : out;
}

// A tile as the page takes it: heights at the corners of its cells, row by row from the
// north, as little-endian int16 metres in base64; its imagery as a JPEG in base64.
struct EncodedTile
{
    std::string heights;
    std::string imagery;
    bool anyHeight = false;
};

EncodedTile EncodeTile(const PageTile& tile, const GroundHeight& ground)
{
    EncodedTile encoded;
    const int64_t cells = CellsPerTile(tile.level);
    std::string bytes;
    bytes.reserve(static_cast<size_t>(2 * (cells + 1) * (cells + 1)));
    for (int64_t i = 0; i <= cells; ++i)
        for (int64_t j = 0; j <= cells; ++j)
        {
            const double latitude = GridRowLatitude(static_cast<double>(tile.row * cells + i));
            const double longitude = GridColumnLongitude(static_cast<double>(tile.column * cells + j));
            const double height = ground ? ground(latitude, longitude) : NAN;
            // The tiles hold whole metres as int16, so this loses nothing of theirs; no ground is
            // drawn at sea level, as the player draws it.
            const int value = std::isfinite(height) ? static_cast<int>(std::lround(std::clamp(height, -32768.0, 32767.0))) : 0;
            encoded.anyHeight = encoded.anyHeight || std::isfinite(height);
            bytes += static_cast<char>(value & 0xff);
            bytes += static_cast<char>((value >> 8) & 0xff);
        }
    encoded.heights = Base64(bytes);
    std::string jpeg, ignored;
    if (ReadWholeFile(ImageryFileName(tile.level, tile.row, tile.column), &jpeg, &ignored) && jpeg.size() > 3 &&
        static_cast<unsigned char>(jpeg[0]) == 0xff && static_cast<unsigned char>(jpeg[1]) == 0xd8)
        encoded.imagery = Base64(jpeg);
    return encoded;
}

const size_t TileOverhead = 64; // its level, row, column and the punctuation around them

std::string TileEntry(const PageTile& tile, const EncodedTile& encoded)
{
    return "{l:" + std::to_string(tile.level) + ",r:" + std::to_string(tile.row) + ",c:" + std::to_string(tile.column) + ",h:\"" +
           encoded.heights + "\"" + (encoded.imagery.empty() ? "" : ",i:\"" + encoded.imagery + "\"") + "},\n";
}

// The flight as the page's script takes it: columns of numbers, a row each.
std::string FlightScript(const ExportInput& input, const std::vector<ExportPoint>& points, const MapFrameValues& frame, const GroundHeight& ground)
{
    const LoadedFlight& flight = *input.flight;
    const double metres = 1.0 / frame.k;
    const std::vector<FlightModeChange> changes = FlightModeChanges(flight);
    std::vector<std::string> modes;
    for (const FlightModeChange& change : changes)
        if (std::find(modes.begin(), modes.end(), change.name) == modes.end())
            modes.push_back(change.name);
    // The rows the points came from, for their rates: ExportPoints leaves out rows without a position.
    std::vector<int32_t> rowOf;
    for (size_t row = 0; row < flight.rows.size(); ++row)
    {
        const SampleRow& sample = flight.rows[row];
        if (std::isfinite(sample.gps_curlat) && std::isfinite(sample.gps_curlon) && std::isfinite(sample.gps_curalt))
            rowOf.push_back(static_cast<int32_t>(row));
    }
    const FlightRows rows = flight.Rows();
    std::string t, east, north, up, heading, pitch, roll, speed, climb, height, mode;
    for (size_t i = 0; i < points.size(); ++i)
    {
        const ExportPoint& point = points[i];
        const GridPoint at = GridOf(point);
        const std::string comma = i == 0 ? "" : ",";
        t += comma + Number(point.seconds, 3);
        east += comma + Number((at.column - frame.CJ) * metres, 2);
        north += comma + Number(-(at.row - frame.CI) * metres, 2);
        up += comma + Number(point.altitude, 2);
        heading += comma + Number(point.heading, 2);
        pitch += comma + Number(point.pitch, 2);
        roll += comma + Number(point.roll, 2);
        const SampleRates rates = i < rowOf.size() ? RatesAtRow(rows, rowOf[i]) : SampleRates();
        speed += comma + (rates.known ? Number(rates.groundSpeed, 2) : "null");
        climb += comma + (rates.known ? Number(rates.climbRate, 2) : "null");
        const double ground_ = ground ? ground(point.latitude, point.longitude) : NAN;
        height += comma + Number(point.altitude - ground_, 1);
        const size_t change = FlightModeAt(changes, point.seconds + flight.rows.front().gps_time);
        mode += comma + (changes.empty() ? "0" : std::to_string(std::find(modes.begin(), modes.end(), changes[change].name) - modes.begin()));
    }
    json modeList = json::array();
    for (size_t m = 0; m < std::max<size_t>(modes.size(), 1); ++m)
    {
        const double* rgb = FlightModeColour(m);
        modeList.push_back({{"name", modes.empty() ? std::string() : modes[m]},
                            {"colour", {std::lround(rgb[0] * 255), std::lround(rgb[1] * 255), std::lround(rgb[2] * 255)}}});
    }
    json events = json::array();
    const double first = flight.rows.front().gps_time;
    for (const FlightEvent& event : flight.events)
        events.push_back({{"t", std::round((event.time - first) * 1000.0) / 1000.0}, {"kind", FlightEventKindName(event.kind)}, {"text", event.text}});
    const json head = {{"title", input.title},
                       {"utc0", points.front().utc >= 0.0 ? json(points.front().utc - points.front().seconds) : json(nullptr)},
                       {"attitude", points.front().attitude},
                       {"modes", modeList},
                       {"events", events},
                       {"attribution", input.attribution}};
    return "FR.flight(" + head.dump() + ",\n{t:[" + t + "],\ne:[" + east + "],\nn:[" + north + "],\nu:[" + up + "],\nhdg:[" + heading +
           "],\npitch:[" + pitch + "],\nroll:[" + roll + "],\ngs:[" + speed + "],\nvz:[" + climb + "],\nagl:[" + height + "],\nmode:[" +
           mode + "]});\n";
}

// `text` with every `what` in it replaced.
std::string Replaced(std::string text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}
} // namespace

bool ChoosePageTiles(const std::vector<ExportPoint>& points, const std::vector<double>& detailAt, size_t budget,
                     const std::function<size_t(const PageTile&)>& cost, std::vector<PageTile>* tiles, std::string* error)
{
    tiles->clear();
    if (points.empty())
    {
        *error = "it has no position to put ground under";
        return false;
    }
    std::set<PageTile> chosen;
    size_t used = 0;
    // The coarsest ground along the whole flight comes whole or the page is refused: without
    // it some of the flight would hang in the sky.
    size_t essential = 0, drawn = 0;
    const std::vector<PageTile> corridor = Corridor(points, CoarsestLevel, CorridorRadius);
    std::vector<std::pair<PageTile, size_t>> coarse;
    for (const PageTile& tile : corridor)
    {
        const size_t bytes = cost(tile);
        essential += bytes;
        if (bytes > 0)
            coarse.emplace_back(tile, bytes);
        drawn += bytes > 0 ? 1 : 0;
    }
    if (drawn == 0)
    {
        *error = "there is no ground under it here: no elevation tile or imagery of its world in the working directory "
                 "(make its world with `flightreplay-data world` and export from that folder)";
        return false;
    }
    if (essential > budget)
    {
        char text[200];
        snprintf(text, sizeof text, "the size limit leaves no ground: the coarsest ground along the flight alone takes %.1f MB (raise --max-mb)",
                 static_cast<double>(essential) / 1e6);
        *error = text;
        return false;
    }
    for (const auto& [tile, bytes] : coarse)
    {
        chosen.insert(tile);
        tiles->push_back(tile);
        used += bytes;
    }
    auto take = [&](const std::vector<PageTile>& wanted) {
        for (const PageTile& tile : wanted)
        {
            if (chosen.count(tile))
                continue;
            const size_t bytes = cost(tile);
            if (bytes == 0 || used + bytes > budget)
                continue;
            chosen.insert(tile);
            tiles->push_back(tile);
            used += bytes;
        }
    };
    // The places to see closely: where it took off and landed, then where the user asked.
    std::vector<GridPoint> places = {GridOf(points.front()), GridOf(points.back())};
    for (double seconds : detailAt)
    {
        const auto at = std::lower_bound(points.begin(), points.end(), seconds, [](const ExportPoint& p, double s) { return p.seconds < s; });
        places.push_back(GridOf(at == points.end() ? points.back() : *at));
    }
    // Level by level, so that a budget too small for them all leaves out the finest ground
    // everywhere rather than some places altogether.
    for (int level = CoarsestLevel + 1; level <= FinestLevel; ++level)
        for (const GridPoint& place : places)
            take(TilesAround(place, level, RingRadius));
    for (int level = CoarsestLevel + 1; level <= CorridorFinestLevel; ++level)
        take(Corridor(points, level, CorridorRadius));
    return true;
}

bool WritePage(const ExportInput& input, const PageOptions& options, ExportFiles* files, PageSummary* summary, std::string* error)
{
    files->clear();
    *summary = PageSummary();
    const std::vector<ExportPoint> points = ExportPoints(input);
    if (points.empty())
    {
        *error = "it has no row with a position";
        return false;
    }
    std::string library, controls;
    if (!ReadWholeFile(options.libraryFolder + "/build/three.min.js", &library, error) &&
        !ReadWholeFile(options.libraryFolder + "/three.min.js", &library, error))
    {
        *error = "the browser's 3-D library is not installed (" + *error + "; Debian's package libjs-three holds it)";
        return false;
    }
    if (!ReadWholeFile(options.libraryFolder + "/examples/js/controls/OrbitControls.js", &controls, error))
    {
        *error = "the browser's 3-D library is incomplete (" + *error + "; Debian's package libjs-three holds it)";
        return false;
    }
    std::string licence;
    ReadWholeFile("/usr/share/doc/libjs-three/copyright", &licence, error);
    error->clear();

    const MapFrameValues frame = input.flight->Frame();
    const std::string flightScript = FlightScript(input, points, frame, options.ground);
    const std::string index = Replaced(PageIndexHtml, "@TITLE@", XmlEscaped(input.title));
    const size_t fixed = library.size() + controls.size() + licence.size() + flightScript.size() + index.size() + std::string(PageScript).size() + 4096;
    const double limit = options.maxMegabytes * 1e6;
    if (!(limit > static_cast<double>(fixed)))
    {
        char text[200];
        snprintf(text, sizeof text, "the size limit leaves no ground: the page and the flight alone take %.1f MB (raise --max-mb)",
                 static_cast<double>(fixed) / 1e6);
        *error = text;
        return false;
    }
    std::map<PageTile, EncodedTile> encoded;
    auto cost = [&](const PageTile& tile) -> size_t {
        auto found = encoded.find(tile);
        if (found == encoded.end())
            found = encoded.emplace(tile, EncodeTile(tile, options.ground)).first;
        const EncodedTile& each = found->second;
        // A finer tile without imagery would hide the coarser imagery under it.
        if (each.imagery.empty() && (tile.level > CoarsestLevel || !each.anyHeight))
            return 0;
        return each.heights.size() + each.imagery.size() + TileOverhead;
    };
    std::vector<PageTile> tiles;
    if (!ChoosePageTiles(points, options.detailAt, static_cast<size_t>(limit) - fixed, cost, &tiles, error))
        return false;

    // Coarse tiles first, so that a page still loading shows the whole corridor early.
    std::stable_sort(tiles.begin(), tiles.end(), [](const PageTile& a, const PageTile& b) { return a.level < b.level; });
    std::vector<std::string> groundFiles;
    std::string ground;
    auto flush = [&]() {
        if (ground.empty())
            return;
        groundFiles.push_back("ground-" + std::to_string(groundFiles.size() + 1) + ".js");
        files->emplace_back(groundFiles.back(), "FR.ground([\n" + ground + "]);\n");
        summary->groundBytes += files->back().second.size();
        ground.clear();
    };
    for (const PageTile& tile : tiles)
    {
        const EncodedTile& each = encoded.at(tile);
        ground += TileEntry(tile, each);
        summary->tiles[tile.level - CoarsestLevel] += 1;
        summary->withoutImagery += each.imagery.empty() ? 1 : 0;
        if (ground.size() > GroundFileBytes)
            flush();
    }
    flush();

    std::string scripts;
    for (const std::string& name : groundFiles)
        scripts += "<script src=\"" + name + "\"></script>\n";
    char frameText[160];
    snprintf(frameText, sizeof frameText, "FR.frame={ci:%d,cj:%d,metres:%.9f};", frame.CI, frame.CJ, 1.0 / frame.k);
    files->emplace_back("index.html", Replaced(Replaced(index, "@FRAME@", frameText), "@GROUND@", scripts));
    files->emplace_back("three.min.js", library);
    files->emplace_back("OrbitControls.js", controls);
    if (!licence.empty())
        files->emplace_back("three-copyright.txt", licence);
    files->emplace_back("flight.js", flightScript);
    files->emplace_back("replay.js", PageScript);
    for (const auto& file : *files)
        summary->totalBytes += file.second.size();
    return true;
}
