// The floor of a conversion's whole process: a program that only reads the file whole into
// memory and ends, as `flightreplay-data track` must at the least. The benchmark compares
// the two processes' CPU time, start-up and libraries included.
#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return file.bad() || bytes.str().empty() ? 1 : 0;
}
