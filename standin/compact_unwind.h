// Unwind tables for a mapped Mach-O bundle, so that a host error thrown as a C++
// exception unwinds through the bundle's frames by the bundle's own unwind entries,
// as it does in MATLAB on macOS.
#ifndef STANDIN_COMPACT_UNWIND_H
#define STANDIN_COMPACT_UNWIND_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace standin {

// Mach-O CPU types (mach/machine.h).
constexpr uint32_t CPU_TYPE_X86_64 = 0x01000007, CPU_TYPE_ARM64 = 0x0100000c;

// .eh_frame data, ending in its zero terminator, equivalent to the compact entries of
// __unwind_info (`info`, `size` bytes, in the bundle mapped at `image`) for the bundle's
// CPU. Entries in DWARF mode are left to the bundle's own __eh_frame, and their count
// is added to *dwarf_entries. Throws std::runtime_error on an encoding it cannot
// express.
std::vector<uint8_t> eh_frame_from_compact(const uint8_t *image, const uint8_t *info,
                                           size_t size, uint32_t cpu, size_t *dwarf_entries);

} // namespace standin

#endif
