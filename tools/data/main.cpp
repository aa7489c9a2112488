#include "DataTool.h"

int main(int argc, char** argv)
{
    return RunDataTool(argc, argv);
}
