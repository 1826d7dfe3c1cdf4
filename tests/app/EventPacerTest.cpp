#include "app/EventPacer.h"

#include <gtest/gtest.h>

namespace torvinel {
namespace {

TEST(EventPacerTest, LetsEventsRunOncePerInterval)
{
    EventPacer hourly(std::chrono::hours(1));
    EXPECT_TRUE(hourly.due()); // the first report is shown at once
    EXPECT_FALSE(hourly.due());
    EXPECT_FALSE(hourly.due());

    EventPacer always(std::chrono::nanoseconds(0));
    EXPECT_TRUE(always.due());
    EXPECT_TRUE(always.due());
}

} // namespace
} // namespace torvinel
