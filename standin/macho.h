// Loads a macOS module file (a Mach-O bundle) into this Linux process, as dyld would,
// so that the very .mexmaci64 / .mexmaca64 files we ship run against the stand-in host.
#ifndef STANDIN_MACHO_H
#define STANDIN_MACHO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin.h"

namespace standin {


// Whether the file starts like a Mach-O file (thin or fat).
bool is_macho(const std::string &path);

class MachOBundle {
public:
    // Maps the bundle, applies its rebases and binds and finds _mexFunction; throws
    // std::runtime_error naming what it cannot load.
    explicit MachOBundle(const std::string &path);
    ~MachOBundle();
    MachOBundle(const MachOBundle &) = delete;
    MachOBundle &operator=(const MachOBundle &) = delete;

    // Calls mexFunction. A host error raised inside unwinds through the bundle's frames
    // by the bundle's own unwind entries, given to Linux's unwinder at load.
    void call(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) const;

private:
    void *base_ = nullptr;
    size_t size_ = 0;
    Gateway gateway_ = nullptr;
    std::vector<uint8_t> unwind_;   // made from __unwind_info
    void *own_unwind_ = nullptr;    // the bundle's __eh_frame, where entries defer to it
};

} // namespace standin

#endif
