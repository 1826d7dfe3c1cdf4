// Names as a disc and the database hold them (disc folders, catalog files): each input line
// is checked as a DiscId and a catalog name, and used as the newest name a next one follows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Error.h"
#include "catalog/DiscNames.h"
#include "support/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    // The first line is today (yyyymmdd) when it is a real date, else a fixed day.
    const std::size_t firstEnd = rest.find('\n');
    std::string today(rest.substr(0, firstEnd));
    if (!isDiscId(today + "001"))
        today = "20240229";
    rest.remove_prefix(firstEnd == std::string_view::npos ? rest.size() : firstEnd + 1);

    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string name(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

        const bool discId = isDiscId(name);
        const bool catalog = isCatalogName(name);
        TORVINEL_FUZZ_CHECK(!discId || name.size() == discIdLength);
        TORVINEL_FUZZ_CHECK(!catalog || name.size() >= archiveNameLength + 4);
        try {
            (void)decimalField(name);
        } catch (const Error&) {
        }

        try {
            const std::string next = nextDiscIdAfter(name, today);
            // After a real DiscId comes a higher real DiscId, whatever the clock says.
            if (discId)
                TORVINEL_FUZZ_CHECK(isDiscId(next) && next > name);
        } catch (const Error&) {
        }
        for (const char kind : {'n', 'f', 'd'}) {
            try {
                const std::string next = nextArchiveNameAfter(name.substr(0, archiveNameLength), today, 'r', kind);
                if (catalog) {
                    TORVINEL_FUZZ_CHECK(isCatalogName(next + ".csv"));
                    TORVINEL_FUZZ_CHECK(next.compare(0, 13, name, 0, 13) > 0);
                }
            } catch (const Error&) {
            }
        }
    }
    return 0;
}
