#pragma once
// A Stream over a C library file. Flags: 1 read, 2 write, 4 create or truncate for writing
// (reading and writing both allowed then).

#include "image/Stream.h"

#include <cstdio>
#include <string>

class FileStream : public Stream {
public:
    FileStream(const char* name, int flags);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    int isAvailable() override { return 1; }
    int close() override;
    int read(void* buffer, int count) override;
    int write(const void* buffer, int count) override;
    int flush() override;
    int seek(int offset, int origin) override;
    int tell() override;
    int atEnd() override;
    int size() override;

    std::FILE* handle() { return file; }
    // 1 on success, 0 when the file cannot be opened.
    int open(const char* name, int flags);
    const std::string& name() const { return fileName; }

private:
    std::FILE* file = nullptr;
    std::string fileName;
    bool readable = false;
    bool writable = false;
};
