#include "log/LogWriter.h"

#include <cstdio>
#include <cstring>

std::string LogHeaderLine(const std::vector<LogColumn>& columns)
{
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i)
    {
        if (i > 0)
            line += ',';
        line += LogKeywords[static_cast<int32_t>(columns[i].kind)];
    }
    return line + "\n";
}

void AppendLogLine(std::string* text, const SampleRow& row, const std::vector<LogColumn>& columns)
{
    const char* bytes = reinterpret_cast<const char*>(&row);
    // 310 digits is the widest a double prints in fixed point; room for the longest field.
    char field[400];
    for (size_t i = 0; i < columns.size(); ++i)
    {
        const ColumnField& where = ColumnFieldTable[static_cast<int32_t>(columns[i].kind)];
        int length = 0;
        if (where.storage == StoreInt32)
        {
            int32_t value = 0;
            memcpy(&value, bytes + where.offset, sizeof value);
            length = snprintf(field, sizeof field, "%d", value);
        }
        else if (where.storage == StoreDouble)
        {
            double value = 0.0;
            memcpy(&value, bytes + where.offset, sizeof value);
            length = snprintf(field, sizeof field, "%.*f", columns[i].decimals, value);
        }
        if (i > 0)
            *text += ',';
        if (length > 0)
            text->append(field, length < static_cast<int>(sizeof field) ? length : sizeof field - 1);
    }
    *text += '\n';
}

const std::vector<LogColumn>& EveryLogColumn()
{
    static const std::vector<LogColumn> columns = {
        {ColumnKind::samplenumber, 0}, {ColumnKind::flightnumber, 0}, {ColumnKind::gps_date, 0}, {ColumnKind::gps_time, 2},
        {ColumnKind::gps_numsatellites, 0}, {ColumnKind::gps_fixmode, 0}, {ColumnKind::ap_status, 0},
        {ColumnKind::gps_startlat, 6}, {ColumnKind::gps_startlon, 6}, {ColumnKind::gps_startalt, 2},
        {ColumnKind::gps_curlat, 6}, {ColumnKind::gps_curlon, 6}, {ColumnKind::gps_curalt, 2}, {ColumnKind::gps_curspeed, 2},
        {ColumnKind::gps_curheading, 4}, {ColumnKind::compass_curheading, 4}, {ColumnKind::bearing_to_base, 4},
        {ColumnKind::turn_rate, 4}, {ColumnKind::voltage1, 3}, {ColumnKind::voltage2, 3}, {ColumnKind::voltage3, 3},
        {ColumnKind::current, 2}, {ColumnKind::mah, 1}, {ColumnKind::temperature, 1}, {ColumnKind::baro_curspeed, 2},
        {ColumnKind::baro_curalt, 2}, {ColumnKind::pyro_curroll, 4}, {ColumnKind::pyro_curpitch, 4},
        {ColumnKind::pyro_targetroll, 4}, {ColumnKind::pyro_targetpitch, 4}, {ColumnKind::targetthrottle, 3},
        {ColumnKind::in_ppm_curwidth0, 0}, {ColumnKind::in_ppm_curwidth1, 0}, {ColumnKind::in_ppm_curwidth2, 0},
        {ColumnKind::in_ppm_curwidth3, 0}, {ColumnKind::in_ppm_curwidth4, 0}, {ColumnKind::out_ppm_curwidth0, 0},
        {ColumnKind::out_ppm_curwidth1, 0}, {ColumnKind::out_ppm_curwidth2, 0}, {ColumnKind::out_ppm_curwidth3, 0},
        {ColumnKind::controlbyte, 0},
    };
    return columns;
}
