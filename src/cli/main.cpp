#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return torvinel::cli::run(args);
}
