#pragma once
// Shared by the log reader's tests: the keywords, a reader as a fresh process has it, and
// a scan of an in-memory log with the scanner's echo captured.
#include <string>

#include "log/LogKeywords.h"

// Scanner, sample table, range list (the default 0-100000) and current column as at start.
void ResetLogReader();

// Scans the text as a whole log from column 0 and returns what the scanner echoed on
// stdout; the scanner's own result goes to *result when asked for.
std::string ScanCapturingEcho(const std::string& text, int* result = nullptr);
