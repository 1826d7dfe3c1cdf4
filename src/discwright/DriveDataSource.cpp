#include "discwright/internal/DriveDataSource.h"

#include "discwright/Drive.h"

#include <cstdlib>

namespace torvinel {

namespace {

int openSource(IsoDataSource*) { return ISO_SUCCESS; }

int closeSource(IsoDataSource*) { return ISO_SUCCESS; }

int readBlock(IsoDataSource* src, uint32_t lba, uint8_t* buffer)
{
    try {
        static_cast<Drive*>(src->data)->readBlock(lba, buffer);
        return ISO_SUCCESS;
    } catch (const std::exception&) {
        return ISO_DATA_SOURCE_FAILURE;
    }
}

void freeData(IsoDataSource*) { }

} // namespace

IsoDataSource* newDriveDataSource(Drive& drive)
{
    // libisofs frees the record with free() when the last reference goes.
    auto* src = static_cast<IsoDataSource*>(calloc(1, sizeof(IsoDataSource)));
    src->version = 0;
    src->refcount = 1;
    src->open = openSource;
    src->close = closeSource;
    src->read_block = readBlock;
    src->free_data = freeData;
    src->data = &drive;
    return src;
}

} // namespace torvinel
