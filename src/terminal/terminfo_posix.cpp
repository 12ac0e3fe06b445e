#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "terminal/terminfo.h"

namespace {

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string findTerminfoEntry(const std::string& name, bool& anyDatabase) {
    anyDatabase = false;
    if (name.empty() || name.find('/') != std::string::npos) return "";
    std::string folders;
    for (const char* variable : {"TERMINFO", "TERMINFO_DIRS"}) {
        if (const char* value = std::getenv(variable)) folders += std::string(value) + ":";
    }
    if (const char* home = std::getenv("HOME")) folders += std::string(home) + "/.terminfo:";
    folders += "/etc/terminfo:/lib/terminfo:/usr/share/terminfo:/usr/lib/terminfo";
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(name[0]));
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || !isFolder(folder)) continue;
        anyDatabase = true;
        for (const std::string& path :
             {folder + "/" + name[0] + "/" + name, folder + "/" + hex + "/" + name}) {
            if (isFile(path)) return path;
        }
    }
    return "";
}

int terminalColourCount(const char* name) {
    if (!name) return 0;
    bool anyDatabase;
    const std::string path = findTerminfoEntry(name, anyDatabase);
    if (path.empty()) return 0;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    // Compiled entries are at most 32 KB in the extended form, and the numbers come early.
    static uint8_t entry[32768];
    const size_t size = std::fread(entry, 1, sizeof entry, file);
    std::fclose(file);
    return terminfoColours(entry, size);
}

std::string terminalProblem(const char* term) {
    if (!term || !*term) return "TERM is not set, so the terminal's kind is unknown";
    const std::string name = term;
    if (name == "dumb" || name == "unknown")
        return "this terminal (TERM=" + name + ") cannot take the escape sequences it draws with";
    if (name.compare(0, 5, "xterm") == 0) return "";
    bool anyDatabase = false;
    if (findTerminfoEntry(name, anyDatabase).empty() && anyDatabase)
        return "this terminal (TERM=" + name + ") is not known to this system";
    return "";
}
