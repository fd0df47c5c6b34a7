/* The vector paths a build of the modules has, and their intrinsics.
 *
 * x86-64: SSE2 always; AVX2 behind a run-time test made with the cpuid and xgetbv
 * instructions themselves (no runtime library is needed, so it works alike in every
 * build). MEX_NO_AVX2 compiles the AVX2 paths out.
 * AArch64: NEON, which every AArch64 processor has.
 * MEX_PORTABLE compiles out every vector path, leaving the plain loops that any other
 * processor gets. The tests build each module these ways to compare the paths. */
#ifndef CPU_FEATURES_H
#define CPU_FEATURES_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if !defined(MEX_PORTABLE) && defined(__x86_64__)

#define MEX_SSE2 1
#include <immintrin.h>

#if !defined(MEX_NO_AVX2)
#define MEX_AVX2 1

/* Whether the processor has AVX2 and the operating system saves its registers.
 * Each cpuid can cost microseconds under a hypervisor, so the modules ask only
 * for jobs large enough to hide that, and most processors without AVX2 answer
 * after one: leaf 7 comes first. Where leaf 7 is past the highest leaf its answer
 * is meaningless, but such processors lack AVX, which leaf 1 then finds. xgetbv
 * faults unless OSXSAVE is set, so it comes last. */
static inline bool cpu_has_avx2(void)
{
    uint32_t a, b, c, d;
    __asm__ __volatile__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(7), "c"(0));
    if ((b & (1u << 5)) == 0)
        return false;
    __asm__ __volatile__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1), "c"(0));
    const uint32_t osxsave_avx = (1u << 27) | (1u << 28);
    if ((c & osxsave_avx) != osxsave_avx)
        return false;
    uint32_t xcr0, xcr0_high;
    __asm__ __volatile__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    return (xcr0 & 6) == 6; /* SSE and AVX register state */
}

#endif

#elif !defined(MEX_PORTABLE) && defined(__aarch64__)

#define MEX_NEON 1
#include <arm_neon.h>

#endif

#endif /* CPU_FEATURES_H */
