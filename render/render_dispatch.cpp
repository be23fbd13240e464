// The choice of SIMD target at run time: the renderer of render_simd.cpp is
// compiled once per instruction set, and frames go to the best one this CPU
// runs (or the one a test or benchmark asks for).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/render_dispatch.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "render/flat_scene.h"
#include "render/render_dispatch.h"

// The entry of each target's renderer, defined in render_simd.cpp; declared
// once per target here, between the same markers, so that each declaration
// carries its target's instruction set.
HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
void RenderFlat(const FlatScene& flat, const ImageRows& image);
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
// Highway compiles by default only the targets at least as good as the one
// the compiler's flags already allow. Where that one is not the portable
// fallback (WebAssembly, built with SIMD128 throughout), HWY_CHOOSE_FALLBACK
// gives the best target's code, and "scalar" below would be that code under
// another name: the frame tests would hold one renderer to the tracer twice.
#if (HWY_TARGETS & (HWY_EMU128 | HWY_SCALAR)) == 0
#error "Highway's portable target is not compiled (HWY_COMPILE_ALL_ATTAINABLE, render/CMakeLists.txt)"
#endif

#if HWY_ARCH_X86
#include <cpuid.h>
#elif HWY_ARCH_ARM_A64 && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// Highway's own checks, active in sanitizer builds, report through hwy::Abort,
// which lives in its shared library. That library is not linked (see below),
// so the report is made here.
namespace hwy {
HWY_NORETURN void Abort(const char* file, int line, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "Highway check failed at %s:%d: ", file, line);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}
}  // namespace hwy

namespace glintworks {
namespace {

using RenderFunction = void (*)(const FlatScene&, const ImageRows&);

#if HWY_ARCH_X86
// The dispatch is done here rather than with Highway's HWY_EXPORT, so that only
// Highway's headers are used: its shared library probes the CPU's timer when
// it is loaded, with an instruction that valgrind cannot run, and programs
// built on this renderer are checked under valgrind. So the lists of CPU
// features below are ours, not Highway's: each is the set that Highway
// compiles its target with (HWY_TARGET_STR, as of Highway 1.0.3), and a
// newer Highway may ask for more. The frame tests hold the targets they
// accept to hwy::SupportedTargets() in a program that links Highway's
// library. libgcc's check also asks the OS whether it saves the wide
// registers.
//
// f16c is asked of CPUID itself (leaf 1, ECX bit 29): clang's
// __builtin_cpu_supports does not know it.
bool runsF16c() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & (1u << 29)) != 0;
}
bool runsSsse3() { return __builtin_cpu_supports("ssse3"); }
bool runsSse4() {
    return runsSsse3() && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
}
bool runsAvx2() {
    return runsSse4() && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") &&
           runsF16c();
}
bool runsAvx3() {
    return runsAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
}
#endif  // HWY_ARCH_X86

#if HWY_ARCH_ARM_A64
// NEON is compiled for Advanced SIMD alone, without the crypto extension that
// Highway 1.0.3 asks for (render/hwy-arm/hwy/ops/set_macros-inl.h), so
// Advanced SIMD is all that is asked of the CPU: the Linux kernel reports it
// in the auxiliary vector. Every 64-bit ARM CPU that Debian runs on has it,
// but the kernel is asked rather than assumed.
bool runsNeon() {
#if defined(__linux__)
    return (getauxval(AT_HWCAP) & HWCAP_ASIMD) != 0;
#else
    return false;
#endif
}

// SVE and SVE2 likewise. Highway 1.0.3 compiles its SVE2 targets with SVE2's
// AES and polynomial multiply ("+sve2-aes"), which the renderer does not use,
// so only SVE2 itself is asked for; a test holds the SVE2 objects free of
// those instructions, as it does the NEON objects of the crypto extension.
bool runsSve() {
#if defined(__linux__) && defined(HWCAP_SVE)
    return (getauxval(AT_HWCAP) & HWCAP_SVE) != 0;
#else
    return false;
#endif
}
bool runsSve2() {
#if defined(__linux__) && defined(HWCAP2_SVE2)
    return runsSve() && (getauxval(AT_HWCAP2) & HWCAP2_SVE2) != 0;
#else
    return false;
#endif
}

// Highway's SVE targets of one vector length (SVE_256, SVE2_128) are
// compiled for exactly that many bits, and run only where the CPU's vectors
// have it; SVE and SVE2 take whatever length the CPU has. The kernel tells
// the length this thread's vectors have, in bytes.
int sveBits() {
#if defined(__linux__) && defined(PR_SVE_GET_VL)
    const int vl = prctl(PR_SVE_GET_VL);
    return vl < 0 ? 0 : 8 * (vl & PR_SVE_VL_LEN_MASK);
#else
    return 0;
#endif
}
bool runsSve256() { return runsSve() && sveBits() == 256; }
bool runsSve2At128() { return runsSve2() && sveBits() == 128; }
#endif  // HWY_ARCH_ARM_A64

bool runsAlways() { return true; }

struct Target {
    const char* name;
    RenderFunction render;  // nullptr where the target is not compiled in
    bool (*runs)();
};

// Best first. One target a line: clang-format, meeting the #if branches, would
// pack them into columns.
// clang-format off
const Target kTargets[] = {
#if HWY_ARCH_X86
    {"AVX-512", HWY_CHOOSE_AVX3(RenderFlat), runsAvx3},
    {"AVX2", HWY_CHOOSE_AVX2(RenderFlat), runsAvx2},
    {"SSE4", HWY_CHOOSE_SSE4(RenderFlat), runsSse4},
    {"SSSE3", HWY_CHOOSE_SSSE3(RenderFlat), runsSsse3},
#elif HWY_ARCH_ARM_A64
    {"SVE2_128", HWY_CHOOSE_SVE2_128(RenderFlat), runsSve2At128},
    {"SVE_256", HWY_CHOOSE_SVE_256(RenderFlat), runsSve256},
    {"SVE2", HWY_CHOOSE_SVE2(RenderFlat), runsSve2},
    {"SVE", HWY_CHOOSE_SVE(RenderFlat), runsSve},
    {"NEON", HWY_CHOOSE_NEON(RenderFlat), runsNeon},
#elif HWY_ARCH_WASM
    // WebAssembly has no run-time choice: a module that holds SIMD128
    // instructions loads only where they run, so they are always there.
    {"WASM SIMD128", HWY_CHOOSE_WASM(RenderFlat), runsAlways},
#endif
    {"scalar", HWY_CHOOSE_FALLBACK(RenderFlat), runsAlways},
};
// clang-format on
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);

// The targets this CPU runs, as indices into kTargets, best first.
struct Usable {
    Usable() {
#if HWY_ARCH_X86
        __builtin_cpu_init();
#endif
        for (int i = 0; i < kTargetCount; ++i) {
            if (kTargets[i].render != nullptr && kTargets[i].runs()) index[count++] = i;
        }
    }
    int index[kTargetCount] = {};
    int count = 0;
};

const Usable& usable() {
    static const Usable list;
    return list;
}

int chosen = 0;  // position in usable()

}  // namespace

void renderFlatScene(const FlatScene& flat, const ImageRows& image) {
    kTargets[usable().index[chosen]].render(flat, image);
}

int renderTargetCount() { return usable().count; }

const char* renderTargetNameAt(int index) {
    if (index < 0 || index >= usable().count) return "";
    return kTargets[usable().index[index]].name;
}

void setRenderTargetForTest(int index) { chosen = index >= 0 && index < usable().count ? index : 0; }

const char* renderTargetName() { return renderTargetNameAt(chosen); }

}  // namespace glintworks
#endif  // HWY_ONCE
