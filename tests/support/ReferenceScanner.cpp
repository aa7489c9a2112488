#include "support/ReferenceScanner.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "log/LogKeywords.h"
#include "log/LogScanner.h"

namespace
{

bool IsDigit(const std::string& text, size_t p)
{
    return p < text.size() && text[p] >= '0' && text[p] <= '9';
}

// The length of the run of `bytes` at p (memchr, since a NUL in the text is no member).
size_t RunOf(const std::string& text, size_t p, const char* bytes)
{
    size_t n = 0;
    while (p + n < text.size() && memchr(bytes, static_cast<unsigned char>(text[p + n]), strlen(bytes)))
        ++n;
    return n;
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
    const size_t start = p + (text[p] == '-' ? 1 : 0);
    size_t digits = start;
    while (IsDigit(text, digits))
        ++digits;
    if (digits < text.size() && text[digits] == '.' && IsDigit(text, digits + 1))
    {
        size_t end = digits + 1;
        while (IsDigit(text, end))
            ++end;
        offer(44, end - p);
    }
    offer(45, digits > start ? digits - p : 0);
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
