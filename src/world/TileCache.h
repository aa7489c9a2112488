#pragma once
#include <cstdint>
#include <string>

#include "batch/CommandReport.h"
#include "geo/GeoTiles.h"

// The persistent cache of what remote sources served: where each file lies, how a file gets
// there (whole, under a temporary name of its own, or not at all) and what a run that must
// not write may do with it. The layout is the one older versions wrote, so their caches are
// read as they are:
//
//   CACHE/imagery/HASH/Z/X/Y.tile       a source tile as served (Y.absent: the source lacks it)
//   CACHE/dem/HASH/SQUARE/ROW-COL.tif   the part of one square one elevation tile needs
//                                       (ROW-COL.sea.tif: a flat 0 m raster, the square lacking)
//
// HASH names the source's URL template, so that two sources never share a file.

// One file a remote source serves, as the cache keeps it.
struct SourceFile
{
    std::string url;
    std::string file;       // the data
    std::string absentFile; // what stands for them where the source answered 404
    GeoBox window = {};     // of a raster: the part of it read
};

class TileCache
{
public:
    // Offline, the cache is read and never written: it may be read-only and shared.
    TileCache(const std::string& folder, bool offline);

    const std::string& Folder() const { return folder; }
    bool Offline() const { return offline; }

    // The folder of a source's files: the kind ("imagery", "dem") and a hash of the template.
    // A source asks once; a corridor has a hundred thousand tiles.
    std::string SourceFolder(const std::string& kind, const std::string& sourceUrl) const;
    // Tile (x, y) of zoom level z of the tile source whose folder that is.
    static SourceFile TileFile(const std::string& sourceFolder, const std::string& url, int z, int64_t x, int64_t y);
    // The window of elevation tile (row, column) in one square of a raster source.
    static SourceFile WindowFile(const std::string& sourceFolder, const std::string& url, const std::string& square, int32_t tileRow, int32_t tileColumn, const GeoBox& window);

    // Whether the cache knows the file: its data are there, or its absence is.
    static bool Holds(const SourceFile& file);
    // The file a source's data are read from: the data, else what stands for them.
    static const std::string& Readable(const SourceFile& file);

    // Before the first download: the cache's folder made, and writable, or why not (the
    // status: a configuration fault, or a full disk). Leftovers of fetches that were killed
    // are cleared away then. Offline, nothing is written: refused.
    CommandStatus PrepareForWriting(std::string* reason) const;
    // The folder of the file made, ahead of a download into it. False offline.
    bool MakeFolderFor(const SourceFile& file) const;
    // Marks the file as absent from the source: an empty file, written whole. False offline.
    bool MarkAbsent(const SourceFile& file) const;
    // The name a file is written under before it is renamed into place (NAME.partial-PID-N).
    static std::string TemporaryName(const std::string& path);

private:
    void RemoveLeftovers() const;

    std::string folder; // absolute
    bool offline;
};
