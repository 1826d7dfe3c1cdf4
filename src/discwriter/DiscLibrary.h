#pragma once
#include "discwriter/DiscLibraryEvents.h"
#include "discwriter/DriveFinder.h"
#include "discwriter/DriveList.h"
#include "discwriter/LibraryTrace.h"

namespace torvinel {

// What the program keeps of the disc library's wrapper for its whole run: the trace logger
// and the notice relay (made before the main window), and the drive finder whose list the
// burn sessions read at the WriterChooser index.
struct DiscLibrary {
    LibraryTrace logger;
    DiscLibraryEvents eventer;
    DriveFinder finder{logger, eventer};

    const DriveList& devices() const { return finder.DeviceList(); }
};

} // namespace torvinel
