// Opens a built module file and calls its mexFunction as MATLAB would.
#ifndef STANDIN_LOADER_H
#define STANDIN_LOADER_H

#include <memory>
#include <string>
#include <vector>

#include "standin.h"

namespace standin {

class MachOBundle;

// A module file: loaded by the system's own loader, or, for a macOS bundle, by ours.
class Module {
public:
    explicit Module(const std::string &path);   // throws std::runtime_error
    ~Module();
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;
    // Calls mexFunction; a host error comes back as the HostError it was.
    void invoke(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) const;

private:
    void *handle_ = nullptr;
    Gateway gateway_ = nullptr;
    std::unique_ptr<MachOBundle> bundle_;
};

struct Result {
    bool failed = false;
    std::string error;             // the message of a failed call
    std::vector<Array> outputs;    // max(nlhs, 1) slots on success; empty on failure
};

// Calls the module with nlhs requested outputs. Inputs are labelled "in1", "in2", ...
// in the trace. On an error every array the call created is destroyed, as MATLAB does;
// on success those not left in an output slot are.
Result call(const Module &m, int nlhs, const std::vector<const mxArray *> &inputs);

} // namespace standin

#endif
