#pragma once
// libisofs without libburn's header: libisofs then defines the burn_source record itself
// (libburn's C++ declarations live in namespace burn; OpticalDrive converts between them).
#include <stdint.h>
#include <sys/types.h>
#ifndef LIBISOFS_WITHOUT_LIBBURN
#define LIBISOFS_WITHOUT_LIBBURN
#endif
#include <libisofs/libisofs.h>

namespace torvinel {

// Starts libisofs once per process (reading and writing images both need it).
void ensureIsoLibrary();

} // namespace torvinel
