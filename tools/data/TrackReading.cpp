#include "TrackReading.h"

#include <algorithm>
#include <fstream>

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void SkippedPoints::Skip(const std::string& reason, size_t line)
{
    for (Reason& known : reasons)
        if (known.text == reason)
        {
            ++known.count;
            return;
        }
    reasons.push_back({reason, 1, line});
}

size_t SkippedPoints::Total() const
{
    size_t total = 0;
    for (const Reason& reason : reasons)
        total += reason.count;
    return total;
}

void SkippedPoints::Report(RecordedFlight* flight) const
{
    for (const Reason& reason : reasons)
        flight->skippedPoints.emplace_back(reason.text + " (" + (reason.count > 1 ? "the first " : "") + "on line " + std::to_string(reason.firstLine) + ")", reason.count);
}

size_t LineInFile(const std::string& path, size_t offset)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    size_t line = 1;
    char block[65536];
    while (offset > 0 && file)
    {
        file.read(block, static_cast<std::streamsize>(std::min(offset, sizeof block)));
        const size_t got = static_cast<size_t>(file.gcount());
        line += static_cast<size_t>(std::count(block, block + got, '\n'));
        offset -= std::min(offset, got);
        if (got == 0)
            break;
    }
    return line;
}
