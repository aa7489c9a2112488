#pragma once
// The log's lexical rules written a second time, plainly, as the tests' reference for the
// generated scanner: at each place the longest match wins, the lower rule on a tie. Rules
// 1 .. 41 are the keywords (each rule number is its column kind); then:
//   42 a run of blanks and tabs      43 a comma or a semicolon    44 -?digits*.digits+
//   45 -?digits+                     46 a run of CR and LF        47 a double quote
//   48 any other byte, echoed
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the reader's column bookkeeping holds after a text, as the rules say.
struct ReferenceScan
{
    std::vector<int32_t> cols; // the kinds of the first 1000 columns, 0 where no keyword stood
    int32_t highestColumn = 0;
    int32_t currentColumn = 0; // where the text ended
    std::string echoed;        // the bytes of rule 48, in order
};

// Scans the text from column 0. Each number goes to `store` with its column's kind (0 for a
// column beyond the first 1000); each run of line ends calls `endLine`. Either may be empty.
ReferenceScan ScanByTheRules(const std::string& text, const std::function<void(int32_t kind, const std::string& number)>& store = nullptr, const std::function<void()>& endLine = nullptr);
