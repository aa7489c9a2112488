#pragma once
#include <memory>
#include <string>

#include "world/HttpClient.h"

// Remote rasters that GDAL reads through our own HttpClient, so that the elevation windows
// keep the manners the imagery keeps: one connection, the pause between requests, the waits
// a Retry-After asks for, and no question asked twice. A file is asked for once with a HEAD
// (Probe, remembered for as long as the object lives); GDAL then opens GdalPath(url), and
// every read it makes is served from blocks of the file kept in memory, those missing fetched
// with one range request for each run of them.
class RemoteRasters
{
public:
    // Any number at a time: GDAL's reads of each one's GdalPath go to it.
    explicit RemoteRasters(HttpClient& http);
    ~RemoteRasters();
    RemoteRasters(const RemoteRasters&) = delete;
    RemoteRasters& operator=(const RemoteRasters&) = delete;

    // The answer to a HEAD of the URL: asked the first time, remembered after.
    const HttpResult& Probe(const std::string& url);

    // The name GDAL opens the URL by, once its Probe answered 200 with the file's size.
    std::string GdalPath(const std::string& url) const;

    // Why the last read GDAL asked for failed (the HTTP status or the transfer's error), or
    // what came instead of a TIFF ("an HTML page"); empty when none failed.
    const std::string& ReadError() const;
    // Whether that failure was the source's answer (a refusal, or no TIFF), which no retry
    // changes, rather than the network's.
    bool ReadRefused() const;

    struct State;

private:
    std::unique_ptr<State> state;
};
