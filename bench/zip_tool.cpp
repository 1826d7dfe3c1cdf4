// A tiny driver for whole-process benchmarks of the archive engine:
//   zip_tool pack ARCHIVE FOLDER [--no-flush]
//                                     packs everything below FOLDER in one add (level 6,
//                                     the engine's default stored extensions); --no-flush
//                                     skips the flush to the device, as peer tools do
//   zip_tool extract ARCHIVE FOLDER   extracts every entry into FOLDER
// Exit status 0 on success; the engine's message on standard error otherwise.
#include <cstdio>
#include <cstring>
#include <exception>

#include "archive/ZipArchive.h"

int main(int argc, char** argv)
{
    const bool noFlush = argc == 5 && std::strcmp(argv[4], "--no-flush") == 0;
    if ((argc != 4 && !noFlush) || (std::strcmp(argv[1], "pack") != 0 && std::strcmp(argv[1], "extract") != 0)) {
        std::fprintf(stderr, "usage: zip_tool pack|extract ARCHIVE FOLDER [--no-flush]\n");
        return 2;
    }
    try {
        torvinel::ZipArchive zip;
        zip.fileName = argv[2];
        zip.baseDir = argv[3];
        zip.options.flushBuffers = !noFlush;
        if (std::strcmp(argv[1], "pack") == 0) {
            zip.open(torvinel::ZipOpenMode::Create);
            zip.addFiles("*", torvinel::ZipAllAttributes, "");
        } else {
            zip.open();
            zip.extractFiles("*.*", torvinel::ZipAllAttributes, "");
        }
        zip.close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
