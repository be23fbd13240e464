#pragma once
// The run statistics printed when the program ends.

#include <cstdint>
#include <ostream>

// Writes the three lines "Completed: " frames, "MS/frame:  " mean milliseconds
// per frame and "fps:       " frames per second, each flushed, numbers as the
// stream writes them by default (6 significant digits). With no frame at all
// the mean is infinite (or not a number when no time passed) and is written so.
// Returns false when the stream did not take all three lines (a full disk, a
// closed standard output), with errno as the failed write left it.
bool writeRunStatistics(std::ostream& out, std::int32_t frames, double startMs, double endMs);
