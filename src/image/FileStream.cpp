#include "image/FileStream.h"

#include <climits>

FileStream::FileStream(const char* name, int flags) : fileName(name ? name : "") {
    if (!open(name, flags))
        openFailed = 1;
}

FileStream::~FileStream() { close(); }

int FileStream::open(const char* name, int flags) {
    if (!name)
        return 0;
    file = std::fopen(name, (flags & 4) ? "wb+" : "rb");
    if (!file)
        return 0;
    readable = (flags & 1) != 0;
    writable = (flags & (2 | 4)) != 0;
    return 1;
}

int FileStream::close() {
    if (!file)
        return 0;
    std::fclose(file);
    file = nullptr;
    readable = writable = false;
    return 1;
}

int FileStream::read(void* buffer, int count) {
    if (!file || !readable || count < 0)
        return -1;
    return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(count), file));
}

int FileStream::write(const void* buffer, int count) {
    if (!file || !writable || count < 0)
        return -1;
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), file));
}

int FileStream::flush() { return file ? std::fflush(file) : -1; }

int FileStream::seek(int offset, int origin) {
    if (!file)
        return -1;
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2)
        return -1;
    if (std::fseek(file, offset, whence[origin]) != 0)
        return -1;
    return tell();
}

int FileStream::tell() {
    if (!file)
        return -1;
    long position = std::ftell(file);
    return position > INT_MAX ? -1 : static_cast<int>(position);
}

int FileStream::size() {
    if (!file)
        return -1;
    int position = tell();
    seek(0, 2);
    int length = tell();
    seek(position, 0);
    return length;
}

int FileStream::atEnd() {
    if (!file)
        return 1;
    return size() == tell() ? 1 : 0;
}
