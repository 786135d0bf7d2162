#pragma once

#include <cstddef>
#include <string>

// An abstract binary stream: readers and writers of binary formats move raw bytes through it
// and position it by absolute byte offsets. No text handling, no byte-order conversion.
// Every failure is reported by an error of the e_default tree (Errors.h).
class Stream
{
public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream() = default;

    // Positions the stream `position` bytes from its start.
    virtual void seek(long position) = 0;
    // The current position.
    virtual long tell() const = 0;
    // The length in bytes; the position is left where it was.
    virtual long size() const = 0;
    // True when the end-of-file indicator is set.
    virtual bool eof() const = 0;
    // Reads exactly `size` bytes into `buffer` or throws.
    virtual void read(void* buffer, std::size_t size) = 0;
    // Writes `size` bytes from `buffer`.
    virtual void write(const void* buffer, std::size_t size) = 0;
    // Closes, then stores the new name; does not open.
    virtual void setName(const std::string& name) = 0;
    // Flushes and closes; forgets the name.
    virtual void close() = 0;
    virtual void openRead() = 0;
    virtual void openWrite() = 0;
    virtual void openAppend() = 0;
    // seek(0).
    virtual void rewind() = 0;
    // seek(size()).
    virtual void seekEnd() = 0;
    virtual void flush() = 0;
    virtual bool isOpened() const = 0;
    virtual bool isGood() const = 0;
};
