#include "ErrorMessage.h"
#include "Errors.h"
#include "File.h"
#include "ModelFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// The project's errors are one tree of their own, apart from std::exception.
static_assert(!std::is_base_of<std::exception, e_default>::value);
static_assert(std::is_base_of<e_failure, e_failure_read>::value && std::is_base_of<e_logic, e_logic_range>::value);

class FileTest : public ::testing::Test
{
protected:
    // A file of `bytes` in the temporary folder; returns its path.
    std::string fileWith(const QByteArray& bytes, const QString& name = "data.bin")
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeBytes(path, bytes));
        return path.toStdString();
    }

    QTemporaryDir dir;
};

// A read past the end, of a partial element or of nothing fails with "Unexpected end of
// file" after printing the stdio indicators (end-of-file, error).
TEST_F(FileTest, ShortReadsPrintIndicatorsAndThrowUnexpectedEnd)
{
    // two reads of that many bytes; the second fails
    const struct { const char* name; QByteArray bytes; std::size_t first, second; const char* printed; } cases[] = {
        {"read at the end", "12345678", 8, 4, "1 0"},
        {"partial element", "123456", 4, 4, "1 0"},
        {"zero-length read", "12345678", 0, 0, "0 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        File file(fileWith(c.bytes));
        file.openRead();
        char buffer[8];
        if (c.first > 0) {
            file.read(buffer, c.first);
            EXPECT_EQ(std::string(buffer, c.first), c.bytes.left(int(c.first)).toStdString());
        }
        testing::internal::CaptureStdout();
        EXPECT_EQ(messageOf<e_failure_read>([&] { file.read(buffer, c.second); }), "Unexpected end of file");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}

TEST_F(FileTest, EveryDataOperationOnAClosedFileThrowsNotOpened)
{
    File file(fileWith(QByteArray("12345678")));
    char buffer[4] = {};
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"tell", [&] { file.tell(); }},
        {"size", [&] { file.size(); }},
        {"eof", [&] { file.eof(); }},
        {"read", [&] { file.read(buffer, 4); }},
        {"write", [&] { file.write(buffer, 4); }},
        {"seek", [&] { file.seek(0); }},
        {"flush", [&] { file.flush(); }},
        {"rewind", [&] { file.rewind(); }},
        {"seekEnd", [&] { file.seekEnd(); }},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.first);
        EXPECT_EQ(messageOf<e_logic_state>(operation.second), "File not opened");
        EXPECT_FALSE(file.isOpened());
    }
}

// A failed open leaves the file closed with its name, each mode naming itself; close (even of
// a file never opened) forgets the name; reopening an open file keeps it and starts again.
TEST_F(FileTest, OpenFailuresCloseAndReopen)
{
    const auto openRead = [](File& file) {
        return messageOf<e_failure_open>([&] { file.openRead(); });
    };
    File file(fileWith(QByteArray("abcd")));
    file.close();
    EXPECT_EQ(openRead(file), "Error while opening file in read mode");
    file.setName(dir.filePath("late.bin").toStdString());
    EXPECT_EQ(openRead(file), "Error while opening file in read mode");
    EXPECT_FALSE(file.isOpened());
    EXPECT_TRUE(file.isGood());
    fileWith(QByteArray("abcdefgh"), "late.bin");
    file.openRead();
    file.seek(6);
    file.openRead();
    EXPECT_TRUE(file.isOpened());
    EXPECT_EQ(file.tell(), 0);
    char buffer[8];
    file.read(buffer, 8);
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
    file.close();
    EXPECT_FALSE(file.isOpened());
    EXPECT_EQ(openRead(file), "Error while opening file in read mode");

    File folder(dir.path().toStdString());
    EXPECT_EQ(messageOf<e_failure_open>([&] { folder.openWrite(); }), "Error while opening file in write mode");
    EXPECT_EQ(messageOf<e_failure_open>([&] { folder.openAppend(); }), "Error while opening file in write mode");
    EXPECT_FALSE(folder.isOpened());
}

TEST_F(FileTest, WrittenBytesReadBackUnchanged)
{
    const std::string path = dir.filePath("written.bin").toStdString();
    const float values[3] = {1.5f, -0.0f, 3.0e-38f};
    {
        File file(path);
        file.openWrite();
        file.write(values, sizeof values);
        file.rewind();
        float back[3];
        file.read(back, sizeof back);
        EXPECT_EQ(std::memcmp(back, values, sizeof values), 0);
    }
    File file(path);
    file.openRead();
    file.seek(8);
    EXPECT_EQ(file.size(), long(sizeof values));
    EXPECT_EQ(file.tell(), 8) << "size keeps the position";
    file.seekEnd();
    EXPECT_EQ(file.tell(), long(sizeof values));

    File appended(fileWith(QByteArray("abc")));
    appended.openAppend();
    appended.rewind();
    appended.write("de", 2);
    appended.rewind();
    char buffer[5];
    appended.read(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "abcde") << "append writes at the end";
}

TEST_F(FileTest, AnErrorIndicatorMakesLaterWritesSeeksAndFlushesFail)
{
    {
        File file(fileWith(QByteArray("abcd")));
        file.openRead();
        EXPECT_EQ(messageOf<e_failure_write>([&] { file.write("x", 1); }), "Error writing file");
        EXPECT_EQ(messageOf<e_failure_open>([&] { file.seek(0); }), "Error while seeking file");
        EXPECT_EQ(messageOf<e_failure_write>([&] { file.flush(); }), "Error flushing file");
        EXPECT_EQ(messageOf<e_failure_write>([&] { file.close(); }), "Error flushing file");
        EXPECT_TRUE(file.isOpened()); // a failing close leaves it open
        char buffer[8];
        testing::internal::CaptureStdout();
        EXPECT_EQ(messageOf<e_failure_read>([&] { file.read(buffer, 8); }), "Error reading file");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "1 1");
    } // the destructor swallows the flush failure
}

} // namespace
