#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

const int32_t ColumnCapacity = 1000; // column kinds remembered per line position

// ColumnKind code of each column (0: no keyword seen), set by keywords anywhere in the log.
extern int32_t cols[ColumnCapacity];
extern int32_t currentColumn; // column index of the next token; 0 after every line end
extern int32_t highestColumn; // highest column index at which a keyword was seen

// Makes the stream the scanner's input (the caller keeps ownership and closes it).
void SetScanInput(FILE* input);

// Reads the input to its end, feeding numbers and line ends to the sample table.
// Returns 0. Fatal input errors print one line on stderr and exit with status 2.
int scan();

// Whether a keyword of the log named a column of this kind (a ColumnKind code).
bool ColumnSeen(int32_t kind);

// Forgets every column kind and the column position, for callers that scan more than one
// log in one process (tests, tools). The buffered input is dropped by SetScanInput.
void ResetScanner();

// The column kinds a scan found, kept with a log that is put back in the table later, so that
// ColumnSeen answers for that log again.
struct ScannedColumns
{
    std::vector<int32_t> kinds; // cols[0 .. highestColumn]
    int32_t highest = 0;
};
ScannedColumns SaveScannedColumns();
void RestoreScannedColumns(const ScannedColumns& columns);
