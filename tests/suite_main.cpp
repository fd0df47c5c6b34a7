// The main of every suite program. The builds a run calls come from its command line,
// so that one program serves the delivered modules, the builds compared with them and
// the macOS bundles:
//   PROGRAM [--modules DIR --suffix SUFFIX] [--compared DIR]... [--misbound FILE]
//           [--nan-fill] [--without-slow KIND] [GoogleTest's flags]
//   PROGRAM --list
// --nan-fill: the host fills the matrices modules create with a NaN, not zeros.
// --without-slow KIND: the cases slow in that kind of run are left out.
// --list: one line per case, its name and the kinds of run it is slow in (for the CTest
// discovery, tests/discover.cmake).
// A run whose builds are not there prints which and exits 77, which CTest counts as
// skipped.
#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "module_test.h"

namespace harness {
namespace {
Options given;
// Case -> the kinds of run it is slow in; filled by other files' static initialisers.
std::map<std::string, std::string> &slow()
{
    static std::map<std::string, std::string> cases;
    return cases;
}
} // namespace

const Options &options() { return given; }

bool slow_in(const char *name, const char *kinds)
{
    slow()[name] = std::string(" ") + kinds + " ";
    return true;
}

} // namespace harness

namespace {

// Whether the folder holds a file with the suffix.
bool holds_builds(const std::string &dir, const std::string &suffix)
{
    bool found = false;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d)) {
            const size_t n = std::strlen(e->d_name);
            found = found || (n > suffix.size() && suffix == e->d_name + n - suffix.size());
        }
        closedir(d);
    }
    return found;
}

// The first of the run's builds that is not there, or "".
std::string missing_build()
{
    const harness::Options &o = harness::options();
    if (!o.modules.empty())
        for (const std::string &dir : every_build())
            if (!holds_builds(dir, o.suffix))
                return "no " + o.suffix + " modules in " + dir;
    if (!o.misbound.empty()) {
        FILE *f = std::fopen(o.misbound.c_str(), "rb");
        if (!f)
            return o.misbound;
        std::fclose(f);
    }
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);   // takes out GoogleTest's own flags
    harness::Options &o = harness::given;
    bool list = false;
    std::string without_slow;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string *value = arg == "--modules" ? &o.modules : arg == "--suffix" ? &o.suffix
                           : arg == "--misbound" ? &o.misbound
                           : arg == "--without-slow" ? &without_slow : nullptr;
        if (arg == "--compared")
            value = &o.compared.emplace_back();
        if (value && i + 1 < argc)
            *value = argv[++i];
        else if (arg == "--nan-fill")
            standin::fill_created_with_nan(true);
        else if (arg == "--list")
            list = true;
        else {
            std::fprintf(stderr, "%s: bad option %s; see tests/suite_main.cpp\n", argv[0], argv[i]);
            return 2;
        }
    }

    std::string left_out;
    const ::testing::UnitTest &unit = *::testing::UnitTest::GetInstance();
    for (int s = 0; s < unit.total_test_suite_count(); ++s)
        for (int t = 0; t < unit.GetTestSuite(s)->total_test_count(); ++t) {
            const ::testing::TestInfo &c = *unit.GetTestSuite(s)->GetTestInfo(t);
            const std::string name = std::string(c.test_suite_name()) + "." + c.name();
            const std::string kinds = harness::slow().count(name) ? harness::slow()[name] : "";
            if (list)
                std::printf("%s%s\n", name.c_str(), kinds.empty() ? "" : kinds.c_str());
            if (!without_slow.empty() && kinds.find(" " + without_slow + " ") != std::string::npos)
                left_out += ":" + name;
        }
    if (list)
        return 0;
    if (!left_out.empty()) {
        const std::string filter = GTEST_FLAG_GET(filter);
        GTEST_FLAG_SET(filter, filter + (filter.find('-') == std::string::npos ? "-" : "") + left_out);
    }
    const std::string missing = missing_build();
    if (!missing.empty()) {
        std::printf("skipped, not built: %s\n", missing.c_str());
        return 77;
    }
    return RUN_ALL_TESTS();
}
