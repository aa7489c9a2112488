#include "DataToolSupport.h"

#include <sys/stat.h>

int DataToolFixture::RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err)
{
    const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", arguments, {}, 120);
    if (out)
        *out = result.out;
    if (err)
        *err = result.err;
    return result.status;
}

bool DataToolFixture::Exists(const std::string& name)
{
    struct stat status;
    return stat(name.c_str(), &status) == 0;
}
