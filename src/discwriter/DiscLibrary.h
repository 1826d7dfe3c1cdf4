#pragma once
#include "discwriter/DriveFinder.h"
#include "discwriter/DriveList.h"
#include "discwriter/LibraryTrace.h"

namespace torvinel {

// What the program keeps of the disc library's wrapper for its whole run: the trace logger
// (made before the main window) and the drive finder whose list the
// burn sessions read at the DeviceChooser index.
struct DiscLibrary {
    LibraryTrace logger;
    DriveFinder finder{logger};

    const DriveList& devices() const { return finder.DeviceList(); }
};

} // namespace torvinel
