#include "worldgen/FlightLog.h"

#include <cmath>
#include <cstdio>

#include "log/LogAttitude.h"
#include "worldgen/FlightPlan.h"
#include "worldgen/WorldSite.h"

const std::vector<LogColumn> DemoLogColumns = EveryLogColumn();

static double Minutes(double degrees)
{
    return degrees * 60.0;
}

// Servo pulse for a stick deflection in -1 .. 1 around the 1500 microsecond centre.
static double Pulse(double deflection)
{
    return std::round(1500.0 + 400.0 * std::fmax(-1.0, std::fmin(1.0, deflection)));
}

std::vector<SampleRow> FlightLogRows(const std::vector<FlightState>& states, double sampleRate)
{
    std::vector<SampleRow> rows;
    if (states.empty())
        return rows;
    const FlightState& first = states.front();
    const double startLatitude = LatitudeOfNorth(first.north);
    const double startLongitude = LongitudeOfEast(first.east);
    for (size_t i = 0; i < states.size(); ++i)
    {
        const FlightState& s = states[i];
        SampleRow row{};
        row.samplenumber = static_cast<int32_t>(i + 1);
        row.flightnumber = DemoFlightNumber;
        row.gps_date = DemoDate;
        row.gps_time = DemoStartTime + i / sampleRate;
        row.gps_numsatellites = s.satellites;
        row.gps_fixmode = 3; // 3-D fix
        row.ap_status = s.autopilot;
        row.gps_startlat = Minutes(startLatitude);
        row.gps_startlon = Minutes(startLongitude);
        row.gps_startalt = first.altitude;
        row.gps_curlat = Minutes(LatitudeOfNorth(s.north));
        row.gps_curlon = Minutes(LongitudeOfEast(s.east));
        row.gps_curalt = s.altitude;
        row.gps_curspeed = s.groundSpeed;
        row.gps_curheading = LogHeading(s.course);
        row.compass_curheading = LogHeading(s.airHeading);
        row.bearing_to_base = LogHeading(std::atan2(first.east - s.east, first.north - s.north));
        row.turn_rate = -s.turnRate; // the logged heading turns the other way round
        row.voltage1 = s.voltage;
        row.voltage2 = 5.02; // receiver supply
        row.voltage3 = s.lowestCell;
        row.current = s.current;
        row.mah = s.consumed;
        row.temperature = s.temperature;
        row.baro_curspeed = s.airSpeed;
        row.baro_curalt = s.baroAltitude;
        row.pyro_curroll = LogRoll(s.bank);
        row.pyro_curpitch = LogPitch(s.pitch);
        row.pyro_targetroll = LogRoll(s.bankCommand);
        row.pyro_targetpitch = LogPitch(s.pitchCommand);
        row.targetthrottle = s.throttle;
        // Receiver inputs: aileron, elevator, throttle, rudder, mode switch.
        const double aileron = (s.bankCommand - s.bank) * 2.0 + s.bankCommand * 0.8;
        const double elevator = (s.pitchCommand - s.pitch) * 3.0 + 0.15;
        row.in_ppm_curwidth[0] = Pulse(aileron);
        row.in_ppm_curwidth[1] = Pulse(elevator);
        row.in_ppm_curwidth[2] = std::round(1100.0 + 800.0 * s.throttle);
        row.in_ppm_curwidth[3] = Pulse(aileron * 0.3);
        row.in_ppm_curwidth[4] = s.autopilot != 0 ? 1900.0 : 1100.0;
        // Servo outputs: the sticks in manual flight, the autopilot's own in a mission.
        const double gain = s.autopilot != 0 ? 0.9 : 1.0;
        row.out_ppm_curwidth[0] = Pulse(aileron * gain);
        row.out_ppm_curwidth[1] = Pulse(elevator * gain);
        row.out_ppm_curwidth[2] = row.in_ppm_curwidth[2];
        row.out_ppm_curwidth[3] = Pulse(aileron * 0.3 * gain);
        row.controlbyte = s.autopilot;
        rows.push_back(row);
    }
    return rows;
}

bool WriteFlightLog(const std::string& path, const std::vector<SampleRow>& rows)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
    {
        printf("Cannot write '%s'\n", path.c_str());
        return false;
    }
    bool ok = fputs(LogHeaderLine(DemoLogColumns).c_str(), out) >= 0;
    std::string line;
    for (const SampleRow& row : rows)
    {
        line.clear();
        AppendLogLine(&line, row, DemoLogColumns);
        ok = ok && fputs(line.c_str(), out) >= 0;
    }
    ok = (fclose(out) == 0) && ok;
    if (!ok)
        printf("Cannot write '%s'\n", path.c_str());
    return ok;
}
