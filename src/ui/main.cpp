#include "ui/Program.h"
#include "ui/TorvinelApplication.h"

int main(int argc, char** argv)
{
    torvinel::ui::TorvinelApplication app(argc, argv);
    return torvinel::ui::runTorvinel();
}
