// torvinel-cli for the crash tests: it stops dead inside the filing of the disc numbered
// TORVINEL_TEST_HALT_FILING (counting from 1 the discs this process files), with every file of
// that disc in its temporary folder and nothing renamed yet. First it writes that folder's path
// into the file TORVINEL_TEST_HALT_MARKER, so the test knows the moment has come and kills it
// there as a power cut would.
#include <QCoreApplication>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalog/DiscFiling.h"
#include "cli/Commands.h"

namespace {

int haltAt = 0;
int filed = 0;

void haltWhenDue(const torvinel::DiscFiling& filing)
{
    if (++filed != haltAt)
        return;
    const char* marker = std::getenv("TORVINEL_TEST_HALT_MARKER");
    const std::string part = std::string(marker ? marker : "halted") + ".part";
    if (std::FILE* out = std::fopen(part.c_str(), "wb")) {
        std::fputs(filing.folder().c_str(), out);
        std::fclose(out);
        std::rename(part.c_str(), marker ? marker : "halted"); // whole, or not there at all
    }
    for (;;)
        pause();
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* at = std::getenv("TORVINEL_TEST_HALT_FILING"))
        haltAt = std::atoi(at);
    torvinel::DiscFiling::setBeforeRename(haltWhenDue);
    QCoreApplication qt(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return torvinel::cli::run(args);
}
