#pragma once
#include "discwright/internal/IsoHeaders.h"

namespace torvinel {

class Drive;

// A libisofs data source that reads the blocks of the disc in a drive (for importing a
// session and for verifying one). Release it with iso_data_source_unref.
IsoDataSource* newDriveDataSource(Drive& drive);

} // namespace torvinel
