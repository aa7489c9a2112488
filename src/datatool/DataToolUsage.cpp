#include "datatool/DataTool.h"

void PrintDataToolUsage(const char* program, FILE* stream)
{
    fprintf(stream,
            "usage: %s plan LOG [--samples LIST]\n"
            "       %s dem SOURCE... (--log LOG [--samples LIST] | --bbox S,W,N,E)\n"
            "       %s imagery SOURCE [--tms] (--log LOG [--samples LIST] | --bbox S,W,N,E)\n"
            "       %s fetch (LOG | FLIGHT | --area S,W,N,E | --area FLIGHT [FLIGHT...]) [--offline] [--dry-run] [--max-tiles N] [--json]\n"
            "       %s world FLIGHT [FLIGHT...] [--out DIR] [--offline] [--max-tiles N] [--dem RASTER]... [--imagery SOURCE]... [--json] [--skip-existing]\n"
            "       %s track INPUT [--out FILE] [--rate HZ] [--info] [--events FILE | --no-events] [--json] [--skip-existing]  (the log on stdout without --out)\n"
            "       %s check LOG [--samples LIST] [--max-speed M/S] [--csv FILE] [--plot FILE.png] [--json] [--skip-existing]\n"
            "       %s --help\n",
            program, program, program, program, program, program, program, program);
}
