// Outputs of the command-line tools that appear whole or not at all.
//
// Every file a tool writes goes first to a temporary name in the folder of its target (the same
// file system, so that one rename puts it in place) and is renamed over the target only when it
// is complete; until then an existing file of the target's name stays as it was. A set of files
// meant for one folder (pictures, assets) is written into a temporary folder and moved in at
// the end. Temporary names start with a dot and hold ".part-" and six random characters, then
// the target's extension (ffmpeg chooses its container by it). A target that exists and is not
// a regular file (a device such as /dev/null, a pipe) is written directly: there is nothing to
// keep, and renaming over it would replace the device.
//
// catchInterrupts() makes SIGINT, SIGTERM and SIGHUP note the signal and kill the child
// processes registered with watchChild (ffmpeg); the tool calls stopIfInterrupted() between
// pieces of work, which removes every temporary file and folder and then ends the process by
// the same signal. A tool that fails calls discardOutputs() before it says so.
//
// Messages name the path the user gave, never a temporary one.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Whether path can become a file, or a folder, of the tool's output: an empty string when it
// can, otherwise a message that names path and says in plain words what is in the way.
std::string checkFileTarget(const std::string& path);
std::string checkFolderTarget(const std::string& path);

struct StagedFile {
    std::string target;     // the path the user gave
    std::string temporary;  // where the file is written; empty once committed or discarded
    bool direct = false;    // target is a device or a pipe, written in place
};
// Creates the temporary file of target, empty. A scratch file (a non-empty extension) is a
// temporary file beside target that is never committed, only discarded.
bool stageFile(StagedFile& file, const std::string& target, std::string& error,
               const std::string& scratchExtension = "");
// Renames the temporary file over the target.
bool commitFile(StagedFile& file, std::string& error);
void discardFile(StagedFile& file);

struct StagedFolder {
    std::string target;
    std::string temporary;  // the files go here; empty once committed or discarded
    bool whole = false;     // the target did not exist: the temporary folder becomes it
};
// Creates the temporary folder of target (and target's missing parents).
bool stageFolder(StagedFolder& folder, const std::string& target, std::string& error);
// Moves the files into the target, replacing files of the same names there.
bool commitFolder(StagedFolder& folder, std::string& error);
void discardFolder(StagedFolder& folder);

// Removes every temporary file and folder not yet committed, the parents that stageFolder
// created if they are empty again, and kills and reaps the watched children.
void discardOutputs();

void catchInterrupts();
bool interrupted();
// After a caught signal: discardOutputs, then end the process by that signal.
void stopIfInterrupted();
void watchChild(pid_t child);
void forgetChild(pid_t child);

// What an output will take on the file system of its target.
struct SpaceNeed {
    std::string target;
    uint64_t bytes;
};
// An empty string when the outputs fit the free space of their file systems (outputs on the
// same file system are added up); otherwise a message with the size and the free space. The
// environment variable TOOLS_TEST_FREE_SPACE, set only by the tools' tests, stands in for the
// free space of every file system.
std::string checkFreeSpace(const std::vector<SpaceNeed>& needs);

// "512 bytes", "3.4 MiB", "7.1 GiB".
std::string describeBytes(uint64_t bytes);
