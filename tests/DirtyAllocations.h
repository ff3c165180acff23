#pragma once
// While a DirtyAllocations object lives, every array `new` of the test program comes back filled
// with 0xA5 bytes, as reused memory would be: code that reads an array before writing it shows
// the pattern instead of the zeros that fresh pages from the system happen to hold.

class DirtyAllocations {
public:
    DirtyAllocations();
    ~DirtyAllocations();
    DirtyAllocations(const DirtyAllocations&) = delete;
    DirtyAllocations& operator=(const DirtyAllocations&) = delete;
};
