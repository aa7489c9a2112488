#include "player/PlotSeries.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "log/LogKeywords.h"
#include "log/SampleRates.h"
#include "player/FlightReadout.h"

namespace
{
const float NotKnown = std::numeric_limits<float>::quiet_NaN();

// The figures the display shows, each with its own word.
struct FigureSeries
{
    const char* word;
    const char* title;
    const char* unit;
};
const FigureSeries Figures[] = {
    {"altitude", "altitude AMSL", "m"},
    {"height", "height above the ground", "m"},
    {"speed", "ground speed", "m/s"},
    {"climb", "climb rate", "m/s"},
    {"attitude", "bank and pitch", "\u00b0"},
};

// The log's other columns, by the unit each holds its values in, with a factor to a pilot's
// unit (radians are read in degrees). Columns that the figures already show, or that say
// where and when rather than how (position, start, date, sample and flight numbers), are
// not listed.
struct ColumnUnit
{
    const char* unit;
    double factor;
    std::vector<ColumnKind> kinds;
};
using K = ColumnKind;
const ColumnUnit ColumnUnits[] = {
    {"", 1.0, {K::gps_numsatellites, K::gps_fixmode, K::ap_status, K::targetthrottle, K::controlbyte}},
    {"m/s", 1.0, {K::gps_curspeed, K::baro_curspeed}},
    {"m", 1.0, {K::baro_curalt}},
    {"\u00b0", DegreesPerRadian, {K::gps_curheading, K::compass_curheading, K::bearing_to_base, K::pyro_targetroll, K::pyro_targetpitch}},
    {"\u00b0/s", DegreesPerRadian, {K::turn_rate}},
    {"V", 1.0, {K::voltage1, K::voltage2, K::voltage3}},
    {"A", 1.0, {K::current}},
    {"mAh", 1.0, {K::mah}},
    {"\u00b0C", 1.0, {K::temperature}},
    {"\u00b5s", 1.0, {K::in_ppm_curwidth0, K::in_ppm_curwidth1, K::in_ppm_curwidth2, K::in_ppm_curwidth3, K::in_ppm_curwidth4,
                     K::out_ppm_curwidth0, K::out_ppm_curwidth1, K::out_ppm_curwidth2, K::out_ppm_curwidth3}},
};

// The unit of a listed column; null for one not listed.
const ColumnUnit* UnitOf(ColumnKind kind)
{
    for (const ColumnUnit& unit : ColumnUnits)
        if (std::find(unit.kinds.begin(), unit.kinds.end(), kind) != unit.kinds.end())
            return &unit;
    return nullptr;
}

bool LogCarries(const LoadedFlight& flight, ColumnKind kind)
{
    return flight.Names(static_cast<int32_t>(kind));
}

double ColumnValue(const SampleRow& row, ColumnKind kind)
{
    const ColumnField& field = ColumnFieldTable[static_cast<int32_t>(kind)];
    const char* base = reinterpret_cast<const char*>(&row) + field.offset;
    if (field.storage == StoreInt32)
    {
        int32_t value = 0;
        memcpy(&value, base, sizeof value);
        return value;
    }
    double value = 0.0;
    memcpy(&value, base, sizeof value);
    return value;
}

const FigureSeries* FindFigure(const std::string& word)
{
    for (const FigureSeries& figure : Figures)
        if (word == figure.word)
            return &figure;
    return nullptr;
}

// The listed column of a keyword; ColumnKind::None for another word.
ColumnKind FindColumn(const std::string& word)
{
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
        if (word == LogKeywords[kind] && UnitOf(static_cast<ColumnKind>(kind)))
            return static_cast<ColumnKind>(kind);
    return ColumnKind::None;
}

void MakeFigureSeries(const LoadedFlight& flight, const FigureSeries& figure, PlotSeries* series)
{
    const FlightRows all = flight.Rows();
    const int32_t rows = all.count;
    const std::string word = figure.word;
    series->curves.resize(word == "attitude" ? 2 : 1);
    if (word == "attitude")
    {
        series->curves[0].name = "bank";
        series->curves[1].name = "pitch";
    }
    for (PlotCurve& curve : series->curves)
        curve.values.resize(rows);
    if (word == "altitude")
        series->ground.resize(rows);
    for (int32_t row = 0; row < rows; ++row)
    {
        float* values = &series->curves[0].values[row];
        const SampleRow& sample = all[row];
        if (word == "altitude" || word == "height")
        {
            // Only these two need the ground, and the elevation tiles it is read from.
            const FlightReadout readout = ReadFlightAt(all, row);
            const float ground = readout.overTerrain ? static_cast<float>(readout.altitude - readout.heightAboveTerrain) : NotKnown;
            if (word == "altitude")
            {
                *values = static_cast<float>(readout.altitude);
                series->ground[row] = ground;
            }
            else
                *values = readout.overTerrain ? static_cast<float>(readout.heightAboveTerrain) : NotKnown;
        }
        else if (word == "speed" || word == "climb")
        {
            const SampleRates rates = RatesAtRow(all, row);
            *values = !rates.known ? NotKnown : static_cast<float>(word == "speed" ? rates.groundSpeed : rates.climbRate);
        }
        else
        {
            *values = static_cast<float>(BankOfLogRoll(sample.pyro_curroll) * DegreesPerRadian);
            series->curves[1].values[row] = static_cast<float>(PitchOfLogPitch(sample.pyro_curpitch) * DegreesPerRadian);
        }
    }
}
} // namespace

std::vector<std::string> AvailablePlotWords(const LoadedFlight& flight)
{
    std::vector<std::string> words;
    for (const FigureSeries& figure : Figures)
        words.push_back(figure.word);
    if (!flight.wind.empty())
        words.push_back(WindWord);
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
        if (UnitOf(static_cast<ColumnKind>(kind)) && LogCarries(flight, static_cast<ColumnKind>(kind)))
            words.push_back(LogKeywords[kind]);
    return words;
}

bool MakePlotSeries(const LoadedFlight& flight, const std::string& word, PlotSeries* series)
{
    *series = PlotSeries();
    series->word = word;
    if (const FigureSeries* figure = FindFigure(word))
    {
        series->title = figure->title;
        series->unit = figure->unit;
        MakeFigureSeries(flight, *figure, series);
        return true;
    }
    if (word == WindWord)
    {
        if (flight.wind.empty())
            return false;
        series->title = "wind speed";
        series->unit = "m/s";
        series->curves.resize(1);
        for (const SampleRow& row : flight.rows)
        {
            TimedWind wind;
            series->curves[0].values.push_back(WindAt(flight.wind, row.gps_time, &wind) ? static_cast<float>(WindSpeed(wind)) : NotKnown);
        }
        return true;
    }
    const ColumnKind kind = FindColumn(word);
    if (kind == ColumnKind::None || !LogCarries(flight, kind))
        return false;
    const ColumnUnit& unit = *UnitOf(kind);
    series->title = word;
    series->unit = unit.unit;
    series->whole = ColumnFieldTable[static_cast<int32_t>(kind)].storage == StoreInt32 && unit.factor == 1.0;
    series->curves.resize(1);
    std::vector<float>& values = series->curves[0].values;
    values.reserve(flight.rows.size());
    for (const SampleRow& row : flight.rows)
        values.push_back(static_cast<float>(ColumnValue(row, kind) * unit.factor));
    return true;
}

bool ParsePlotList(const std::string& list, std::vector<std::string>* words, std::string* error)
{
    words->clear();
    size_t start = 0;
    while (start <= list.size())
    {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string word = list.substr(start, comma - start);
        if (!FindFigure(word) && word != WindWord && FindColumn(word) == ColumnKind::None)
        {
            *error = word.empty() ? "an empty name" : "'" + word + "' is no series";
            return false;
        }
        if (std::find(words->begin(), words->end(), word) != words->end())
        {
            *error = "'" + word + "' is named twice";
            return false;
        }
        words->push_back(word);
        start = comma + 1;
    }
    if (words->size() > MostPlots)
    {
        *error = "at most " + std::to_string(MostPlots) + " series";
        return false;
    }
    return true;
}

std::vector<std::string> DefaultPlotWords(const LoadedFlight& flight)
{
    std::vector<std::string> words = {"altitude", "speed", "climb"};
    words.push_back(LogCarries(flight, ColumnKind::voltage1) ? "voltage1" : "attitude");
    return words;
}
