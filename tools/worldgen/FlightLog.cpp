#include "FlightLog.h"

#include <cmath>
#include <cstdio>

#include "AttitudeConvention.h"
#include "FlightPlan.h"
#include "WorldSite.h"

const char* const LogKeywords[LogColumnCount] = {
    "samplenumber", "flightnumber", "gps_date", "gps_time", "gps_numsatellites", "gps_fixmode", "ap_status",
    "gps_startlat", "gps_startlon", "gps_startalt", "gps_curlat", "gps_curlon", "gps_curalt", "gps_curspeed",
    "gps_curheading", "compass_curheading", "bearing_to_base", "turn_rate", "voltage1", "voltage2", "voltage3",
    "current", "mah", "temperature", "baro_curspeed", "baro_curalt", "pyro_curroll", "pyro_curpitch",
    "pyro_targetroll", "pyro_targetpitch", "targetthrottle", "in_ppm_curwidth[0]", "in_ppm_curwidth[1]",
    "in_ppm_curwidth[2]", "in_ppm_curwidth[3]", "in_ppm_curwidth[4]", "out_ppm_curwidth[0]",
    "out_ppm_curwidth[1]", "out_ppm_curwidth[2]", "out_ppm_curwidth[3]", "controlbyte",
};

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

std::string LogHeaderLine()
{
    std::string line;
    for (int32_t k = 0; k < LogColumnCount; ++k)
    {
        if (k > 0)
            line += ',';
        line += LogKeywords[k];
    }
    return line + "\n";
}

std::string FormatLogRow(const SampleRow& r)
{
    // Fixed-point formats only: the log's number syntax has no exponent. A value that
    // rounds to zero may print as "-0.0000", which reads back as 0.
    char text[1024];
    snprintf(text, sizeof(text),
             "%d,%d,%d,%.2f,%d,%d,%d,"
             "%.6f,%.6f,%.2f,%.6f,%.6f,%.2f,%.2f,"
             "%.4f,%.4f,%.4f,%.4f,%.3f,%.3f,%.3f,"
             "%.2f,%.1f,%.1f,%.2f,%.2f,%.4f,%.4f,"
             "%.4f,%.4f,%.3f,%.0f,%.0f,%.0f,%.0f,%.0f,"
             "%.0f,%.0f,%.0f,%.0f,%d\n",
             r.samplenumber, r.flightnumber, r.gps_date, r.gps_time, r.gps_numsatellites, r.gps_fixmode, r.ap_status,
             r.gps_startlat, r.gps_startlon, r.gps_startalt, r.gps_curlat, r.gps_curlon, r.gps_curalt, r.gps_curspeed,
             r.gps_curheading, r.compass_curheading, r.bearing_to_base, r.turn_rate, r.voltage1, r.voltage2,
             r.voltage3, r.current, r.mah, r.temperature, r.baro_curspeed, r.baro_curalt, r.pyro_curroll,
             r.pyro_curpitch, r.pyro_targetroll, r.pyro_targetpitch, r.targetthrottle, r.in_ppm_curwidth[0],
             r.in_ppm_curwidth[1], r.in_ppm_curwidth[2], r.in_ppm_curwidth[3], r.in_ppm_curwidth[4],
             r.out_ppm_curwidth[0], r.out_ppm_curwidth[1], r.out_ppm_curwidth[2], r.out_ppm_curwidth[3],
             r.controlbyte);
    return text;
}

bool WriteFlightLog(const std::string& path, const std::vector<SampleRow>& rows)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
    {
        printf("Cannot write '%s'\n", path.c_str());
        return false;
    }
    bool ok = fputs(LogHeaderLine().c_str(), out) >= 0;
    for (const SampleRow& row : rows)
        ok = ok && fputs(FormatLogRow(row).c_str(), out) >= 0;
    ok = (fclose(out) == 0) && ok;
    if (!ok)
        printf("Cannot write '%s'\n", path.c_str());
    return ok;
}
