// The stand-in host's Mach-O loader on a bundle it must refuse (--misbound): a module
// linked as if libmx exported mexErrMsgTxt. Under two-level namespace the bind names
// its library, so the loader must refuse the file, as dyld would.
#include <stdexcept>

#include "module_test.h"

namespace {

TEST(MachOLoader, RefusesABundleBindingFromTheWrongLibrary)
{
    ASSERT_FALSE(harness::options().misbound.empty()) << "no --misbound bundle given";
    try {
        standin::Module m(harness::options().misbound);
        ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("binds _mexErrMsgTxt from @rpath/libmx.dylib"),
                  std::string::npos) << e.what();
    }
}

} // namespace
