// Each module's help file states its messages in the order of its checks, and the
// MATLAB-language suite expects them from there, as it runs in hosts without this
// tree's C++: here they are compared with the reference's.
#include <fstream>

#include "module_test.h"

namespace {

// The lines indented by five under "Errors, checked in this order", up to the next
// empty comment line.
std::vector<std::string> help_messages(const std::string &name)
{
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of("/\\") + 1) + "../help/" + name + ".m";
    std::ifstream file(path);
    EXPECT_TRUE(file) << path;
    std::vector<std::string> messages;
    bool inside = false;
    for (std::string line; std::getline(file, line);) {
        if (line.find("Errors, checked in this order") != std::string::npos)
            inside = true;
        else if (inside && line.find_first_not_of("% ") == std::string::npos)
            break;
        else if (inside && line.compare(0, 6, "%     ") == 0 && line[6] != ' ')
            messages.push_back(line.substr(6));
    }
    return messages;
}

template <size_t N> std::vector<std::string> list(const char *const (&messages)[N])
{
    return std::vector<std::string>(messages, messages + N);
}

TEST(Reference, TheHelpFilesStateTheSameMessagesInTheSameOrder)
{
    EXPECT_EQ(help_messages("permanent"), list(reference::permanent::kMessages));
    EXPECT_EQ(help_messages("expandTally"), list(reference::expandTally::kMessages));
    EXPECT_EQ(help_messages("edgejoin"), list(reference::edgejoin::kMessages));
}

} // namespace
