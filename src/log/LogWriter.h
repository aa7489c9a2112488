#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/LogKeywords.h"
#include "log/SampleRow.h"

// One column of a log the project writes: what it holds, and for a decimal field how many
// digits follow the full stop (integer fields ignore it).
struct LogColumn
{
    ColumnKind kind;
    int32_t decimals;
};

// Every column the reader knows, in the order of their codes, each with the decimals that
// keep its quantity to about what a sensor resolves (positions to a few millimetres, angles
// to a tenth of a milliradian): the columns of a log that holds everything.
const std::vector<LogColumn>& EveryLogColumn();

// The keyword line: the columns' keywords, comma separated, ending in "\n".
std::string LogHeaderLine(const std::vector<LogColumn>& columns);

// Appends the row's fields of those columns as one log line: comma separated, integers as
// they are, decimals in fixed point with the column's digits (the reader takes neither an
// exponent nor a plus sign), ending in "\n". Values are printed as they stand: -0.0 prints
// as "-0.0000" and reads back as 0.
void AppendLogLine(std::string* text, const SampleRow& row, const std::vector<LogColumn>& columns);
