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
