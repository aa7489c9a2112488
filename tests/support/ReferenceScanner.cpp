#include "support/ReferenceScanner.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "log/LogKeywords.h"
#include "log/LogScanner.h"

namespace
{

// The length of the run of `bytes` from p on.
size_t RunOf(const std::string& text, size_t p, const std::string& bytes)
{
    return std::min(text.find_first_not_of(bytes, p), text.size()) - p;
}

// The rule that matches at p and the length of its match.
std::pair<int, size_t> LongestMatch(const std::string& text, size_t p)
{
    int bestRule = 0;
    size_t bestLength = 0;
    // Offered in rule order: only a strictly longer match displaces an earlier rule.
    auto offer = [&](int rule, size_t length) {
        if (length > bestLength)
        {
            bestRule = rule;
            bestLength = length;
        }
    };
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
    {
        const size_t n = strlen(LogKeywords[kind]);
        if (text.compare(p, n, LogKeywords[kind]) == 0)
            offer(kind, n);
    }
    offer(42, RunOf(text, p, " \t"));
    offer(43, text[p] == ',' || text[p] == ';' ? 1 : 0);
    const size_t sign = text[p] == '-' ? 1 : 0;
    const size_t whole = RunOf(text, p + sign, "0123456789");
    const size_t fraction = p + sign + whole < text.size() && text[p + sign + whole] == '.' ? RunOf(text, p + sign + whole + 1, "0123456789") : 0;
    offer(44, fraction > 0 ? sign + whole + 1 + fraction : 0);
    offer(45, whole > 0 ? sign + whole : 0);
    offer(46, RunOf(text, p, "\r\n"));
    offer(47, text[p] == '"' ? 1 : 0);
    offer(48, 1);
    return {bestRule, bestLength};
}

} // namespace

ReferenceScan ScanByTheRules(const std::string& text, const std::function<void(int32_t kind, const std::string& number)>& store, const std::function<void()>& endLine)
{
    ReferenceScan scan;
    scan.cols.assign(ColumnCapacity, 0);
    int32_t& column = scan.currentColumn;
    for (size_t p = 0; p < text.size();)
    {
        const std::pair<int, size_t> match = LongestMatch(text, p);
        const int rule = match.first;
        if (rule < ColumnKindCount)
        {
            if (column < ColumnCapacity)
            {
                scan.cols[column] = rule;
                scan.highestColumn = std::max(scan.highestColumn, column);
            }
        }
        else if (rule == 42 || rule == 43)
        {
            if (column < ColumnCapacity)
                ++column;
        }
        else if (rule == 44 || rule == 45)
        {
            if (store)
                store(column < ColumnCapacity ? scan.cols[column] : 0, text.substr(p, match.second));
        }
        else if (rule == 46)
        {
            column = 0;
            if (endLine)
                endLine();
        }
        else if (rule == 48)
        {
            scan.echoed += text[p];
        }
        p += match.second;
    }
    return scan;
}
