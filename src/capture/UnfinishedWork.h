#pragma once
// Files being written and the encoders writing them, listed so that an abrupt end (a second
// Ctrl-C) can remove what would otherwise stay behind half written. The list is a fixed table
// that a signal handler reads without locks or allocation.

#include <sys/types.h>

#include <string>

// Marks a file as unfinished for the object's lifetime. A path too long for the table, or a
// full table, is simply not marked.
class UnfinishedFile {
public:
    explicit UnfinishedFile(const std::string& path);
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

private:
    int slot;
};

// Marks a child process whose work is lost when the program ends abruptly.
class UnfinishedProcess {
public:
    explicit UnfinishedProcess(pid_t process);
    ~UnfinishedProcess();
    UnfinishedProcess(const UnfinishedProcess&) = delete;
    UnfinishedProcess& operator=(const UnfinishedProcess&) = delete;

private:
    int slot;
};

// Kills every marked process and removes every marked file. Safe in a signal handler.
void abandonUnfinishedWork();
