// The MATLAB-language suite keeps its own list of each module's messages, as it runs in
// hosts without this tree's C++: here it is read and compared with the reference's.
#include <fstream>
#include <iterator>
#include <regex>

#include "module_test.h"

namespace {

// The messages of one module's case in run_module_tests.m's messages_of: its quoted
// literals, those that ... continues inside brackets joined.
std::vector<std::string> matlab_messages(const std::string &suite, const std::string &name)
{
    const size_t start = suite.find("case '" + name + "'", suite.find("function m = messages_of"));
    std::string cell = suite.substr(start, suite.find("};", start) - start);
    cell = std::regex_replace(cell, std::regex("'\\s*\\.\\.\\.\\s*'"), "");
    std::vector<std::string> messages;
    const std::regex literal("'((?:[^']|'')*)'");
    for (std::sregex_iterator m(cell.begin(), cell.end(), literal), end; m != end; ++m)
        messages.push_back(std::regex_replace((*m)[1].str(), std::regex("''"), "'"));
    messages.erase(messages.begin());   // the case's own name
    return messages;
}

template <size_t N> std::vector<std::string> list(const char *const (&messages)[N])
{
    return std::vector<std::string>(messages, messages + N);
}

TEST(Reference, TheMatlabSuiteHasTheSameMessagesInTheSameOrder)
{
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of("/\\") + 1) + "matlab/run_module_tests.m";
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    const std::string suite{std::istreambuf_iterator<char>(file), {}};
    ASSERT_NE(suite.find("function m = messages_of"), std::string::npos);
    EXPECT_EQ(matlab_messages(suite, "permanent"), list(reference::permanent::kMessages));
    EXPECT_EQ(matlab_messages(suite, "expandTally"), list(reference::expandTally::kMessages));
    EXPECT_EQ(matlab_messages(suite, "edgejoin"), list(reference::edgejoin::kMessages));
}

} // namespace
