#include "archive/ZipPreparedFile.h"

#include "archive/internal/WholeDeflater.h"

namespace torvinel {

ZipPreparedFile::ZipPreparedFile() = default;
ZipPreparedFile::~ZipPreparedFile() = default;

} // namespace torvinel
