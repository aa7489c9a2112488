#include "app/Driver.h"

int main(int argc, char** argv)
{
    return RunFlightReplay(argc, argv);
}
