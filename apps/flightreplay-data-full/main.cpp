// The full data tool, which flightreplay-data hands the commands to that need GDAL, the
// scene graph or cairo (datatool/DataTool.h). It runs every command.
#include "datatool/DataTool.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    return RunDataTool(argc, argv);
}
