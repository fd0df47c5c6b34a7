#include "loader.h"

#include <algorithm>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

namespace standin {
class MachOBundle {};   // macOS bundles load only in the Linux builds of the host
}
#else
#include <dlfcn.h>

#include "macho.h"
#endif

namespace standin {

Module::Module(const std::string &path)
{
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h)
        throw std::runtime_error("cannot load " + path);
    handle_ = h;
    gateway_ = reinterpret_cast<Gateway>(GetProcAddress(h, "mexFunction"));
#else
    if (is_macho(path)) {
        bundle_ = std::make_unique<MachOBundle>(path);
        return;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw std::runtime_error(dlerror());
    gateway_ = reinterpret_cast<Gateway>(dlsym(handle_, "mexFunction"));
#endif
    if (!gateway_)
        throw std::runtime_error("no mexFunction in " + path);
}

Module::~Module()
{
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    if (handle_)
        dlclose(handle_);
#endif
}

void Module::invoke(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) const
{
#if !defined(_WIN32)
    if (bundle_)
        return bundle_->call(nlhs, plhs, nrhs, prhs);
#endif
    gateway_(nlhs, plhs, nrhs, prhs);
}

Result call(const Module &m, int nlhs, const std::vector<const mxArray *> &inputs)
{
    for (size_t i = 0; i < inputs.size(); ++i)
        set_label(const_cast<mxArray *>(inputs[i]), "in" + std::to_string(i + 1));
    std::vector<mxArray *> slots(std::max(nlhs, 1), nullptr);
    std::vector<const mxArray *> prhs(inputs);   // the module may not write its inputs
    Result r;
    call_begin();
    try {
        m.invoke(nlhs, slots.data(), int(prhs.size()), prhs.data());
    } catch (const HostError &e) {
        r.failed = true;
        r.error = e.message;
    }
    std::vector<mxArray *> created = call_created();
    if (!r.failed) {
        for (int i = 0; i < nlhs; ++i)
            if (!slots[i]) {
                r.failed = true;
                r.error = "One or more output arguments not assigned during call.";
            }
    }
    if (!r.failed)
        for (mxArray *s : slots)
            r.outputs.emplace_back(s);
    for (mxArray *a : created)
        if (r.failed || std::find(slots.begin(), slots.end(), a) == slots.end())
            Destroy()(a);
    return r;
}

} // namespace standin
