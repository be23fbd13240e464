#pragma once
// The program's millisecond clock.

#include <cstdint>

// The platform's high-resolution counter in milliseconds. Its origin means
// nothing; only differences of two readings do. The counter's frequency is read
// once, on the first call.
double millisecondsNow();

// counter x 1000 / frequency, in double precision, at the counter's full
// resolution and without the 64-bit overflow of multiplying first (which a
// nanosecond counter reaches after about 106 days of uptime).
double countsToMilliseconds(std::int64_t counter, std::int64_t frequency);
