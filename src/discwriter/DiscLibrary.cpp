#include "discwriter/DiscLibrary.h"

#include "app/Error.h"
#include "discwright/Discwright.h"
#include "discwriter/TextFormat.h"

namespace torvinel {

DiscLibrary::Started::Started()
{
    const DiscwrightStartUpBlock block{};
    if (const int exception = Discwright_StartUpEx(&block, sizeof block); exception != 0)
        throw Error(Format("Discwright_StartUpEx() failed, exception %d", exception));
}

DiscLibrary::Started::~Started() { Discwright_ShutDown(); }

DiscLibrary::DiscLibrary() = default;

DiscLibrary::~DiscLibrary() = default;

} // namespace torvinel
