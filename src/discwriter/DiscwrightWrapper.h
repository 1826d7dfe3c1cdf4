#pragma once
#include "discwriter/TdwCallBackEventer.h"
#include "discwriter/TdwDeviceFinder.h"
#include "discwriter/TdwDeviceList.h"
#include "discwriter/TdwLogger.h"

namespace torvinel {

// What the program keeps of the disc library's wrapper for its whole run: the trace logger
// and the notice relay (made before the main window), and the drive finder whose list the
// burn sessions read at the DeviceChooser index.
struct DiscwrightWrapper {
    TdwLogger logger;
    TdwCallBackEventer eventer;
    TdwDeviceFinder finder{logger, eventer};

    const TdwDeviceList& devices() const { return finder.DeviceList(); }
};

} // namespace torvinel
