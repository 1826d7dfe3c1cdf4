#include "app/WorkMeter.h"

#include <gtest/gtest.h>

#include "app/FiguresText.h"

namespace torvinel {
namespace {

using std::chrono::seconds;

TEST(FiguresTextTest, SizesAndDurationsReadAsPeopleWriteThem)
{
    const struct {
        int64_t bytes;
        const char* text;
    } sizes[] = {
        {0, "0 B"},           {999, "999 B"},           {1000, "1.00 kB"},      {1234, "1.23 kB"},
        {99949, "99.9 kB"},   {999499, "999 kB"},       {999999, "1.00 MB"},    {12345678, "12.3 MB"},
        {4700000000, "4.70 GB"}, {2500000000000, "2.50 TB"},
    };
    for (const auto& c : sizes)
        EXPECT_EQ(bytesText(c.bytes), c.text) << c.bytes;
    const struct {
        long long seconds;
        const char* text;
    } durations[] = {{-3, "0:00"}, {5, "0:05"}, {65, "1:05"}, {3599, "59:59"}, {3725, "1:02:05"}, {360000, "100:00:00"}};
    for (const auto& c : durations)
        EXPECT_EQ(durationText(seconds(c.seconds)), c.text) << c.seconds;
    EXPECT_EQ(filesText(1), "1 file");
    EXPECT_EQ(filesText(0), "0 files");
}

struct FakeClock {
    std::chrono::steady_clock::time_point now{};
    WorkMeter::Clock clock()
    {
        return [this] { return now; };
    }
};

// No time left is promised before there is a rate to go by: neither in the first seconds nor
// before the first hundredth of the work; then it follows the rate so far.
TEST(WorkMeterTest, TimeLeftComesOnlyWithASensibleRate)
{
    FakeClock time;
    WorkMeter meter(time.clock());
    meter.start();
    meter.bytesTotal = 1000000;
    meter.filesTotal = 4;

    meter.bytesDone = 500000; // half done at once: a first buffer, not a rate
    time.now += seconds(2);
    EXPECT_FALSE(meter.rate());
    EXPECT_FALSE(meter.left());
    EXPECT_EQ(meter.timeText(), "0:02 elapsed");

    meter.bytesDone = 9999; // long enough, but less than a hundredth done
    time.now += seconds(8);
    EXPECT_FALSE(meter.left());

    meter.bytesDone = 250000;
    meter.filesDone = 1;
    EXPECT_DOUBLE_EQ(*meter.rate(), 25000.0);
    EXPECT_EQ(*meter.left(), seconds(30));
    EXPECT_EQ(meter.timeText(), "0:10 elapsed · 25.0 kB/s · about 0:30 left");
    EXPECT_EQ(meter.figuresText("Restored"), "Restored: 25% · 250 kB of 1.00 MB · 1 of 4 files");
    EXPECT_EQ(meter.bar(), 250);

    // start() begins a new count from the clock's present.
    meter.start();
    EXPECT_EQ(meter.elapsed(), seconds(0));
    EXPECT_EQ(meter.bytesDone, 0);
}

TEST(WorkMeterTest, TheBarStaysWithinItsRange)
{
    WorkMeter meter;
    meter.start();
    EXPECT_EQ(meter.bar(), 1000); // nothing to do is all done
    meter.bytesTotal = 100;
    meter.bytesDone = 150; // a file grew since it was counted
    EXPECT_EQ(meter.bar(), 1000);
    EXPECT_EQ(meter.percent(), 100);
    meter.bytesDone = -5;
    EXPECT_EQ(meter.bar(), 0);
    meter.bytesDone = 1;
    EXPECT_EQ(meter.figuresText("Restored"), "Restored: 1% · 1 B of 100 B"); // no files counted: none shown
}

} // namespace
} // namespace torvinel
