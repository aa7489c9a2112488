// What a local test server serves in place of the default elevation source, for the
// end-to-end test of ./run on a flight file:
//
//   served_test_sources squares DIR LAT LON  the 3 x 3 squares of ServedElevation around
//                                            LAT, LON (degrees) under DIR, as Cloud-Optimised
//                                            GeoTIFFs in the default source's layout
//   served_test_sources heights              for each line "LAT,LON" on stdin, the served
//                                            elevation there, in metres, one a line
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/ServedElevation.h"

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], "squares") == 0)
    {
        const int latitude = static_cast<int>(std::floor(atof(argv[3]))), longitude = static_cast<int>(std::floor(atof(argv[4])));
        for (int south = latitude - 1; south <= latitude + 1; ++south)
            for (int west = longitude - 1; west <= longitude + 1; ++west)
                if (!WriteServedElevationSquare(argv[2], south, west))
                    return 1;
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "heights") == 0)
    {
        double latitude, longitude;
        while (scanf("%lf,%lf", &latitude, &longitude) == 2)
            printf("%.2f\n", ServedElevation(latitude, longitude));
        return 0;
    }
    fprintf(stderr, "usage: %s squares DIR LAT LON | heights\n", argv[0]);
    return 2;
}
