#pragma once
// The framework's tests run against two implementations of the Win32 calls:
// our platform layer (headless backend) on Linux, and a real Win32 (wine in
// `make test`) through tests/windows/win32_driver.cpp. A test, or a part of
// one, that holds only for our layer says so, and why, with this macro: on a
// real Win32 the test is skipped there with the reason, on our layer it runs.
//
// Reasons are of four kinds, each stated in the reason text:
//   - "driver": the check needs what only our layer offers tests (a virtual
//     clock, a list of timers, a count of presents, injected failures);
//   - "departure": our platform departs from Win32 on purpose;
//   - "wine": wine departs from documented Win32 behaviour here, or Win32
//     documents the case too loosely to decide;
//   - "Win32 ...": the documented Win32 behaviour, which our layer does not
//     follow yet; the test states what our layer does today.

#include <gtest/gtest.h>

#if defined(_WIN32)
#define PX_OUR_PLATFORM_ONLY(reason) GTEST_SKIP() << "our platform layer only (" << reason << ")"
#else
#define PX_OUR_PLATFORM_ONLY(reason) static_cast<void>(reason)
#endif
