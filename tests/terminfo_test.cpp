#include "host/terminfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A compiled entry of the given names, booleans and numbers, in the 16-bit (0432) or 32-bit
// (01036) form; no strings.
std::vector<uint8_t> compiledEntry(int magic, const std::string& names, int booleans,
                                   const std::vector<int32_t>& numbers) {
    std::vector<uint8_t> bytes;
    auto put = [&bytes](int32_t value, int width) {
        for (int k = 0; k < width; ++k)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> 8 * k));
    };
    for (int32_t field : {magic, static_cast<int>(names.size()) + 1, booleans,
                          static_cast<int>(numbers.size()), 0, 0})
        put(field, 2);
    bytes.insert(bytes.end(), names.begin(), names.end());
    bytes.push_back(0);
    bytes.insert(bytes.end(), static_cast<size_t>(booleans), 1);
    if (bytes.size() % 2) bytes.push_back(0);
    for (int32_t number : numbers)
        put(number, magic == 0432 ? 2 : 4);
    return bytes;
}

// The numbers of an entry with colors (the 14th) set to colours.
std::vector<int32_t> numbersWithColours(int32_t colours) {
    std::vector<int32_t> numbers(15, -1);
    numbers[0] = 80;
    numbers[2] = 24;
    numbers[13] = colours;
    return numbers;
}

int colours(const std::vector<uint8_t>& entry) {
    return terminfoColours(entry.data(), entry.size());
}

}  // namespace

TEST(Terminfo, ColoursFromBothFormsOfEntry) {
    // Names and booleans of both parities, for the padding before the numbers.
    for (int booleans : {37, 38}) {
        EXPECT_EQ(colours(compiledEntry(0432, "t256|a test", booleans, numbersWithColours(256))),
                  256);
        EXPECT_EQ(colours(compiledEntry(01036, "direct", booleans, numbersWithColours(1 << 24))),
                  1 << 24);
    }
    EXPECT_EQ(colours(compiledEntry(0432, "mono", 2, numbersWithColours(-1))), 0);
    EXPECT_EQ(colours(compiledEntry(0432, "short", 2, {80, -1, 24})), 0);
    std::vector<uint8_t> cut = compiledEntry(0432, "cut", 2, numbersWithColours(8));
    cut.resize(cut.size() - 4);
    EXPECT_EQ(colours(cut), 0);
    std::vector<uint8_t> notAnEntry = compiledEntry(0432, "x", 2, numbersWithColours(8));
    notAnEntry[0] = 0x1b;
    EXPECT_EQ(colours(notAnEntry), 0);
    EXPECT_EQ(terminfoColours(nullptr, 0), 0);
}

// The system's own entries, as the system's tput reads them.
TEST(Terminfo, ColoursOfThisSystemsEntriesAgreeWithTput) {
    int compared = 0;
    for (const char* name : {"xterm", "xterm-256color", "linux", "vt100", "screen-256color",
                             "tmux-256color", "xterm-direct"}) {
        bool anyDatabase;
        if (findTerminfoEntry(name, anyDatabase).empty()) continue;
        FILE* tput = popen(("tput -T " + std::string(name) + " colors 2>/dev/null").c_str(), "r");
        if (!tput) continue;
        int expected = 0;
        const bool read = std::fscanf(tput, "%d", &expected) == 1;
        if (pclose(tput) != 0 || !read) continue;
        EXPECT_EQ(terminalColourCount(name), expected < 0 ? 0 : expected) << name;
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no terminfo entries, or no tput";
    EXPECT_EQ(terminalColourCount("no-such-terminal"), 0);
    EXPECT_EQ(terminalColourCount(nullptr), 0);
}
