// Loads a macOS module file (a Mach-O bundle) into this Linux process, as dyld would,
// so that the very .mexmaci64 / .mexmaca64 files we ship run against the stand-in host.
#ifndef STANDIN_MACHO_H
#define STANDIN_MACHO_H

#include <cstddef>
#include <string>

#include "standin.h"

namespace standin {

using Gateway = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

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

    // Calls mexFunction. A host error raised inside leaves the bundle's frames by a
    // jump back here (Linux's unwinder cannot read their compact unwind entries) and is
    // thrown on from this frame as the HostError it was.
    void call(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) const;

private:
    void *base_ = nullptr;
    size_t size_ = 0;
    Gateway gateway_ = nullptr;
};

} // namespace standin

#endif
