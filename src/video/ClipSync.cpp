#include "video/ClipSync.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "batch/AtomicFile.h"

namespace
{
std::string Stem(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool FiniteNumber(const nlohmann::json& value) { return value.is_number() && std::isfinite(value.get<double>()); }
} // namespace

std::string ClipSyncPath(const std::string& clip)
{
    return PathWithExtension(clip, ".sync");
}

bool ReadClipSync(const std::string& path, ClipSync* sync, std::string* error)
{
    error->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream bytes;
    bytes << in.rdbuf();
    nlohmann::json doc = nlohmann::json::parse(bytes.str(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !FiniteNumber(doc.value("offset", nlohmann::json())) ||
        !FiniteNumber(doc.value("rate", nlohmann::json())) || doc["rate"].get<double>() <= 0)
    {
        *error = path + ": not a clip's sync (wants an object with a finite offset and a positive rate)";
        return false;
    }
    ClipSync read;
    read.offset = doc["offset"].get<double>();
    read.rate = doc["rate"].get<double>();
    if (doc.contains("method") && doc["method"].is_string())
        read.method = doc["method"].get<std::string>();
    if (doc.contains("log") && doc["log"].is_string())
        read.log = doc["log"].get<std::string>();
    if (FiniteNumber(doc.value("logStartUtc", nlohmann::json())))
        read.logStartUtc = doc["logStartUtc"].get<double>();
    if (FiniteNumber(doc.value("rmsMetres", nlohmann::json())))
        read.rmsMetres = doc["rmsMetres"].get<double>();
    if (FiniteNumber(doc.value("clipSeconds", nlohmann::json())))
        read.clipSeconds = doc["clipSeconds"].get<double>();
    *sync = read;
    return true;
}

bool WriteClipSync(const std::string& path, const ClipSync& sync, std::string* error)
{
    nlohmann::ordered_json doc;
    doc["offset"] = sync.offset;
    doc["rate"] = sync.rate;
    doc["method"] = sync.method;
    doc["log"] = sync.log;
    if (sync.logStartUtc >= 0)
        doc["logStartUtc"] = sync.logStartUtc;
    if (sync.rmsMetres >= 0)
        doc["rmsMetres"] = sync.rmsMetres;
    doc["clipSeconds"] = sync.clipSeconds;
    std::string text = doc.dump(2) + "\n";
    if (WriteFileAtomically(path, text.data(), text.size()))
        return true;
    *error = path + ": cannot write the clip's sync";
    return false;
}

bool SyncForFlight(const ClipSync& fitted, const std::string& flightName, double flightStartUtc, ClipSync* forFlight,
                   std::string* why)
{
    *forFlight = fitted;
    if (fitted.log.empty() || Stem(fitted.log) == Stem(flightName))
        return true;
    if (fitted.logStartUtc >= 0 && flightStartUtc >= 0)
    {
        forFlight->offset = fitted.offset + (fitted.logStartUtc - flightStartUtc);
        return true;
    }
    *why = "it was fitted to " + fitted.log + ", and the two flights do not both log a time of day";
    return false;
}
