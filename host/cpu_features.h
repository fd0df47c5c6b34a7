/* The vector paths a build of the modules has, and their intrinsics.
 *
 * x86-64: SSE2 always; AVX2 behind a run-time test made with the cpuid and xgetbv
 * instructions themselves (no runtime library is needed, so it works alike in every
 * build). MEX_NO_AVX2 compiles the AVX2 and AVX-512 paths out, MEX_NO_AVX512 the
 * AVX-512 paths alone.
 * AArch64: NEON, which every AArch64 processor has.
 * MEX_PORTABLE compiles out every vector path, leaving the plain loops that any other
 * processor gets. The tests build each module these ways to compare the paths. */
#ifndef CPU_FEATURES_H
#define CPU_FEATURES_H

#include <stdint.h>

/* The paths a run-time test chooses among on x86-64, narrowest first. */
enum VectorPath { PATH_SSE2, PATH_AVX2, PATH_AVX512 };

/* The instructions the AVX-512 paths use, besides AVX2: F and DQ. */
#define MEX_AVX512_FEATURES "avx512f,avx512dq"

/* The widest path a processor has whose registers its operating system saves, from
 * the answers of REGS: cpuid_ebx(7), cpuid_ecx(1) and xgetbv0(), for XCR0. Each cpuid
 * can cost microseconds under a hypervisor, so the modules ask only for jobs large
 * enough to hide that, and most processors without AVX2 answer after one: leaf 7
 * comes first. Where leaf 7 is past the highest leaf its answer is meaningless, but
 * such processors lack AVX, which leaf 1 then finds. xgetbv faults unless OSXSAVE is
 * set, so it comes last. The compilers count set bits with POPCNT wherever they may
 * use AVX2, so its bit in leaf 1 is asked for too. AVX2 needs the SSE and AVX state saved (XCR0 bits 1, 2),
 * AVX-512 also the opmask and ZMM state (bits 5, 6, 7), which macOS turns on for a
 * thread only at its first AVX-512 instruction: there the AVX2 paths serve. Plain
 * integer logic, so that a test on any processor can give it the registers of
 * others. */
template <class Regs> static inline VectorPath widest_path(void)
{
    const uint32_t leaf7 = Regs::cpuid_ebx(7);
    if ((leaf7 & (1u << 5)) == 0)
        return PATH_SSE2;
    const uint32_t popcnt_osxsave_avx = (1u << 23) | (1u << 27) | (1u << 28);
    if ((Regs::cpuid_ecx(1) & popcnt_osxsave_avx) != popcnt_osxsave_avx)
        return PATH_SSE2;
    const uint32_t xcr0 = Regs::xgetbv0();
    if ((xcr0 & 0x6) != 0x6)
        return PATH_SSE2;
    const uint32_t avx512_f_dq = (1u << 16) | (1u << 17);
    if ((leaf7 & avx512_f_dq) == avx512_f_dq && (xcr0 & 0xe0) == 0xe0)
        return PATH_AVX512;
    return PATH_AVX2;
}

/* Functions defined between MEX_TARGET_BEGIN(FEATURES) and MEX_TARGET_END, templates
 * and their instances included, may use the instructions FEATURES names: the one way
 * that both GCC and Clang compile a pass written once for several instruction sets. */
#define MEX_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define MEX_TARGET_BEGIN(features) \
    MEX_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define MEX_TARGET_END MEX_PRAGMA(clang attribute pop)
#else
#define MEX_TARGET_BEGIN(features) MEX_PRAGMA(GCC push_options) MEX_PRAGMA(GCC target(features))
#define MEX_TARGET_END MEX_PRAGMA(GCC pop_options)
#endif

#if !defined(MEX_PORTABLE) && defined(__x86_64__)

#define MEX_SSE2 1
#include <immintrin.h>

#if !defined(MEX_NO_AVX2)
#define MEX_AVX2 1
#if !defined(MEX_NO_AVX512)
#define MEX_AVX512 1
#endif

/* The instructions themselves, for cpu_widest_path. */
struct CpuRegisters {
    static void cpuid(uint32_t leaf, uint32_t *ebx, uint32_t *ecx)
    {
        uint32_t a, d;
        __asm__ __volatile__("cpuid" : "=a"(a), "=b"(*ebx), "=c"(*ecx), "=d"(d) : "a"(leaf), "c"(0));
    }
    static uint32_t cpuid_ebx(uint32_t leaf)
    {
        uint32_t b, c;
        cpuid(leaf, &b, &c);
        return b;
    }
    static uint32_t cpuid_ecx(uint32_t leaf)
    {
        uint32_t b, c;
        cpuid(leaf, &b, &c);
        return c;
    }
    static uint32_t xgetbv0(void)
    {
        uint32_t xcr0, xcr0_high;
        __asm__ __volatile__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
        return xcr0;
    }
};

static inline VectorPath cpu_widest_path(void) { return widest_path<CpuRegisters>(); }

#endif

#elif !defined(MEX_PORTABLE) && defined(__aarch64__)

#define MEX_NEON 1
#include <arm_neon.h>

#endif

#endif /* CPU_FEATURES_H */
