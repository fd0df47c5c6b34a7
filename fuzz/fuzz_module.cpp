// Loads the module under test before the first input, so that libFuzzer knows its
// coverage counters from the start.
#include "fuzz_host.h"

namespace {
const standin::Module *loaded;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    loaded = new standin::Module(MODULE_PATH);
    return 0;
}

const standin::Module &fuzz::module() { return *loaded; }
