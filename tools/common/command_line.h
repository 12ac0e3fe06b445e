// The command line of a tool, read one way for every tool.
//
// An option has a long name and may have a short one ("-o" for "--output"); the two spell one
// option. The arguments are read in order: an option that takes a value takes the next
// argument, whatever it is, and the value may not be empty; an option given twice, under either
// spelling, is refused, and so is an argument that starts with '-' and names no option. Every
// other argument is an operand, for the tool to take or refuse. The tool checks each value as it
// comes, and the first problem ends the reading, so that a bad command line is reported as such
// whatever else it holds (--help included).
#pragma once
#include <functional>
#include <span>
#include <string>

struct OptionSpec {
    const char* name;       // "--output"
    const char* shortName;  // "-o", or nullptr
    bool takesValue;
};

struct CommandLine {
    const char* tool;   // the first word of its messages
    const char* usage;  // the usage lines, each ending in a newline
    std::span<const OptionSpec> options;
};

// What the tool does with an option, named by its long name, and its value (nullptr for an
// option that takes none), and with an operand: an empty string to go on, otherwise the
// problem. Values and operands are argv's own strings, which last as long as the program.
using TakeOption = std::function<std::string(const std::string& name, const char* value)>;
using TakeOperand = std::function<std::string(const char* operand)>;

// Reads argv[1] to argv[argc - 1]: an empty string when every argument was taken, otherwise the
// first problem, in words for the user.
std::string readCommandLine(const CommandLine& line, int argc, char** argv,
                            const TakeOption& takeOption, const TakeOperand& takeOperand);

// Once the command line is read: prints the help text for --help, or "TOOL VERSION" for
// --version, on standard output, and returns whether it printed either.
bool answerHelpOrVersion(const CommandLine& line, bool help, bool version, const char* helpText);

// Says "TOOL: PROBLEM", the usage and where the help is on standard error; returns 2, the exit
// status of bad arguments.
int refuseCommandLine(const CommandLine& line, const std::string& problem);
