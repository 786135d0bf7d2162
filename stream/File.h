#pragma once

#include "Errors.h"
#include "Stream.h"

#include <cstdio>
#include <string>

// A binary file over a stdio stream. Bytes go to and from memory exactly as stdio transfers
// them. Every data operation on a closed file throws e_logic_state("File not opened").
// Success of seek, write and flush is judged by the stream's error indicator after the call;
// read by the number of elements delivered.
class File : public Stream
{
public:
    // Ensures: closed, named `name`; the file is not opened.
    explicit File(const std::string& name)
    {
        File::setName(name);
    }

    // Flushes and closes an open file; a flush failure here is swallowed.
    ~File() override
    {
        if (opened) {
            std::fflush(handle);
            std::fclose(handle);
        }
        resetState();
        fileName.clear();
    }

    // Throws: e_failure_open("Error while seeking file") when the error indicator is set afterwards.
    void seek(long position) override
    {
        requireOpened();
        std::fseek(handle, position, SEEK_SET);
        if (std::ferror(handle))
            throw e_failure_open("Error while seeking file");
    }

    // Ensures: the stdio position unchanged (-1 on a stdio failure passes through).
    long tell() const override
    {
        requireOpened();
        return std::ftell(handle);
    }

    // Ensures: returns the length in bytes; the position is restored.
    long size() const override
    {
        requireOpened();
        const long position = tell();
        std::fseek(handle, 0, SEEK_END);
        const long length = tell();
        std::fseek(handle, position, SEEK_SET);
        return length;
    }

    bool eof() const override
    {
        requireOpened();
        return std::feof(handle) != 0;
    }

    // Ensures: exactly `size` bytes are in `buffer` (a request of 0 bytes is a failure).
    // Throws:  on a short read, after printing "<eof> <error>" on standard output (no line
    //          end): e_failure_read("Error reading file") when the error indicator is set,
    //          else e_failure_read("Unexpected end of file"). Bytes already in `buffer` are
    //          then undefined.
    void read(void* buffer, std::size_t size) override
    {
        requireOpened();
        if (std::fread(buffer, size, 1, handle) == 1)
            return;
        const int atEnd = std::feof(handle);
        const int failed = std::ferror(handle);
        std::printf("%d %d", atEnd, failed);
        std::fflush(stdout);
        if (failed)
            throw e_failure_read("Error reading file");
        throw e_failure_read("Unexpected end of file");
    }

    // Throws: e_failure_write("Error writing file") when the error indicator is set afterwards.
    void write(const void* buffer, std::size_t size) override
    {
        requireOpened();
        std::fwrite(buffer, size, 1, handle);
        if (std::ferror(handle))
            throw e_failure_write("Error writing file");
    }

    // Ensures: closed (see close()), then named `name`.
    void setName(const std::string& name) override
    {
        close();
        fileName = name;
    }

    // Ensures: closed and unnamed.
    // Throws:  e_failure_write("Error flushing file") from the flush; the file then stays
    //          open and named.
    void close() override
    {
        if (opened) {
            flush();
            std::fclose(handle);
        }
        resetState();
        fileName.clear();
    }

    // Opens with stdio mode "rb"; an open file is first closed and re-opened under its name.
    // Throws: e_failure_open("Error while opening file in read mode"); the file stays closed.
    void openRead() override
    {
        open("rb", "Error while opening file in read mode");
    }

    // Opens with "wb+" (creates or truncates; reads and writes).
    // Throws: e_failure_open("Error while opening file in write mode").
    void openWrite() override
    {
        open("wb+", "Error while opening file in write mode");
    }

    // Opens with "a+" (creates if needed; reads anywhere, every write appends).
    // Throws: e_failure_open("Error while opening file in write mode").
    void openAppend() override
    {
        open("a+", "Error while opening file in write mode");
    }

    void rewind() override
    {
        seek(0);
    }

    void seekEnd() override
    {
        seek(size());
    }

    // Throws: e_failure_write("Error flushing file") when the error indicator is set afterwards.
    void flush() override
    {
        requireOpened();
        std::fflush(handle);
        if (std::ferror(handle))
            throw e_failure_write("Error flushing file");
    }

    bool isOpened() const override
    {
        return opened;
    }

    // Always true: no operation sets it to false.
    bool isGood() const override
    {
        return good;
    }

private:
    void requireOpened() const
    {
        if (!opened)
            throw e_logic_state("File not opened");
    }

    void resetState()
    {
        opened = false;
        good = true;
        handle = nullptr;
    }

    // Re-opening an open file keeps its name (closing alone would forget it).
    void open(const char* mode, const char* failure)
    {
        if (opened) {
            const std::string name = fileName;
            close();
            fileName = name;
        }
        handle = std::fopen(fileName.c_str(), mode);
        if (handle == nullptr)
            throw e_failure_open(failure);
        opened = true;
        good = true;
    }

    bool opened = false;
    bool good = true;
    std::string fileName;
    std::FILE* handle = nullptr;
};
