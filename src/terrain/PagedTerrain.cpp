#include "terrain/PagedTerrain.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/PagedLOD>
#include <osg/Texture2D>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "terrain/ElevationTileStore.h"

namespace
{

const char* const TileExtension = "frtile";

// Cells per side of a tile's mesh: the zoom-18 grid's own cells up to this many, then every
// second, fourth ... grid point, so a tile costs the same at every level.
const int32_t MeshCells = 16;

int64_t TileSide(int32_t level)
{
    return int64_t{1} << (FinestLevel - level);
}

// A tile file name: 't' the tile, 'k' its four children.
std::string TileFileName(char kind, int32_t level, int64_t row, int64_t column)
{
    char name[96];
    snprintf(name, sizeof name, "%c_%d_%lld_%lld.%s", kind, static_cast<int>(level), static_cast<long long>(row), static_cast<long long>(column), TileExtension);
    return name;
}

// Height in metres at a zoom-18 grid point; columns past the grid's ends are read a whole
// turn round, rows off the grid are 0.
int32_t GroundAt(int64_t row, int64_t column)
{
    if (row < 0 || row >= TileScale)
        return 0;
    const int64_t wrapped = ((column % TileScale) + TileScale) % TileScale;
    int32_t height = 0;
    ElevationAtQuietly(static_cast<int32_t>(row), static_cast<int32_t>(wrapped), &height);
    return height;
}

osg::ref_ptr<osg::Image> ReadImageIfThere(const std::string& fileName)
{
    if (osgDB::findDataFile(fileName).empty())
        return nullptr;
    return osgDB::readRefImageFile(fileName);
}

// What the imagery folder holds, listed once when the terrain is made: a missing picture is
// painted from the finer tiles under it, and the list says at once whether there are any,
// without asking the file system thousands of times. Read-only once made, so the loading
// threads share it.
struct ImageryIndex
{
    std::unordered_set<std::string> names;  // as ImageryFileName spells them
    std::unordered_set<uint64_t> holders;   // tiles with a picture at or under them (TileKey)
    osg::ref_ptr<osg::Image> grass;         // shared by every tile without a picture
};

ImageryIndex& Imagery()
{
    static ImageryIndex index;
    return index;
}

uint64_t TileKey(int32_t level, int64_t row, int64_t column)
{
    return (static_cast<uint64_t>(level) << 58) ^ (static_cast<uint64_t>(row) << 29) ^ static_cast<uint64_t>(column + (int64_t{1} << 28));
}

void ListImagery()
{
    ImageryIndex& index = Imagery();
    index.names.clear();
    index.holders.clear();
    index.grass = ReadImageIfThere(GrassTextureFile);
    for (const std::string& name : osgDB::getDirectoryContents(ImageryFolder))
    {
        char letter = 0;
        long long row = 0;
        long long column = 0;
        char rest[8] = {};
        if (sscanf(name.c_str(), "%c-%lld-%lld.%7s", &letter, &row, &column, rest) != 4)
            continue;
        const int32_t level = letter - 'a';
        if (level < CoarsestLevel || level > FinestLevel || ImageryFileName(level, row, column) != std::string("./") + ImageryFolder + "/" + name)
            continue;
        index.names.insert(ImageryFileName(level, row, column));
        for (int32_t up = level; up >= PagedRootLevel; --up, row = CoarserTile(row, 1), column = CoarserTile(column, 1))
            if (!index.holders.insert(TileKey(up, row, column)).second)
                break;
    }
}

osg::ref_ptr<osg::Image> Grass()
{
    return Imagery().grass;
}

osg::ref_ptr<osg::Image> ReadImagery(int32_t level, int64_t row, int64_t column)
{
    const std::string name = ImageryFileName(level, row, column);
    if (Imagery().names.count(name) == 0)
        return nullptr;
    return osgDB::readRefImageFile(name);
}

// Reads pixels of an image as 8-bit RGB: straight from the bytes for the 8-bit RGB and RGBA
// images the image plug-ins make (a mosaic reads hundreds of thousands), else through the
// library's general conversion.
class PixelReader
{
public:
    explicit PixelReader(const osg::Image& image) : image(image)
    {
        const bool bytes = image.getDataType() == GL_UNSIGNED_BYTE;
        stride = bytes && image.getPixelFormat() == GL_RGB ? 3 : bytes && image.getPixelFormat() == GL_RGBA ? 4 : 0;
        rowBytes = image.getRowStepInBytes();
    }

    void Read(int32_t x, int32_t y, unsigned char* rgb) const
    {
        if (stride)
        {
            const unsigned char* p = image.data() + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) * stride;
            rgb[0] = p[0];
            rgb[1] = p[1];
            rgb[2] = p[2];
            return;
        }
        const osg::Vec4 colour = image.getColor(x, y);
        for (int32_t c = 0; c < 3; ++c)
            rgb[c] = static_cast<unsigned char>(std::lround(255.0f * std::min(1.0f, std::max(0.0f, colour[c]))));
    }

private:
    const osg::Image& image;
    int32_t stride = 0;
    size_t rowBytes = 0;
};

// Fills a block of `mosaic` (RGB) with `source` shrunk to it by box averages. Rows count
// from the image's bottom, the south, as the library loads them.
void ShrinkInto(const osg::Image& source, osg::Image* mosaic, int32_t x0, int32_t y0, int32_t side)
{
    const PixelReader pixels(source);
    // A few texels of each box are plenty for a picture seen from far off.
    const int32_t stepX = std::min(4, std::max(1, source.s() / side));
    const int32_t stepY = std::min(4, std::max(1, source.t() / side));
    for (int32_t y = 0; y < side; ++y)
    {
        unsigned char* out = mosaic->data(x0, y0 + y);
        const int32_t sy0 = y * source.t() / side;
        for (int32_t x = 0; x < side; ++x, out += 3)
        {
            int32_t sum[3] = {0, 0, 0};
            int32_t count = 0;
            const int32_t sx0 = x * source.s() / side;
            for (int32_t dy = 0; dy < stepY && sy0 + dy < source.t(); ++dy)
                for (int32_t dx = 0; dx < stepX && sx0 + dx < source.s(); ++dx, ++count)
                {
                    unsigned char rgb[3];
                    pixels.Read(sx0 + dx, sy0 + dy, rgb);
                    for (int32_t c = 0; c < 3; ++c)
                        sum[c] += rgb[c];
                }
            for (int32_t c = 0; c < 3; ++c)
                out[c] = static_cast<unsigned char>((sum[c] + std::max(count, 1) / 2) / std::max(count, 1));
        }
    }
}

// A square part of an image, in its pixels, rows from the bottom (the south): where a tile
// without a picture of its own finds one in a coarser tile's.
struct ImageRegion
{
    osg::ref_ptr<osg::Image> image; // null: none
    double x0 = 0.0;
    double y0 = 0.0;
    double side = 0.0;

    // The quarter of this region that child (a, b) covers; a counts from the north.
    ImageRegion Quarter(int32_t a, int32_t b) const
    {
        return ImageRegion{image, x0 + b * side / 2.0, y0 + (1 - a) * side / 2.0, side / 2.0};
    }
};

// Fills a block of `mosaic` with the region, magnified (nearest pixel).
void MagnifyInto(const ImageRegion& region, osg::Image* mosaic, int32_t x0, int32_t y0, int32_t side)
{
    const osg::Image& source = *region.image;
    const PixelReader pixels(source);
    for (int32_t y = 0; y < side; ++y)
    {
        unsigned char* out = mosaic->data(x0, y0 + y);
        const int32_t sy = std::min(source.t() - 1, static_cast<int32_t>(region.y0 + (y + 0.5) * region.side / side));
        for (int32_t x = 0; x < side; ++x, out += 3)
            pixels.Read(std::min(source.s() - 1, static_cast<int32_t>(region.x0 + (x + 0.5) * region.side / side)), sy, out);
    }
}

// Paints the tile's picture into a square block of `mosaic`: its own image file, else its four
// children's pictures, each a quarter of the block, down to the finest level; where none is
// found, the coarser picture over it (`above`), else grass. (Above the imagery's levels there
// are no files; and a world made for the rings has no inner tiles at any level but the finest,
// which the finer levels cover, nor any beyond the rings, which the coarser ones cover.)
void PaintTile(int32_t level, int64_t row, int64_t column, const ImageRegion& above, osg::Image* mosaic, int32_t x0, int32_t y0, int32_t side)
{
    osg::ref_ptr<osg::Image> image = level >= CoarsestLevel ? ReadImagery(level, row, column) : nullptr;
    const bool descend = level < FinestLevel && side >= 2 && Imagery().holders.count(TileKey(level, row, column)) > 0;
    if (!image && descend)
    {
        const int32_t half = side / 2;
        // Child a counts from the north: from the image's top.
        for (int32_t a = 0; a < 2; ++a)
            for (int32_t b = 0; b < 2; ++b)
                PaintTile(level + 1, 2 * row + a, 2 * column + b, above.Quarter(a, b), mosaic, x0 + b * half, y0 + (1 - a) * half, half);
        return;
    }
    if (!image && above.image)
        return MagnifyInto(above, mosaic, x0, y0, side);
    if (!image)
        image = Grass();
    if (image)
        ShrinkInto(*image, mosaic, x0, y0, side);
    else
        for (int32_t y = 0; y < side; ++y)
            std::fill_n(mosaic->data(x0, y0 + y), 3 * side, static_cast<unsigned char>(255));
}

// The nearest coarser tile at the imagery's levels that has a picture, and the part of it
// over the tile; no image when there is none.
ImageRegion PictureAbove(int32_t level, int64_t row, int64_t column)
{
    for (int32_t up = 1; level - up >= CoarsestLevel; ++up)
    {
        osg::ref_ptr<osg::Image> image = ReadImagery(level - up, CoarserTile(row, up), CoarserTile(column, up));
        if (!image)
            continue;
        const int64_t across = int64_t{1} << up;
        const double side = static_cast<double>(image->s()) / across;
        const int64_t a = row - CoarserTile(row, up) * across; // from the north
        const int64_t b = column - CoarserTile(column, up) * across;
        return ImageRegion{image, b * side, (across - 1 - a) * static_cast<double>(image->t()) / across, side};
    }
    return ImageRegion{};
}

// What a tile drapes: an image and the square of it over the tile, in texture coordinates.
struct TilePicture
{
    osg::ref_ptr<osg::Image> image;
    float u0 = 0.0f; // west edge
    float v0 = 0.0f; // south edge
    float span = 1.0f;
};

// Its own file at the imagery's levels. Else, with nothing finer under it, the part of the
// nearest coarser picture over it, magnified by the graphics card. Else a mosaic of one tile's
// size painted from the finer tiles (PaintTile), which is all there is above the imagery's
// levels.
TilePicture TileImage(int32_t level, int64_t row, int64_t column)
{
    if (level >= CoarsestLevel)
    {
        osg::ref_ptr<osg::Image> image = ReadImagery(level, row, column);
        if (image)
            return TilePicture{image};
    }
    const ImageRegion above = level > CoarsestLevel ? PictureAbove(level, row, column) : ImageRegion{};
    if (above.image && Imagery().holders.count(TileKey(level, row, column)) == 0)
    {
        const float across = static_cast<float>(above.image->s()) / static_cast<float>(above.side);
        return TilePicture{above.image, static_cast<float>(above.x0 / above.image->s()), static_cast<float>(above.y0 / above.image->t()), 1.0f / across};
    }
    osg::ref_ptr<osg::Image> mosaic = new osg::Image;
    mosaic->allocateImage(ImageryTilePixels, ImageryTilePixels, 1, GL_RGB, GL_UNSIGNED_BYTE);
    mosaic->setInternalTextureFormat(GL_RGB);
    PaintTile(level, row, column, above, mosaic.get(), 0, 0, ImageryTilePixels);
    return TilePicture{mosaic};
}

struct TileBounds
{
    osg::Vec3 centre;
    float radius = 0.0f;
};

// The mesh of a tile: (cells + 1)^2 grid points, at the finest level also the cell's centre at
// the corners' mean, as the rings draw it; and a skirt hanging from its edges, deep as the
// tile's relief, which closes the cracks where a neighbour of another level meets it.
osg::ref_ptr<osg::Geode> TileMesh(const MapFrameValues& frame, int32_t level, int64_t row, int64_t column, TileBounds* bounds)
{
    const TilePicture picture = TileImage(level, row, column);
    const int64_t side = TileSide(level);
    const int32_t cells = static_cast<int32_t>(std::min<int64_t>(side, MeshCells));
    const int64_t step = side / cells;
    const int32_t across = cells + 1;
    const bool centre = level == FinestLevel;

    osg::ref_ptr<osg::Vec3Array> positions = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec2Array> texCoords = new osg::Vec2Array;
    double lowest = DBL_MAX;
    double highest = -DBL_MAX;
    double sum = 0.0;
    for (int32_t i = 0; i < across; ++i)
    {
        for (int32_t j = 0; j < across; ++j)
        {
            const int64_t gridRow = row * side + i * step;
            const int64_t gridColumn = column * side + j * step;
            const double z = frame.k * GroundAt(gridRow, gridColumn);
            lowest = std::min(lowest, z);
            highest = std::max(highest, z);
            sum += z;
            positions->push_back(osg::Vec3(static_cast<float>(gridRow - frame.CI), static_cast<float>(gridColumn - frame.CJ), static_cast<float>(z)));
            texCoords->push_back(osg::Vec2(picture.u0 + picture.span * j / cells, picture.v0 + picture.span * (1.0f - static_cast<float>(i) / cells)));
        }
    }
    osg::ref_ptr<osg::DrawElementsUShort> triangles = new osg::DrawElementsUShort(GL_TRIANGLES);
    auto at = [across](int32_t i, int32_t j) { return static_cast<unsigned short>(i * across + j); };
    auto triangle = [&triangles](unsigned short a, unsigned short b, unsigned short c) {
        triangles->push_back(a);
        triangles->push_back(b);
        triangles->push_back(c);
    };
    if (centre)
    {
        const unsigned short middle = static_cast<unsigned short>(positions->size());
        positions->push_back(osg::Vec3((*positions)[0].x() + 0.5f, (*positions)[0].y() + 0.5f, static_cast<float>(sum / 4.0)));
        texCoords->push_back(osg::Vec2(picture.u0 + 0.5f * picture.span, picture.v0 + 0.5f * picture.span));
        triangle(at(0, 0), at(1, 0), middle);
        triangle(at(1, 0), at(1, 1), middle);
        triangle(at(1, 1), at(0, 1), middle);
        triangle(at(0, 1), at(0, 0), middle);
    }
    else
    {
        for (int32_t i = 0; i < cells; ++i)
            for (int32_t j = 0; j < cells; ++j)
            {
                triangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                triangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
    }

    // The skirt: round the edge, each edge point and a copy of it lowered.
    const float depth = static_cast<float>(highest - lowest + 10.0 * frame.k);
    std::vector<unsigned short> rim;
    for (int32_t j = 0; j < cells; ++j)
        rim.push_back(at(0, j));
    for (int32_t i = 0; i < cells; ++i)
        rim.push_back(at(i, cells));
    for (int32_t j = cells; j > 0; --j)
        rim.push_back(at(cells, j));
    for (int32_t i = cells; i > 0; --i)
        rim.push_back(at(i, 0));
    const unsigned short firstLowered = static_cast<unsigned short>(positions->size());
    for (unsigned short point : rim)
    {
        osg::Vec3 lowered = (*positions)[point];
        lowered.z() -= depth;
        positions->push_back(lowered);
        texCoords->push_back((*texCoords)[point]);
    }
    for (size_t n = 0; n < rim.size(); ++n)
    {
        const size_t next = (n + 1) % rim.size();
        const unsigned short a = rim[n], b = rim[next];
        const unsigned short la = static_cast<unsigned short>(firstLowered + n), lb = static_cast<unsigned short>(firstLowered + next);
        triangle(a, la, lb);
        triangle(a, lb, b);
    }

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(positions.get());
    geometry->setTexCoordArray(0, texCoords.get());
    geometry->addPrimitiveSet(triangles.get());
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
    texture->setImage(picture.image.get());
    // As in the rings: neighbours meet at their images' edges without a dark seam.
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
    // Once on the graphics card, the image's copy in memory only costs: a tile is rebuilt
    // from its files when it comes back into use.
    texture->setUnRefImageDataAfterApply(true);
    geometry->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());

    const float half = 0.5f * static_cast<float>(side);
    bounds->centre.set(static_cast<float>(row * side - frame.CI) + half, static_cast<float>(column * side - frame.CJ) + half, static_cast<float>(0.5 * (lowest + highest)));
    bounds->radius = std::sqrt(2.0f * half * half + std::pow(static_cast<float>(0.5 * (highest - lowest)) + depth, 2.0f));
    return geode;
}

// The frame the tiles are laid in, handed with every request the pager makes for a tile:
// it loads them on threads of its own, and several terrains may lie in several frames.
class FrameOptions : public osgDB::Options
{
public:
    FrameOptions() = default;
    explicit FrameOptions(const MapFrameValues& frame) : frame(frame) {}
    FrameOptions(const FrameOptions& other, const osg::CopyOp& copy = osg::CopyOp::SHALLOW_COPY) : osgDB::Options(other, copy), frame(other.frame) {}
    META_Object(flightreplay, FrameOptions)

    MapFrameValues frame;
};

// A tile as drawn: its mesh from afar; nearer, its children, loaded when first wanted.
osg::ref_ptr<osg::Node> TileNode(const MapFrameValues& frame, int32_t level, int64_t row, int64_t column)
{
    TileBounds bounds;
    osg::ref_ptr<osg::Geode> mesh = TileMesh(frame, level, row, column, &bounds);
    if (level == FinestLevel)
        return mesh;
    const float refine = static_cast<float>(TileRefineDistance * TileSide(level));
    osg::ref_ptr<osg::PagedLOD> tile = new osg::PagedLOD;
    tile->setCenter(bounds.centre);
    tile->setRadius(bounds.radius);
    tile->addChild(mesh.get(), refine, FLT_MAX);
    tile->setFileName(1, TileFileName('k', level, row, column));
    tile->setRange(1, 0.0f, refine);
    tile->setDatabaseOptions(new FrameOptions(frame));
    return tile;
}

osg::ref_ptr<osg::Node> ChildTiles(const MapFrameValues& frame, int32_t level, int64_t row, int64_t column)
{
    osg::ref_ptr<osg::Group> children = new osg::Group;
    for (int64_t a = 0; a < 2; ++a)
        for (int64_t b = 0; b < 2; ++b)
            children->addChild(TileNode(frame, level + 1, 2 * row + a, 2 * column + b).get());
    return children;
}

class TerrainTileReader : public osgDB::ReaderWriter
{
public:
    TerrainTileReader() { supportsExtension(TileExtension, "terrain tile built from the world's files"); }
    const char* className() const override { return "flightreplay terrain tiles"; }

    ReadResult readNode(const std::string& fileName, const osgDB::Options* options) const override
    {
        const FrameOptions* framed = dynamic_cast<const FrameOptions*>(options);
        if (!acceptsExtension(osgDB::getLowerCaseFileExtension(fileName)) || !framed)
            return ReadResult::FILE_NOT_HANDLED;
        osg::ref_ptr<osg::Node> node = BuildTerrainTile(fileName, framed->frame);
        return node ? ReadResult(node.get()) : ReadResult::FILE_NOT_FOUND;
    }
};

void RegisterTileReader()
{
    static std::once_flag once;
    std::call_once(once, [] { osgDB::Registry::instance()->addReaderWriter(new TerrainTileReader); });
}

// One line on stderr for what the corridor lacks: the tiles are built as they come into view,
// quietly, so this is the only word on them.
void SumUpMissingTiles(const std::vector<FlightTiles>& flights, const std::vector<ImageryTileId>& imagery)
{
    const std::vector<ElevationTileId> elevation = CorridorElevationTiles(flights, imagery);
    size_t missingImagery = 0;
    for (const ImageryTileId& tile : imagery)
        missingImagery += Imagery().names.count(ImageryFileName(tile)) == 0 ? 1 : 0;
    size_t missingElevation = 0;
    for (const ElevationTileId& tile : elevation)
    {
        FILE* file = fopen(ElevationTileFileName(tile.tileRow, tile.tileColumn).c_str(), "rb");
        missingElevation += file ? 0 : 1;
        if (file)
            fclose(file);
    }
    if (missingImagery == 0 && missingElevation == 0)
        return;
    fprintf(stderr, "terrain: %zu of %zu imagery tiles and %zu of %zu elevation tiles along the flight missing (drawn from the pictures above or below them where there are some, else as grass; missing heights are 0 m): `flightreplay-data plan LOG` counts them, `flightreplay-data fetch LOG` fetches them\n",
            missingImagery, imagery.size(), missingElevation, elevation.size());
}

} // namespace

osg::ref_ptr<osg::Node> BuildTerrainTile(const std::string& fileName, const MapFrameValues& frame)
{
    char kind = 0;
    int level = 0;
    long long row = 0;
    long long column = 0;
    char extension[16] = {};
    const std::string name = osgDB::getSimpleFileName(fileName);
    if (sscanf(name.c_str(), "%c_%d_%lld_%lld.%15s", &kind, &level, &row, &column, extension) != 5 || std::string(extension) != TileExtension)
        return nullptr;
    if (level < PagedRootLevel || level > FinestLevel || row < 0 || row >= (1LL << level))
        return nullptr;
    if (kind == 't')
        return TileNode(frame, level, row, column);
    if (kind == 'k' && level < FinestLevel)
        return ChildTiles(frame, level, row, column);
    return nullptr;
}

PagedTerrain::PagedTerrain(const MapFrameValues& frame, const std::vector<GridTile>& flight) : PagedTerrain(frame, std::vector<FlightTiles>{FlightTiles{frame.CI, frame.CJ, flight}})
{
}

PagedTerrain::PagedTerrain(const MapFrameValues& frame, const std::vector<FlightTiles>& flights)
{
    RegisterTileReader();
    ListImagery();
    // The roots over every level-13 tile of the corridor.
    const std::vector<ImageryTileId> corridor = CorridorImageryTiles(flights);
    std::set<std::pair<int64_t, int64_t>> roots;
    for (const ImageryTileId& tile : corridor)
        if (tile.level == CoarsestLevel)
            roots.insert({CoarserTile(tile.row, CoarsestLevel - PagedRootLevel), CoarserTile(tile.column, CoarsestLevel - PagedRootLevel)});

    const int64_t side = TileSide(PagedRootLevel);
    lowestHeight = DBL_MAX;
    for (const std::pair<int64_t, int64_t>& root : roots)
    {
        // A coarse look at the heights, for the root's bound and the far ground's level.
        double lowest = DBL_MAX;
        double highest = -DBL_MAX;
        for (int64_t i = 0; i <= 8; ++i)
            for (int64_t j = 0; j <= 8; ++j)
            {
                const double z = frame.k * GroundAt(root.first * side + i * side / 8, root.second * side + j * side / 8);
                lowest = std::min(lowest, z);
                highest = std::max(highest, z);
            }
        lowestHeight = std::min(lowestHeight, lowest);
        const float half = 0.5f * static_cast<float>(side);
        osg::ref_ptr<osg::PagedLOD> stub = new osg::PagedLOD;
        stub->setCenter(osg::Vec3(static_cast<float>(root.first * side - frame.CI) + half, static_cast<float>(root.second * side - frame.CJ) + half, static_cast<float>(0.5 * (lowest + highest))));
        stub->setRadius(std::sqrt(2.0f) * half + static_cast<float>(highest - lowest));
        stub->setFileName(0, TileFileName('t', PagedRootLevel, root.first, root.second));
        stub->setRange(0, 0.0f, FLT_MAX);
        stub->setDatabaseOptions(new FrameOptions(frame));
        addChild(stub.get());
    }
    if (roots.empty())
        lowestHeight = 0.0;
    SumUpMissingTiles(flights, corridor);
}
