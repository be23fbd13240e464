#include "app/statistics.h"

bool writeRunStatistics(std::ostream& out, std::int32_t frames, double startMs, double endMs) {
    // Both numbers are worked out before the first line is written.
    const double msPerFrame = (endMs - startMs) / static_cast<double>(frames);
    const double fps = 1000.0 / msPerFrame;
    out << "Completed: " << frames << std::endl;
    out << "MS/frame:  " << msPerFrame << std::endl;
    out << "fps:       " << fps << std::endl;
    return static_cast<bool>(out);
}
