#include "terminal/terminfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The system's own entries as its tput reads them: on Debian 12, xterm's entry has 16-bit
// numbers and xterm-256color's 32-bit ones. Entries cut short or of another format give 0.
TEST(Terminfo, ColoursOfThisSystemsEntriesAgreeWithTput) {
    int compared = 0;
    for (const char* name : {"xterm", "xterm-256color", "linux", "vt100", "screen-256color",
                             "tmux-256color", "xterm-direct"}) {
        bool anyDatabase;
        const std::string path = findTerminfoEntry(name, anyDatabase);
        FILE* tput = popen(("tput -T " + std::string(name) + " colors 2>/dev/null").c_str(), "r");
        int expected = 0;
        const bool read = tput && std::fscanf(tput, "%d", &expected) == 1;
        if (!tput || pclose(tput) != 0 || !read || path.empty()) continue;
        EXPECT_EQ(terminalColourCount(name), expected < 0 ? 0 : expected) << name;
        ++compared;

        std::ifstream file(path, std::ios::binary);
        std::vector<uint8_t> entry{std::istreambuf_iterator<char>(file), {}};
        for (size_t size : {size_t{0}, size_t{11}, size_t{40}})
            EXPECT_EQ(terminfoColours(entry.data(), std::min(size, entry.size())), 0) << name;
        entry[0] ^= 1;
        EXPECT_EQ(terminfoColours(entry.data(), entry.size()), 0) << name;
    }
    if (compared == 0) GTEST_SKIP() << "no terminfo entries, or no tput";
    EXPECT_EQ(terminalColourCount("no-such-terminal"), 0);
    EXPECT_EQ(terminalColourCount(nullptr), 0);
}
