// The run statistics and the millisecond clock's arithmetic.

#include <gtest/gtest.h>

#include <sstream>

#include "app/clock.h"
#include "app/statistics.h"

namespace {

std::string statistics(std::int32_t frames, double start, double end) {
    std::ostringstream out;
    writeRunStatistics(out, frames, start, end);
    return out.str();
}

TEST(RunStatistics, ThreeAlignedLinesWithSixSignificantDigits) {
    EXPECT_EQ(statistics(30, 1000, 1500), "Completed: 30\nMS/frame:  16.6667\nfps:       60\n");
    EXPECT_EQ(statistics(10, 0, 160), "Completed: 10\nMS/frame:  16\nfps:       62.5\n");
}

TEST(RunStatistics, NoFrameIsWrittenAsTheStreamWritesInfinity) {
    EXPECT_EQ(statistics(0, 0, 100), "Completed: 0\nMS/frame:  inf\nfps:       0\n");
}

TEST(RunStatistics, AStreamThatRefusesTheLinesIsReported) {
    // A buffer that takes nothing, as standard output on a full disk.
    struct Refusing : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } refusing;
    std::ostream out(&refusing);
    EXPECT_FALSE(writeRunStatistics(out, 30, 1000, 1500));
    std::ostringstream fine;
    EXPECT_TRUE(writeRunStatistics(fine, 30, 1000, 1500));
}

TEST(Clock, ConvertsCountsAtFullResolution) {
    EXPECT_DOUBLE_EQ(countsToMilliseconds(1'500'000'000, 1'000'000'000), 1500.0);
    EXPECT_DOUBLE_EQ(countsToMilliseconds(1, 1'000'000'000), 1e-6);
    EXPECT_DOUBLE_EQ(countsToMilliseconds(12345, 10'000'000), 1.2345);
}

TEST(Clock, DoesNotOverflowPastOneHundredAndSixDaysOfNanoseconds) {
    // 2^63 / 1000 counts and beyond: multiplying by 1000 first would overflow.
    const std::int64_t late = INT64_MAX - 5;
    const double ms = countsToMilliseconds(late, 1'000'000'000);
    EXPECT_NEAR(ms, 9223372036854.775, 1e-2);
    // Differences keep microsecond resolution far into the counter's range.
    const double a = countsToMilliseconds(10'000'000'000'000'000, 1'000'000'000);
    const double b = countsToMilliseconds(10'000'000'000'001'000, 1'000'000'000);
    EXPECT_NEAR(b - a, 0.001, 1e-4);
}

TEST(Clock, ReadingsGrow) {
    const double a = millisecondsNow();
    const double b = millisecondsNow();
    EXPECT_LE(a, b);
}

}  // namespace
