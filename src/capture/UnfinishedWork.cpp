#include "capture/UnfinishedWork.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

// A recording marks three files (video, sound, the output being written) and a frame dump one.
constexpr int fileSlots = 16;
constexpr int processSlots = 4;
constexpr std::size_t longestPath = 4096;

struct FileSlot {
    std::atomic<bool> taken{false};
    // Set once `path` is complete: a handler reads only ready slots.
    std::atomic<bool> ready{false};
    char path[longestPath];
};

FileSlot files[fileSlots];
std::atomic<pid_t> processes[processSlots];

int markFile(const std::string& path) {
    if (path.size() >= longestPath)
        return -1;
    for (int i = 0; i < fileSlots; ++i) {
        bool expected = false;
        if (!files[i].taken.compare_exchange_strong(expected, true))
            continue;
        std::memcpy(files[i].path, path.c_str(), path.size() + 1);
        files[i].ready.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

int markProcess(pid_t process) {
    for (int i = 0; i < processSlots; ++i) {
        pid_t expected = 0;
        if (processes[i].compare_exchange_strong(expected, process))
            return i;
    }
    return -1;
}

} // namespace

UnfinishedFile::UnfinishedFile(const std::string& path) : slot(markFile(path)) {}

UnfinishedFile::~UnfinishedFile() {
    if (slot < 0)
        return;
    files[slot].ready.store(false, std::memory_order_release);
    files[slot].taken.store(false, std::memory_order_release);
}

UnfinishedProcess::UnfinishedProcess(pid_t process) : slot(process > 0 ? markProcess(process) : -1) {}

UnfinishedProcess::~UnfinishedProcess() {
    if (slot >= 0)
        processes[slot].store(0);
}

void abandonUnfinishedWork() {
    // Processes first, so that no encoder writes a file again after it is removed.
    for (std::atomic<pid_t>& process : processes) {
        pid_t id = process.load();
        if (id > 0)
            kill(id, SIGKILL);
    }
    for (FileSlot& file : files)
        if (file.ready.load(std::memory_order_acquire))
            unlink(file.path);
}
