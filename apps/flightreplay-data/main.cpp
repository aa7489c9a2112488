// flightreplay-data: flight files to logs, the check of a flight, and the files of a
// replay's world. The commands that need neither GDAL, the scene graph nor cairo run here;
// the others are handed to the full tool (datatool/DataTool.h).
#include "datatool/DataTool.h"

int main(int argc, char** argv)
{
    return RunLightDataTool(argc, argv);
}
