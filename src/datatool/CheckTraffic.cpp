#include "datatool/CheckTraffic.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace
{

std::string Address(uint32_t address)
{
    char hex[16];
    snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(address & 0xFFFFFFu));
    return hex;
}

} // namespace

void PrintTrafficApproaches(FILE* out, const std::vector<TrafficApproach>& approaches)
{
    if (approaches.empty())
    {
        fprintf(out, "traffic: none reported\n");
        return;
    }
    fprintf(out, "traffic: %zu aircraft, the closest approach of each\n", approaches.size());
    for (const TrafficApproach& a : approaches)
    {
        const std::string name = Address(a.address) + (a.callsign.empty() ? "" : " " + a.callsign);
        if (a.measured == 0)
        {
            fprintf(out, "  %s: %zu reports, none while the flight's rows run\n", name.c_str(), a.reports);
            continue;
        }
        if (std::isfinite(a.vertical))
            fprintf(out, "  %s: %.0f m at %.2f s, %.0f m over the ground, %+.0f m above us (%zu of %zu reports measured)\n", name.c_str(), a.separation, a.time, a.horizontal, a.vertical, a.measured,
                    a.reports);
        else
            fprintf(out, "  %s: %.0f m over the ground at %.2f s, its altitude unknown (%zu of %zu reports measured)\n", name.c_str(), a.horizontal, a.time, a.measured, a.reports);
    }
}

std::string TrafficApproachesJson(const std::vector<TrafficApproach>& approaches)
{
    using nlohmann::json;
    const auto number = [](double value) { return std::isfinite(value) ? json(value) : json(nullptr); };
    json array = json::array();
    for (const TrafficApproach& a : approaches)
        array.push_back({{"address", Address(a.address)}, {"callsign", a.callsign}, {"reports", a.reports}, {"measured", a.measured}, {"time", number(a.time)},
                         {"separation_m", number(a.separation)}, {"horizontal_m", number(a.horizontal)}, {"vertical_m", number(a.vertical)}});
    return array.dump(-1, ' ', false, json::error_handler_t::replace);
}
