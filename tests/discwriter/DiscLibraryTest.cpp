#include <gtest/gtest.h>

#include "app/Error.h"
#include "discwright/Discwright.h"
#include "discwriter/DiscLibrary.h"

namespace torvinel::test {

// Start-up and shut-down are paired by the object: a refused start-up owes no shut-down, and
// the library is down once the object is gone.
TEST(DiscLibrary, ShutsDownWhatItStartedAndNothingElse)
{
    const bool startedByOthers = Discwright_IsStarted();
    if (startedByOthers) {
        ASSERT_EQ(Discwright_ShutDown(), 0);
    }
    {
        DiscLibrary library;
        EXPECT_TRUE(Discwright_IsStarted());
        try {
            DiscLibrary second;
            ADD_FAILURE() << "a second start-up was accepted";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "Discwright_StartUpEx() failed, exception 3");
        }
        EXPECT_TRUE(Discwright_IsStarted());
    }
    EXPECT_FALSE(Discwright_IsStarted());
    if (startedByOthers) {
        const DiscwrightStartUpBlock block{};
        ASSERT_EQ(Discwright_StartUpEx(&block, sizeof block), 0);
    }
}

} // namespace torvinel::test
