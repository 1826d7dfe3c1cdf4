#include <QCoreApplication>
#include <string>
#include <vector>

#include "cli/Commands.h"

int main(int argc, char** argv)
{
    // The power guard talks to the system bus through Qt; long runs pump its events
    // whenever they update their progress.
    QCoreApplication qt(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return torvinel::cli::run(args);
}
