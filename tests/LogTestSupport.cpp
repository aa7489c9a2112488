#include "LogTestSupport.h"

#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include "log/LogScanner.h"
#include "log/SampleTable.h"

const char* const LogKeywords[41] = {
    "samplenumber", "flightnumber", "gps_date", "gps_time", "gps_numsatellites", "gps_fixmode", "ap_status",
    "gps_startlat", "gps_startlon", "gps_startalt", "gps_curlat", "gps_curlon", "gps_curalt", "gps_curspeed",
    "gps_curheading", "compass_curheading", "bearing_to_base", "turn_rate", "voltage1", "voltage2", "voltage3",
    "current", "mah", "temperature", "baro_curspeed", "baro_curalt", "pyro_curroll", "pyro_curpitch",
    "pyro_targetroll", "pyro_targetpitch", "targetthrottle", "in_ppm_curwidth[0]", "in_ppm_curwidth[1]",
    "in_ppm_curwidth[2]", "in_ppm_curwidth[3]", "in_ppm_curwidth[4]", "out_ppm_curwidth[0]",
    "out_ppm_curwidth[1]", "out_ppm_curwidth[2]", "out_ppm_curwidth[3]", "controlbyte"};

void ResetLogReader()
{
    ResetScanner();
    ResetSampleTable();
    RangeList.entries[0] = SampleRange{0, 100000};
    RangeList.count = 1;
    currentColumn = 0;
}

std::string ScanCapturingEcho(const std::string& text, int* result)
{
    std::string data = text;
    FILE* input = fmemopen(data.data(), data.size(), "r");
    EXPECT_NE(input, nullptr);
    FILE* capture = tmpfile();
    EXPECT_NE(capture, nullptr);
    if (!input || !capture)
        return std::string();

    fflush(stdout);
    const int savedStdout = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    currentColumn = 0;
    SetScanInput(input);
    const int scanned = scan();
    fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    fclose(input);
    if (result)
        *result = scanned;

    std::string echoed;
    rewind(capture);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, capture)) > 0)
        echoed.append(buffer, n);
    fclose(capture);
    return echoed;
}
