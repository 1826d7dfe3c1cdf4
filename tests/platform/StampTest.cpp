#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <limits>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

// Runs the tests in a zone far from UTC with daylight saving, so that local time is
// really local; the zone of the machine is put back afterwards.
class Stamps : public testing::Test {
protected:
    void SetUp() override
    {
        if (const char* zone = std::getenv("TZ"))
            m_oldZone = zone;
        setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_oldZone)
            setenv("TZ", m_oldZone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void setModified(const std::string& path, std::time_t seconds, long nanoseconds)
    {
        const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    static std::string text(const std::optional<Stamp>& s)
    {
        if (!s)
            return "none";
        char out[40];
        std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", s->year, s->month, s->day, s->hour, s->minute,
                      s->second);
        return out;
    }
    torvinel::test::TempDir m_scratch;
    std::optional<std::string> m_oldZone;
};

TEST_F(Stamps, AreLocalTimeWithEvenSecondsClampedTo1980Through2107)
{
    const std::string file = m_scratch.write("file");
    struct Case {
        std::time_t seconds;
        long nanoseconds;
        const char* expected;
    };
    const Case cases[] = {
        {1'780'000'001, 999'999'999, "2026-05-28 16:26:40"}, // odd second rounds down (EDT, UTC-4)
        {1'780'000'000, 0, "2026-05-28 16:26:40"},
        {1'767'225'600, 0, "2025-12-31 19:00:00"},  // EST, UTC-5
        {0, 0, "1980-01-01 00:00:00"},              // 1970 (1969 here) is clamped up
        {-1'000'000'000, 0, "1980-01-01 00:00:00"}, // before 1970
        {315'550'799, 0, "1980-01-01 00:00:00"},    // one second before 1980 local
        {315'550'800, 0, "1980-01-01 00:00:00"},    // 1980 itself
        {4'354'837'199, 0, "2107-12-31 23:59:58"},  // the last second of 2107 local
        {4'354'837'200, 0, "2107-12-31 23:59:58"},  // the first of 2108 is clamped
        {7'258'118'400, 0, "2107-12-31 23:59:58"},  // 2200 is clamped down
        {std::numeric_limits<std::time_t>::max(), 0, "2107-12-31 23:59:58"},
    };
    for (const Case& c : cases) {
        setModified(file, c.seconds, c.nanoseconds);
        EXPECT_EQ(text(lastWriteStamp(file)), c.expected) << "mtime " << c.seconds;
    }
    EXPECT_EQ(text(lastWriteStamp(m_scratch.path("missing"))), "none");
}

TEST_F(Stamps, SetLastWriteStampRoundTrips)
{
    const std::string file = m_scratch.write("file");
    for (const Stamp& stamp : {Stamp{2026, 7, 14, 9, 30, 12}, Stamp{2026, 1, 2, 23, 59, 58}, Stamp{1980, 1, 1, 0, 0, 0},
                               Stamp{2107, 12, 31, 23, 59, 58}}) {
        ASSERT_TRUE(setLastWriteStamp(file, stamp));
        EXPECT_EQ(text(lastWriteStamp(file)), text(stamp));
    }
    EXPECT_FALSE(setLastWriteStamp(m_scratch.path("missing"), Stamp{}));
    EXPECT_FALSE(setLastWriteStamp(file, Stamp{2026, 13, 1, 0, 0, 0}));
}

TEST_F(Stamps, LocalTimeKeepsOddSeconds) { EXPECT_EQ(text(localTime(1'780'000'001)), "2026-05-28 16:26:41"); }

} // namespace
