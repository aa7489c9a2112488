#include "app/Driver.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    return RunFlightReplay(argc, argv);
}
