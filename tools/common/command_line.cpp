#include "command_line.h"

#include <cstdio>
#include <vector>

#include "data/version.h"

namespace {

const OptionSpec* findOption(std::span<const OptionSpec> options, const std::string& argument) {
    for (const OptionSpec& option : options) {
        if (argument == option.name || (option.shortName && argument == option.shortName))
            return &option;
    }
    return nullptr;
}

}  // namespace

std::string readCommandLine(const CommandLine& line, int argc, char** argv,
                            const TakeOption& takeOption, const TakeOperand& takeOperand) {
    std::vector<const OptionSpec*> seen;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const OptionSpec* option = findOption(line.options, argument);
        if (!option) {
            if (argument.size() > 1 && argument[0] == '-') return "unknown option " + argument;
            const std::string problem = takeOperand(argv[i]);
            if (!problem.empty()) return problem;
            continue;
        }
        for (const OptionSpec* earlier : seen) {
            if (earlier == option) return argument + " is given twice";
        }
        seen.push_back(option);
        const char* value = nullptr;
        if (option->takesValue) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return argument + " needs a value";
            value = argv[++i];
        }
        const std::string problem = takeOption(option->name, value);
        if (!problem.empty()) return problem;
    }
    return "";
}

bool answerHelpOrVersion(const CommandLine& line, bool help, bool version, const char* helpText) {
    if (help) {
        std::fputs(helpText, stdout);
        return true;
    }
    if (version) {
        std::printf("%s %s\n", line.tool, kDemoVersion);
        return true;
    }
    return false;
}

int refuseCommandLine(const CommandLine& line, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%sSee %s --help.\n", line.tool, problem.c_str(), line.usage,
                 line.tool);
    return 2;
}
