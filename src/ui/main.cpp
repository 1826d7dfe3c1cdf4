#include <cstdio>
#include <cstring>

#include "ui/Program.h"
#include "ui/TorvinelApplication.h"

namespace {

// --help and --version are answered before any window (or display) is needed.
bool answeredOnTheTerminal(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: torvinel [--help] [--version]\n"
                        "\n"
                        "Torvinel keeps your files on write-once CD and DVD discs (or disc images).\n"
                        "It opens its main window; the same work from a terminal: torvinel-cli --help\n");
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("torvinel %s\n", TORVINEL_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredOnTheTerminal(argc, argv))
        return 0;
    torvinel::ui::TorvinelApplication app(argc, argv);
    return torvinel::ui::runTorvinel();
}
