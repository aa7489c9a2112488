#include "datatool/DataTool.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    return RunDataTool(argc, argv);
}
