#pragma once
// A byte stream the codecs read pictures from and write them to. Results follow the C library:
// counts of bytes moved or -1, positions as ints.

class Stream {
public:
    virtual ~Stream() = default;

    virtual int isAvailable() = 0;
    virtual int close() = 0;
    // Bytes read, or -1 when the stream cannot be read.
    virtual int read(void* buffer, int count) = 0;
    // Bytes written, or -1 when the stream cannot be written.
    virtual int write(const void* buffer, int count) = 0;
    virtual int flush() = 0;
    // origin 0: from the start, 1: from the current position, 2: from the end. Returns the new
    // position, or -1.
    virtual int seek(int offset, int origin) = 0;
    virtual int tell() = 0;
    virtual int atEnd() = 0;
    virtual int size() = 0;
    // 1 when opening the stream failed.
    virtual int failed() { return openFailed; }

protected:
    int openFailed = 0;
};
