#include "staged_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Temporary files and folders not yet committed, and the parents stageFolder created, in the
// order of creation. Touched only by the tool's main thread, never by the signal handler.
std::vector<std::string> pendingFiles;
std::vector<std::string> pendingFolders;
std::vector<std::string> createdParents;

constexpr int kMaxChildren = 4;
std::atomic<pid_t> children[kMaxChildren];
std::atomic<int> caughtSignal{0};

void forget(std::vector<std::string>& list, const std::string& path) {
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".mp4" of "clip.mp4"; nothing for "clip" or ".hidden".
std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
}

std::string reason(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// The closest folder at or above path that exists: the file system an output will land on.
std::string existingFolder(const std::string& path) {
    std::string folder = path;
    struct stat info;
    while (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        const std::string up = folderOf(folder);
        if (up == folder) break;
        folder = up;
    }
    return folder;
}

void removeFolderWithFiles(const std::string& folder) {
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                unlinkat(dirfd(dir), entry->d_name, 0);
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
}

// Creates the missing folders of path, remembering them so that a failure can take them back.
bool makeFolders(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(info.st_mode);
    }
    if (errno != ENOENT) return false;
    const std::string parent = folderOf(path);
    if (parent != path && !makeFolders(parent)) return false;
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    createdParents.push_back(path);
    return true;
}

void onSignal(int signal) {
    caughtSignal.store(signal);
    for (std::atomic<pid_t>& child : children) {
        const pid_t pid = child.load();
        if (pid > 0) kill(pid, SIGKILL);
    }
}

}  // namespace

std::string checkFileTarget(const std::string& path) {
    if (path.empty()) return "an empty file name";
    struct stat info;
    if (path.back() == '/' || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)))
        return path + " is a folder; a file name is wanted here";
    const std::string folder = folderOf(path);
    if (stat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT) return path + ": the folder " + folder + " does not exist";
        return reason(path, errno);
    }
    if (!S_ISDIR(info.st_mode)) return path + ": " + folder + " is a file, not a folder";
    return "";
}

std::string checkFolderTarget(const std::string& path) {
    if (path.empty()) return "an empty folder name";
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        return path + " is a file, not a folder";
    // A file among the parents shows as "Not a directory".
    if (stat(path.c_str(), &info) != 0 && errno != ENOENT) return reason(path, errno);
    return "";
}

bool stageFile(StagedFile& file, const std::string& target, std::string& error,
               const std::string& scratchExtension) {
    file.target = target;
    file.temporary.clear();
    file.direct = false;
    struct stat info;
    const bool exists = stat(target.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode) && scratchExtension.empty()) {
        file.direct = true;
        file.temporary = target;
        return true;
    }
    const std::string name = nameOf(target);
    const std::string extension = scratchExtension.empty() ? extensionOf(name) : scratchExtension;
    std::string pattern = folderOf(target) + "/." + name + ".part-XXXXXX" + extension;
    const int descriptor = mkstemps(pattern.data(), static_cast<int>(extension.size()));
    if (descriptor < 0) {
        error = target + ": cannot be created: " + std::strerror(errno);
        return false;
    }
    // The finished file gets the mode of the file it replaces, or that of a new file.
    fchmod(descriptor,
           exists && S_ISREG(info.st_mode) ? info.st_mode & 07777 : 0666 & ~currentUmask());
    close(descriptor);
    file.temporary = pattern;
    pendingFiles.push_back(pattern);
    return true;
}

bool commitFile(StagedFile& file, std::string& error) {
    if (file.direct) {
        file.temporary.clear();
        return true;
    }
    if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
        error = reason(file.target, errno);
        discardFile(file);
        return false;
    }
    forget(pendingFiles, file.temporary);
    file.temporary.clear();
    return true;
}

void discardFile(StagedFile& file) {
    if (!file.direct && !file.temporary.empty()) {
        unlink(file.temporary.c_str());
        forget(pendingFiles, file.temporary);
    }
    file.temporary.clear();
}

bool stageFolder(StagedFolder& folder, const std::string& target, std::string& error) {
    folder.target = target;
    folder.temporary.clear();
    const std::string path = withoutTrailingSlashes(target);
    struct stat info;
    folder.whole = stat(path.c_str(), &info) != 0;
    const std::string parent = folder.whole ? folderOf(path) : path;
    if (!makeFolders(parent)) {
        error = reason(target, errno);
        return false;
    }
    std::string pattern =
        parent + "/." + (folder.whole ? nameOf(path) : std::string("files")) + ".part-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        error = reason(target, errno);
        return false;
    }
    folder.temporary = pattern;
    pendingFolders.push_back(pattern);
    return true;
}

bool commitFolder(StagedFolder& folder, std::string& error) {
    const std::string path = withoutTrailingSlashes(folder.target);
    bool ok = true;
    if (folder.whole) {
        ok = chmod(folder.temporary.c_str(), 0777 & ~currentUmask()) == 0 &&
             std::rename(folder.temporary.c_str(), path.c_str()) == 0;
    } else if (DIR* dir = opendir(folder.temporary.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (renameat(dirfd(dir), entry->d_name, AT_FDCWD,
                         (path + "/" + entry->d_name).c_str()) != 0) {
                ok = false;
                break;
            }
        }
        closedir(dir);
        if (ok) rmdir(folder.temporary.c_str());
    } else {
        ok = false;
    }
    if (!ok) {
        error = reason(folder.target, errno);
        discardFolder(folder);
        return false;
    }
    forget(pendingFolders, folder.temporary);
    folder.temporary.clear();
    return true;
}

void discardFolder(StagedFolder& folder) {
    if (!folder.temporary.empty()) {
        removeFolderWithFiles(folder.temporary);
        forget(pendingFolders, folder.temporary);
    }
    folder.temporary.clear();
}

void discardOutputs() {
    for (std::atomic<pid_t>& child : children) {
        const pid_t pid = child.exchange(0);
        if (pid <= 0) continue;
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (const std::string& path : pendingFiles)
        unlink(path.c_str());
    for (const std::string& path : pendingFolders)
        removeFolderWithFiles(path);
    for (auto parent = createdParents.rbegin(); parent != createdParents.rend(); ++parent)
        rmdir(parent->c_str());
    pendingFiles.clear();
    pendingFolders.clear();
    createdParents.clear();
}

void catchInterrupts() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        // A signal ignored from the start (nohup) stays ignored.
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
        action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a wait for a child returns at once.
        sigaction(signal, &action, nullptr);
    }
}

bool interrupted() {
    return caughtSignal.load() != 0;
}

void stopIfInterrupted() {
    const int signal = caughtSignal.load();
    if (signal == 0) return;
    discardOutputs();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void watchChild(pid_t child) {
    for (std::atomic<pid_t>& slot : children) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, child)) break;
    }
    // A signal that came before the child was registered still stops it.
    if (interrupted()) kill(child, SIGKILL);
}

void forgetChild(pid_t child) {
    for (std::atomic<pid_t>& slot : children) {
        pid_t expected = child;
        slot.compare_exchange_strong(expected, 0);
    }
}

std::string checkFreeSpace(const std::vector<SpaceNeed>& needs) {
    struct Group {
        dev_t device;
        std::string folder, targets;
        uint64_t bytes;
    };
    std::vector<Group> groups;
    for (const SpaceNeed& need : needs) {
        struct stat info;
        // A device or a pipe takes what it is given: no file system to fill.
        if (stat(need.target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
            !S_ISDIR(info.st_mode))
            continue;
        const std::string folder = existingFolder(withoutTrailingSlashes(need.target));
        if (stat(folder.c_str(), &info) != 0) continue;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.device == info.st_dev; });
        if (group == groups.end()) {
            groups.push_back({info.st_dev, folder, need.target, need.bytes});
        } else {
            group->targets += " and " + need.target;
            group->bytes += need.bytes;
        }
    }
    const char* mocked = std::getenv("TOOLS_TEST_FREE_SPACE");
    for (const Group& group : groups) {
        uint64_t free = 0;
        if (mocked) {
            free = std::strtoull(mocked, nullptr, 10);
        } else {
            struct statvfs space;
            // A file system of no blocks (/proc, /sys) has no figure to compare with.
            if (statvfs(group.folder.c_str(), &space) != 0 || space.f_blocks == 0) continue;
            free = uint64_t{space.f_bavail} * space.f_frsize;
        }
        if (group.bytes > free) {
            return group.targets + ": would take about " + describeBytes(group.bytes) +
                   ", and the file system of " +
                   (group.folder == "." ? std::string("the current folder") : group.folder) +
                   " has " + describeBytes(free) + " free";
        }
    }
    return "";
}

std::string describeBytes(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}
