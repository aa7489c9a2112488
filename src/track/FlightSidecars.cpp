#include "track/FlightSidecars.h"

#include <unistd.h>

#include "track/CameraAttitude.h"
#include "track/CameraTriggers.h"
#include "track/FlightTraffic.h"
#include "track/FlightWind.h"
#include "track/VehicleKind.h"

const std::vector<FlightSidecar>& FlightSidecars()
{
    static const std::vector<FlightSidecar> sidecars = {
        {"the camera's attitudes", CameraPathFor, [](const FlightFileConversion& c) { return c.converted.gimbal.size(); },
         [](const std::string& path, const FlightFileConversion& c, std::string* error) { return WriteCameraAttitudes(path, c.converted.gimbal, error); }},
        {"the vehicle", VehiclePathFor, [](const FlightFileConversion& c) { return size_t(c.flight.vehicle.kind == VehicleKind::Unknown ? 0 : 1); },
         [](const std::string& path, const FlightFileConversion& c, std::string* error) { return WriteVehicleIdentity(path, c.flight.vehicle, error); }},
        {"the wind", WindPathFor, [](const FlightFileConversion& c) { return c.converted.wind.size(); },
         [](const std::string& path, const FlightFileConversion& c, std::string* error) { return WriteWind(path, c.converted.wind, error); }},
        {"the traffic", TrafficPathFor, [](const FlightFileConversion& c) { return c.converted.traffic.size(); },
         [](const std::string& path, const FlightFileConversion& c, std::string* error) { return WriteTraffic(path, c.converted.traffic, error); }},
        {"the photos", PhotosPathFor, [](const FlightFileConversion& c) { return c.converted.photos.size(); },
         [](const std::string& path, const FlightFileConversion& c, std::string* error) { return WritePhotos(path, c.converted.photos, error); }},
    };
    return sidecars;
}

bool WriteSidecarsBeside(const std::string& logPath, const FlightFileConversion& conversion, std::vector<std::string>* written, std::string* error)
{
    for (const FlightSidecar& sidecar : FlightSidecars())
    {
        const std::string path = sidecar.pathFor(logPath);
        if (sidecar.count(conversion) == 0)
            unlink(path.c_str());
        else if (!sidecar.write(path, conversion, error))
            return false;
        else
            written->push_back(path);
    }
    return true;
}

std::vector<std::string> SidecarPathsFor(const std::string& logPath)
{
    std::vector<std::string> paths;
    for (const FlightSidecar& sidecar : FlightSidecars())
        paths.push_back(sidecar.pathFor(logPath));
    return paths;
}
