// The bad-input matrix: every file Visagio reads but did not write, damaged in the ways files
// get damaged, and a camera that ends or goes away. Each case must end with the program's own
// clear message (or, where the program skips what it cannot use, with the same result as
// without the damaged file), without a crash, without allocating more than a few megabytes,
// and without changing anything on disk.
//
// The matcher cases run in a forked child that measures how far its resident memory grows
// (the peak over what it had at the fork) and whose address space may not grow by more than
// kAddressSpaceCap, so a loader that believed a damaged header either fails there with "out of
// memory" or shows its allocation in the peak. AddressSanitizer reserves terabytes of address
// space and keeps freed memory in quarantine, so a sanitizer build runs the same cases
// in-process without either measure, checking their messages and results only.
#include "AnnotatedFaceList.h"
#include "Application.h"
#include "Errors.h"
#include "FaceDetector.h"
#include "FaceMatcher.h"
#include "FaceVideos.h"
#include "MainWindow.h"
#include "ModelFiles.h"
#include "TestData.h"
#include "Webcam.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VISAGIO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VISAGIO_UNDER_ASAN 1
#endif
#endif
#ifndef VISAGIO_UNDER_ASAN
#define VISAGIO_UNDER_ASAN 0
#endif

namespace {

constexpr bool kUnderAddressSanitizer = VISAGIO_UNDER_ASAN;
// What a case may add to its resident memory: the model (1.2 MiB, held twice while it loads),
// a few decoded photographs and the image plug-ins, with room to spare.
constexpr long kAllowedGrowth = 32L << 20;
// What a child may add to its address space before an allocation fails.
constexpr long kAddressSpaceCap = 1L << 30;
constexpr int kWidth = 35;
constexpr int kHeight = 45;
constexpr int kValues = kWidth * kHeight;
constexpr int kFeatures = 200;
constexpr int kModelBytes = 8 + 4 * (2 * kValues + kFeatures + kFeatures * kValues);
const cv::Size kFrameSize(320, 240);

const char* const kModelPath = "glasgow-45x35/200/100-res.grbm";
const char* const kGlasgow = "foreignfaces/all/glasgow/";
const char* const kFeret = "foreignfaces/all/feret/";
const char* const kNoCascade = "Haar cascade for face is not loaded";
const char* const kCameraGone = "Webcam: Can't query frame from webcam";
const char* const kNoVideos = "Cant load videos";
// Lines that are no text, one of them with enough parts to be a record.
const char kBinaryLines[] = "\x00\xff\xfe\x01 \x80\x81\x82\n\x7f\x00 1 2 3 4 5 6 7 8 9\n\xc3\x28\n";

// ---------------------------------------------------------------------------------------------
// The application object the window cases need, made once and destroyed after the last test.

class QtEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { app.reset(); }

    static QApplication& application()
    {
        if (!app) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QApplication>(argc, argv);
        }
        return *app;
    }

private:
    static inline int argc = 1;
    static inline char name[] = "BadInputTest";
    static inline char* argv[] = {name, nullptr};
    static inline std::unique_ptr<QApplication> app;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Closes every message box that opens while it lives, remembering the texts.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(5);
    }
    QStringList texts;

private:
    QTimer timer;
};

// ---------------------------------------------------------------------------------------------
// What a case ended with, in a form a forked child can hand back through a pipe.

struct Outcome
{
    Outcome(std::string error = std::string()) : error(std::move(error)) {}

    std::string error;     // "<class>: <message>", or "none"
    std::string printed;   // standard output during the case
    QStringList log;       // the Qt debug log during the case
    int foreignCount = -1; // faces of the foreign base, when a matcher was built
    bool finite = true;    // every foreign face vector finite
    QByteArray digest;     // hash of the foreign face vectors
    qint64 peakGrowth = 0; // growth of the resident memory at its peak, when measured

    QByteArray serialise() const
    {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QByteArray::fromStdString(error) << QByteArray::fromStdString(printed) << log << foreignCount
            << finite << digest << peakGrowth;
        return bytes;
    }

    static Outcome parse(const QByteArray& bytes)
    {
        Outcome outcome;
        QByteArray error, printed;
        QDataStream in(bytes);
        in >> error >> printed >> outcome.log >> outcome.foreignCount >> outcome.finite >> outcome.digest
            >> outcome.peakGrowth;
        outcome.error = error.toStdString();
        outcome.printed = printed.toStdString();
        return outcome;
    }
};

long addressSpaceBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(0).toLong() * sysconf(_SC_PAGESIZE);
}

void capAddressSpace(long growth)
{
    const rlim_t limit = rlim_t(addressSpaceBytes() + growth);
    rlimit cap{};
    getrlimit(RLIMIT_AS, &cap);
    cap.rlim_cur = limit;
    setrlimit(RLIMIT_AS, &cap);
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
qint64 statusBytes(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ":"))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Restarts the peak of the resident memory from the present size.
bool resetResidentPeak()
{
    QFile clear("/proc/self/clear_refs");
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

void writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, int(n));
    return bytes;
}

// Runs the case in a child with its address space capped, measuring the peak of its resident
// memory (in-process, unmeasured, under AddressSanitizer).
Outcome runCapped(const std::function<Outcome()>& action)
{
    if (kUnderAddressSanitizer)
        return action();
    int fds[2];
    if (pipe(fds) != 0)
        return {"pipe failed"};
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        capAddressSpace(kAddressSpaceCap);
        const bool measured = resetResidentPeak();
        const qint64 start = statusBytes("VmRSS");
        Outcome outcome;
        try {
            outcome = action();
        } catch (const std::bad_alloc&) {
            outcome = Outcome("out of memory");
        }
        outcome.peakGrowth = measured ? statusBytes("VmHWM") - start : -1;
        writeAll(fds[1], outcome.serialise());
        std::fflush(stdout);
        _exit(0);
    }
    ::close(fds[1]);
    const QByteArray bytes = readAll(fds[0]);
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return {"crashed with signal " + std::to_string(WTERMSIG(status))};
    if (bytes.isEmpty())
        return {"no outcome"};
    return Outcome::parse(bytes);
}

// No case may leave the footprint of a large allocation.
void expectSmallFootprint(const Outcome& outcome)
{
    EXPECT_GE(outcome.peakGrowth, 0) << "peak not measured";
    EXPECT_LE(outcome.peakGrowth, kAllowedGrowth) << "resident memory grew by " << outcome.peakGrowth << " bytes";
}

template <typename Error>
bool describe(const std::function<void()>& action, const char* name, std::string& error)
{
    try {
        action();
    } catch (const Error& caught) {
        error = std::string(name) + ": " + caught.message();
        return true;
    }
    return false;
}

// Builds the matcher in the working directory, as the window does, and says how it ended.
Outcome buildMatcher()
{
    Outcome outcome;
    CapturedLog log;
    testing::internal::CaptureStdout();
    std::unique_ptr<FaceMatcher> matcher;
    try {
        matcher = std::make_unique<FaceMatcher>(kWidth, kHeight);
        outcome.error = "none";
    } catch (const e_failure_open& error) {
        outcome.error = "e_failure_open: " + error.message();
    } catch (const e_failure_read& error) {
        outcome.error = "e_failure_read: " + error.message();
    } catch (const e_logic_argument& error) {
        outcome.error = "e_logic_argument: " + error.message();
    } catch (const e_default& error) {
        outcome.error = "e_default: " + error.message();
    } catch (const std::bad_alloc&) {
        outcome.error = "out of memory";
    } catch (const std::exception& error) {
        outcome.error = std::string("std::exception: ") + error.what();
    }
    outcome.printed = testing::internal::GetCapturedStdout();
    outcome.log = log.lines();
    if (matcher) {
        outcome.foreignCount = int(matcher->foreignCount());
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const std::vector<float>& v : matcher->foreignVectors()) {
            for (float value : v)
                outcome.finite = outcome.finite && std::isfinite(value);
            hash.addData(reinterpret_cast<const char*>(v.data()), int(v.size() * sizeof(float)));
        }
        outcome.digest = hash.result().toHex();
    }
    return outcome;
}

// ---------------------------------------------------------------------------------------------
// Files.

// Every file under a folder with its size, time and content hash.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QByteArray entry = QByteArray::number(info.size()) + " "
                           + QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        QFile file(path);
        if (info.isFile() && file.open(QIODevice::ReadOnly))
            entry += " " + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        files.insert(QDir(root).relativeFilePath(path), entry);
    }
    return files;
}

QByteArray int32Bytes(std::int32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

QByteArray modelBytes(int nv, int nh, const QString& scratch)
{
    const QString path = QDir(scratch).filePath("made.grbm");
    writeModelFile(path, randomModel(nv, nh, 5));
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(path);
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A photograph of grey noise (every crop differs).
QImage noisePhoto(int width, int height, unsigned seed)
{
    cv::Mat levels(height, width, CV_8UC1);
    cv::RNG(seed).fill(levels, cv::RNG::UNIFORM, 20, 200);
    QImage photo(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int g = levels.at<uchar>(y, x);
            photo.setPixel(x, y, qRgb(g, g, g));
        }
    return photo;
}

// A RIFF AVI whose only stream is 8 kHz mono PCM sound: a well-formed file without video.
QByteArray soundOnlyAvi()
{
    auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    auto chunk = [&](const char* id, const QByteArray& data) {
        QByteArray bytes = QByteArray(id, 4) + u32(quint32(data.size())) + data;
        if (data.size() % 2)
            bytes += '\0';
        return bytes;
    };
    auto list = [&](const char* type, const QByteArray& data) { return chunk("LIST", QByteArray(type, 4) + data); };
    const quint32 rate = 8000;
    const QByteArray sound(int(rate), char(128));
    QByteArray mainHeader = u32(0) + u32(rate) + u32(0) + u32(0x10) + u32(0) + u32(0) + u32(1) + u32(rate)
                            + u32(0) + u32(0) + QByteArray(16, '\0');
    QByteArray streamHeader = QByteArray("auds", 4) + u32(0) + u32(0) + u16(0) + u16(0) + u32(0) + u32(1)
                              + u32(rate) + u32(0) + u32(rate) + u32(rate) + u32(0xffffffff) + u32(1)
                              + QByteArray(8, '\0');
    QByteArray format = u16(1) + u16(1) + u32(rate) + u32(rate) + u16(1) + u16(8);
    const QByteArray headers = list("hdrl", chunk("avih", mainHeader) + list("strl", chunk("strh", streamHeader)
                                                                                    + chunk("strf", format)));
    const QByteArray movie = list("movi", chunk("01wb", sound));
    const QByteArray index = chunk("idx1", QByteArray("01wb", 4) + u32(0x10) + u32(4) + u32(quint32(sound.size())));
    return chunk("RIFF", QByteArray("AVI ", 4) + headers + movie + index);
}

template <typename T>
T* widget(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        throw std::runtime_error(std::string("widget missing: ") + name);
    return found;
}

void tick(MainWindow& window)
{
    QMetaObject::invokeMethod(&window, "timed", Qt::DirectConnection);
}

QString status(MainWindow& window)
{
    return widget<QLabel>(window, "_lblStatus")->text();
}

// ---------------------------------------------------------------------------------------------
// Fixture: a run directory of the test's own (cascades, a valid model, an empty foreign base)
// as the working directory, and a folder for videos beside it.

class BadInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(QDir().mkpath(run()) && QDir().mkpath(videos()));
        prepareMatcherRunDir(run(), 11);
        QDir(run()).mkpath("haarcascades");
        for (const char* name : {"haarcascade.xml", "haarcascade_eye_tree_eyeglasses.xml"})
            ASSERT_TRUE(QFile::copy(runDir() + "/haarcascades/" + name, run() + "/haarcascades/" + QString(name)));
        workingDirectory = std::make_unique<ScopedWorkingDirectory>(run());
        qputenv("VISAGIO_CAMERA_PACE", "0");
        qunsetenv("VISAGIO_CAMERA");
    }

    void TearDown() override
    {
        workingDirectory.reset();
        qunsetenv("VISAGIO_CAMERA");
    }

    QString run() const { return temp.filePath("run"); }
    QString videos() const { return temp.filePath("videos"); }
    QString inRun(const QString& relative) const { return QDir(run()).filePath(relative); }

    // Snapshot of everything the test made, before the case runs.
    void remember() { before = snapshot(temp.path()); }
    void expectDiskUnchanged() { EXPECT_EQ(snapshot(temp.path()), before) << "a file was changed"; }

    // The matcher built in the run directory, capped, with nothing changed on disk.
    Outcome buildCapped()
    {
        remember();
        const Outcome outcome = runCapped(buildMatcher);
        expectSmallFootprint(outcome);
        expectDiskUnchanged();
        return outcome;
    }

    static void report(const std::string& name, const Outcome& outcome)
    {
        std::printf("[ case     ] %s -> %s; printed \"%s\"; log: %s\n", name.c_str(), outcome.error.c_str(),
                    outcome.printed.c_str(), qPrintable(outcome.log.join(" | ")));
    }

    QTemporaryDir temp;
    std::unique_ptr<ScopedWorkingDirectory> workingDirectory;
    QMap<QString, QByteArray> before;
};

// ---------------------------------------------------------------------------------------------
// The model file.

class BadModelTest : public BadInputTest
{
protected:
    struct Case
    {
        std::string name;
        QByteArray bytes;     // the model file; ignored when missing
        bool missing;
        std::string error;    // how building the matcher ends
        std::string printed;  // the stdio indicators of the failed read
    };

    std::vector<Case> cases()
    {
        const QByteArray valid = modelBytes(kValues, kFeatures, temp.path());
        const QByteArray rest = valid.mid(8);
        const std::string early = "e_failure_read: Unexpected end of file";
        return {
            {"missing", {}, true, "e_failure_open: Error while opening file in read mode", ""},
            {"empty", QByteArray(), false, early, "1 0"},
            {"truncated in the header", valid.left(6), false, early, "1 0"},
            {"truncated in the weights", valid.left(kModelBytes - 1000), false, early, "1 0"},
            {"negative visible count", int32Bytes(-kValues) + valid.mid(4), false, early, "1 0"},
            {"negative hidden count", valid.left(4) + int32Bytes(-1) + rest, false, early, "1 0"},
            {"counts claiming 4 GiB", valid.left(4) + int32Bytes(1 << 20) + rest, false, early, "1 0"},
            {"largest counts", int32Bytes(INT32_MAX) + int32Bytes(INT32_MAX) + rest, false, early, "1 0"},
            {"zero hidden units", valid.left(4) + int32Bytes(0) + rest, false, early, "0 0"},
            {"wrong shape 1575 x 100", modelBytes(kValues, 100, temp.path()), false,
             "e_logic_argument: incorrect RBM configuration", ""},
            {"wrong shape 1500 x 200", modelBytes(1500, kFeatures, temp.path()), false,
             "e_logic_argument: incorrect RBM configuration", ""},
        };
    }

    void place(const Case& c)
    {
        QFile::remove(inRun(kModelPath));
        if (!c.missing) {
            ASSERT_TRUE(writeBytes(inRun(kModelPath), c.bytes));
        }
    }
};

TEST_F(BadModelTest, EveryDamageEndsWithTheLoadersMessage)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        place(c);
        const Outcome outcome = buildCapped();
        report("model " + c.name, outcome);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.printed, c.printed);
        EXPECT_EQ(outcome.foreignCount, -1);
    }
}

TEST_F(BadModelTest, AFolderInPlaceOfTheModelIsAReadError)
{
    QFile::remove(inRun(kModelPath));
    ASSERT_TRUE(QDir().mkpath(inRun(kModelPath)));
    const Outcome outcome = buildCapped();
    report("model path is a folder", outcome);
    EXPECT_EQ(outcome.error, "e_failure_read: Error reading file");
    EXPECT_EQ(outcome.printed, "0 1");
}

// The measures are real: the valid model loads within them, an allocation of a few hundred
// megabytes shows in the peak, and one of gigabytes fails.
TEST_F(BadModelTest, TheMeasuresPassTheValidModelAndCatchLargeAllocations)
{
    const Outcome valid = buildCapped();
    EXPECT_EQ(valid.error, "none");
    EXPECT_EQ(valid.foreignCount, 0);
    if (kUnderAddressSanitizer)
        GTEST_SKIP() << "no measures under AddressSanitizer";
    const auto allocate = [](std::size_t bytes) {
        return [bytes] {
            std::vector<char> block(bytes, 1);
            return Outcome(block.back() == 1 ? "allocated" : "?");
        };
    };
    const Outcome medium = runCapped(allocate(std::size_t(256) << 20));
    EXPECT_EQ(medium.error, "allocated");
    EXPECT_GT(medium.peakGrowth, 200L << 20);
    EXPECT_EQ(runCapped(allocate(std::size_t(4) << 30)).error, "out of memory");
}

// The whole program: exit code 1, the message on standard error and in a message box.
TEST_F(BadModelTest, TheProgramReportsEachDamageAndEndsWithOne)
{
    QtEnvironment::application();
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        place(c);
        remember();
        MessageBoxCloser closer;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const QTemporaryDir profile;
        const int code = runVisagio(*qApp, StartOptions{QString(), profile.path(), QString(), "ru"});
        testing::internal::GetCapturedStdout();
        const std::string errors = testing::internal::GetCapturedStderr();
        const std::string message = std::string(kModelPath) + ": " + c.error.substr(c.error.find(": ") + 2);
        std::printf("[ case     ] program, model %s -> exit %d, box \"%s\"\n", c.name.c_str(), code,
                    qPrintable(closer.texts.join(" | ")));
        EXPECT_EQ(code, 1);
        EXPECT_NE(errors.find("Visagio cannot start: " + message + "\n"), std::string::npos) << errors;
        EXPECT_EQ(closer.texts, QStringList() << QString::fromStdString(message));
        expectDiskUnchanged();
    }
}

// ---------------------------------------------------------------------------------------------
// The face cascade.

class BadCascadeTest : public BadInputTest
{
protected:
    struct Case
    {
        std::string name;
        QByteArray bytes;
        bool missing;
    };

    std::vector<Case> cases() const
    {
        const QByteArray real = fileBytes(runDir() + "/haarcascades/haarcascade.xml");
        return {
            {"missing", {}, true},
            {"empty", QByteArray(), false},
            {"text", "not a cascade at all\n", false},
            {"binary", QByteArray(4096, '\xa5'), false},
            {"truncated cascade", real.left(real.size() / 3), false},
            {"XML of something else",
             "<?xml version=\"1.0\"?>\n<opencv_storage>\n<matrix type_id=\"opencv-matrix\"><rows>1</rows>"
             "<cols>1</cols><dt>f</dt><data>1.</data></matrix>\n</opencv_storage>\n",
             false},
            {"cascade cut before its stages", real.left(real.indexOf("<stages>")) + "<stages></stages></cascade>\n"
                                                                            "</opencv_storage>\n",
             false},
        };
    }

    void place(const Case& c)
    {
        QFile::remove(inRun("haarcascades/haarcascade.xml"));
        if (!c.missing) {
            ASSERT_TRUE(writeBytes(inRun("haarcascades/haarcascade.xml"), c.bytes));
        }
    }
};

TEST_F(BadCascadeTest, EveryFrameFailsWithTheCascadeMessage)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        place(c);
        remember();
        const Outcome loaded = runCapped([] {
            CapturedLog log;
            FaceDetector detector;
            Outcome outcome{"none"};
            outcome.log = log.lines();
            return outcome;
        });
        report("cascade " + c.name, loaded);
        EXPECT_EQ(loaded.error, "none") << "loading a cascade never fails";
        expectSmallFootprint(loaded);
        FaceDetector detector;
        for (int frame = 0; frame < 2; ++frame) {
            try {
                detector.processFrame(faceFreeFrame(frame));
                ADD_FAILURE() << "frame " << frame << " passed";
            } catch (const std::logic_error& error) {
                EXPECT_STREQ(error.what(), kNoCascade);
            }
        }
        expectDiskUnchanged();
    }
}

// The window shows the message, stops its frame loop and stays usable.
TEST_F(BadCascadeTest, TheWindowStopsItsLoopWithTheMessage)
{
    QtEnvironment::application();
    const QString camera = writeEmptyVideo(videos(), "camera.avi", 10);
    ASSERT_FALSE(camera.isEmpty());
    qputenv("VISAGIO_CAMERA", camera.toLocal8Bit());
    place(cases()[4]);
    remember();
    MainWindow window(nullptr, QString());
    ASSERT_TRUE(window.cameraStarted());
    MessageBoxCloser closer;
    tick(window);
    EXPECT_EQ(closer.texts, QStringList() << kNoCascade);
    EXPECT_EQ(status(window), kNoCascade);
    expectDiskUnchanged();
}

// ---------------------------------------------------------------------------------------------
// The foreign-face base: "coords.txt" and the photographs.

class BadForeignBaseTest : public BadInputTest
{
protected:
    static constexpr int kRecords = 12;

    void SetUp() override
    {
        BadInputTest::SetUp();
        for (int i = 0; i < kRecords; ++i)
            ASSERT_TRUE(noisePhoto(200, 220, 300 + unsigned(i)).save(inRun(kFeret) + QString("f%1.jpg").arg(i), "JPG", 95));
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(noisePhoto(352, 576, 400 + unsigned(i)).save(inRun(kGlasgow) + QString("g%1.png").arg(i), "PNG"));
    }

    // Records of the photographs, eyes about 60 pixels apart, all crops inside.
    static QStringList goodLines()
    {
        QStringList lines;
        for (int i = 0; i < kRecords; ++i)
            lines << QString("f%1 %2 80 %3 80 70 110 70 150").arg(i).arg(40 + i).arg(100 + i);
        return lines;
    }

    void writeCoords(const QByteArray& text) { ASSERT_TRUE(writeBytes(inRun(kFeret) + "coords.txt", text)); }

    // The base made from the good records alone: what every damaged variant must give too.
    Outcome reference()
    {
        writeCoords(goodLines().join('\n').toUtf8() + "\n");
        const Outcome outcome = buildCapped();
        EXPECT_EQ(outcome.error, "none");
        EXPECT_GT(outcome.foreignCount, 0);
        return outcome;
    }
};

TEST_F(BadForeignBaseTest, DamagedIndexRecordsAreSkippedWithoutADraw)
{
    const Outcome clean = reference();
    const QStringList good = goodLines();
    const QByteArray binary(kBinaryLines, sizeof kBinaryLines - 1);
    struct Case
    {
        std::string name;
        QByteArray text;
    };
    const std::vector<Case> cases = {
        {"blank lines", ("\n\n   \n\t\n" + good.join("\n\n \n") + "\n\n\n").toUtf8()},
        {"garbage bytes between records", binary + good.join("\n").toUtf8() + "\n" + binary},
        {"garbage words", ("one two three\n" + good.join("\n") + "\nx y z w v u t s r q\n").toUtf8()},
        {"huge numbers", (good.join("\n") + "\nf0 4294967295 80 100 80 70 110 70 150"
                                            "\nf1 40 4294967295 100 80 70 110 70 4294967295"
                                            "\nf2 2147483648 0 0 0 0 0 0 2147483647"
                                            "\nf3 0 2147483648 0 0 0 0 0 0"
                                            "\nf4 99999999999 80 0 80 70 110 70 150\n")
                             .toUtf8()},
        {"coordinates far outside the photograph",
         (good.join("\n") + "\nf0 0 0 3000 0 0 0 0 4000\nf1 100000 100000 100200 100000 0 0 0 100300"
                            "\nf2 40 80 100000 80 70 110 70 150\n")
             .toUtf8()},
        {"records of photographs that are not there", (good.join("\n") + "\nnobody 40 80 100 80 70 110 70 150\n").toUtf8()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeCoords(c.text);
        const Outcome outcome = buildCapped();
        report("coords.txt " + c.name, outcome);
        EXPECT_EQ(outcome.error, "none");
        EXPECT_TRUE(outcome.finite);
        EXPECT_EQ(outcome.foreignCount, clean.foreignCount);
        EXPECT_EQ(outcome.digest, clean.digest) << "another selection of faces";
    }
}

// The records the fuzzer found, each alone: the first asked for a crop of 6900 x 10400 pixels
// (287 MB) from a 200 x 220 photograph, the others computed crop edges beyond int (undefined
// behaviour before the crop was checked). Each is a damaged record: a null crop.
TEST_F(BadForeignBaseTest, FuzzFindingsGiveNullCrops)
{
    const std::vector<QByteArray> findings = {
        "f0 0 0 3000 0 0 0 0 4000\n",
        "f0 4294967295 50 105 50 80 70 80 90\n",
        "f0 0 2147483648 0 0 0 0 0 0\n",
        "f0 2147483648 0 0 0 0 0 0 2147483647\n",
    };
    for (const QByteArray& line : findings) {
        SCOPED_TRACE(line.toStdString());
        writeCoords(line);
        remember();
        const Outcome outcome = runCapped([this] {
            CapturedLog log;
            const QImage crop = AnnotatedFaceList(inRun(kFeret)).at(0);
            Outcome result(crop.isNull() ? "null" : "crop " + std::to_string(crop.width()) + " x "
                                                        + std::to_string(crop.height()));
            result.log = log.lines();
            return result;
        });
        EXPECT_EQ(outcome.error, "null");
        expectSmallFootprint(outcome);
        expectDiskUnchanged();
    }
}

// A crop that lies outside the photograph but is of a sensible size is black: a face of no
// spread, whose vector is all zeros, never NaN.
TEST_F(BadForeignBaseTest, CropsOutsideThePhotographGiveFiniteVectors)
{
    writeCoords("f0 100000 100000 100060 100000 0 0 0 100070\nf1 0 0 60 0 0 0 0 4294967295\n");
    const AnnotatedFaceList list(inRun(kFeret));
    ASSERT_EQ(list.size(), 2u);
    const QImage outside = list.at(0);
    EXPECT_EQ(outside.size(), QSize(137, 181));
    EXPECT_EQ(qGray(outside.pixel(68, 90)), 0);
    EXPECT_TRUE(list.at(1).isNull()) << "a mouth four billion pixels down";
    FaceMatcher matcher(kWidth, kHeight);
    for (const std::vector<float>& v : matcher.foreignVectors())
        for (float value : v)
            ASSERT_TRUE(std::isfinite(value));
}

// An unreadable photograph is skipped without a draw: the base is the one made without it.
TEST_F(BadForeignBaseTest, PhotographsThatAreNoImagesAreSkippedWithoutADraw)
{
    struct Case
    {
        std::string name;
        QString path;
        QByteArray bytes;
        int record; // the record of the photograph in coords.txt; -1 for the first set
    };
    const std::vector<Case> cases = {
        {"text in the first set", QString(kGlasgow) + "notes.png", "not an image\n", -1},
        {"zero bytes in the first set", QString(kGlasgow) + "empty.jpg", QByteArray(), -1},
        {"text named in coords.txt", QString(kFeret) + "f3.jpg", "not an image\n", 3},
        {"zero bytes named in coords.txt", QString(kFeret) + "f5.jpg", QByteArray(), 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList without = goodLines();
        if (c.record >= 0)
            without.removeAt(c.record);
        writeCoords(without.join('\n').toUtf8() + "\n");
        const Outcome expected = buildCapped();
        ASSERT_GT(expected.foreignCount, 0);

        const QByteArray original = fileBytes(inRun(c.path));
        ASSERT_TRUE(writeBytes(inRun(c.path), c.bytes));
        writeCoords(goodLines().join('\n').toUtf8() + "\n");
        const Outcome outcome = buildCapped();
        report("photograph " + c.name, outcome);
        EXPECT_EQ(outcome.error, "none");
        EXPECT_TRUE(outcome.finite);
        EXPECT_EQ(outcome.digest, expected.digest);
        if (c.record < 0) {
            QFile::remove(inRun(c.path));
        } else {
            ASSERT_TRUE(writeBytes(inRun(c.path), original));
        }
    }
}

TEST_F(BadForeignBaseTest, ATruncatedPhotographIsDecodedAsFarAsItGoes)
{
    const QByteArray jpeg = fileBytes(inRun(kFeret) + "f0.jpg");
    for (int i = 0; i < kRecords; ++i)
        ASSERT_TRUE(writeBytes(inRun(kFeret) + QString("f%1.jpg").arg(i), jpeg.left(jpeg.size() / 2)));
    ASSERT_TRUE(writeBytes(inRun(kGlasgow) + "g0.png", fileBytes(inRun(kGlasgow) + "g1.png").left(3000)));
    writeCoords(goodLines().join('\n').toUtf8() + "\n");
    const Outcome outcome = buildCapped();
    report("photographs truncated", outcome);
    EXPECT_EQ(outcome.error, "none");
    EXPECT_TRUE(outcome.finite);
}

TEST_F(BadForeignBaseTest, AFolderInPlaceOfTheIndexGivesNoRecords)
{
    QFile::remove(inRun(kFeret) + "coords.txt");
    ASSERT_TRUE(QDir().mkpath(inRun(kFeret) + "coords.txt"));
    const Outcome outcome = buildCapped();
    EXPECT_EQ(outcome.error, "none");
    EXPECT_EQ(AnnotatedFaceList(inRun(kFeret)).size(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Test videos and the camera stand-in.

class BadVideoTest : public BadInputTest
{
protected:
    QString faceFree(const QString& name, int frames)
    {
        const QString path = writeEmptyVideo(videos(), name, frames);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }

    // Plays the list to its end (at most `limit` queries) and counts the frames.
    static int framesPlayed(Webcam& webcam, int limit)
    {
        int frames = 0;
        for (int i = 0; i < limit; ++i) {
            const cv::Mat frame = webcam.queryFrame(kFrameSize);
            if (!frame.empty()) {
                EXPECT_EQ(frame.size(), kFrameSize);
                ++frames;
            }
        }
        return frames;
    }
};

TEST_F(BadVideoTest, UnplayableFilesYieldNoFramesAndNoError)
{
    const QByteArray whole = fileBytes(faceFree("whole.avi", 30));
    struct Case
    {
        std::string name;
        QByteArray bytes;
        int maxFrames;
    };
    const std::vector<Case> cases = {
        {"text named x.avi", "this is not a video\n", 0},
        {"zero bytes", QByteArray(), 0},
        {"AVI cut after its header", whole.left(300), 0},
        {"AVI cut in the middle", whole.left(whole.size() / 2), 30},
        {"AVI without a video stream", soundOnlyAvi(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = QDir(videos()).filePath("x.avi");
        ASSERT_TRUE(writeBytes(path, c.bytes));
        remember();
        CapturedLog log;
        Webcam webcam;
        const bool started = webcam.start({path});
        const int frames = framesPlayed(webcam, 40);
        std::printf("[ case     ] video %s -> start %s, %d frames; log: %s\n", c.name.c_str(),
                    started ? "true" : "false", frames, qPrintable(log.lines().join(" | ")));
        EXPECT_LE(frames, c.maxFrames);
        if (!started) {
            EXPECT_TRUE(log.lines().contains("capture error"));
        }
        EXPECT_TRUE(webcam.queryFrame(kFrameSize).empty()) << "the list is over";
        expectDiskUnchanged();
    }
}

// "Открыть" on a directory whose only video cannot be played warns and changes nothing; one
// whose video is cut plays what there is and then shows "No input".
TEST_F(BadVideoTest, TheVideoTestWarnsOrRunsOutQuietly)
{
    QtEnvironment::application();
    const QString camera = faceFree("../camera.avi", 10);
    qputenv("VISAGIO_CAMERA", camera.toLocal8Bit());
    const QByteArray whole = fileBytes(faceFree("../whole.avi", 20));
    struct Case
    {
        std::string name;
        QByteArray bytes;
        bool warns;
    };
    const std::vector<Case> cases = {
        {"text named x.avi", "this is not a video\n", true},
        {"AVI without a video stream", soundOnlyAvi(), true},
        {"AVI cut in the middle", whole.left(whole.size() / 2), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeBytes(QDir(videos()).filePath("x.avi"), c.bytes));
        remember();
        MainWindow window(nullptr, videos());
        ASSERT_TRUE(window.cameraStarted());
        MessageBoxCloser closer;
        widget<QPushButton>(window, "_btnTest")->setEnabled(true);
        widget<QPushButton>(window, "_btnTest")->click();
        QStringList statuses;
        for (int i = 0; i < 25; ++i) {
            tick(window);
            statuses << status(window);
        }
        std::printf("[ case     ] video test %s -> boxes: %s; last status: %s\n", c.name.c_str(),
                    qPrintable(closer.texts.join(" | ")), qPrintable(statuses.last()));
        if (c.warns) {
            EXPECT_EQ(closer.texts, QStringList() << kNoVideos);
            EXPECT_EQ(widget<QPushButton>(window, "_btnTest")->text(), QString("Открыть"));
        } else {
            EXPECT_TRUE(closer.texts.isEmpty());
            EXPECT_EQ(statuses.last(), QString("No input"));
        }
        expectDiskUnchanged();
    }
}

// A stand-in camera that reaches its end starts again: the window never notices.
TEST_F(BadVideoTest, ACameraThatEndsStartsAgain)
{
    QtEnvironment::application();
    qputenv("VISAGIO_CAMERA", faceFree("short.avi", 3).toLocal8Bit());
    remember();
    MainWindow window(nullptr, QString());
    MessageBoxCloser closer;
    for (int i = 0; i < 20; ++i)
        tick(window);
    EXPECT_TRUE(closer.texts.isEmpty());
    EXPECT_EQ(status(window), QString("Лицо не найдено"));
    expectDiskUnchanged();
}

// A stand-in that disappears, or is cut short or emptied under the running window: the frames
// already buffered play out, then the window stops its loop with the camera message.
TEST_F(BadVideoTest, ACameraThatDisappearsStopsTheLoopWithTheMessage)
{
    QtEnvironment::application();
    struct Case
    {
        std::string name;
        std::function<void(const QString&)> damage;
    };
    const std::vector<Case> cases = {
        {"deleted", [](const QString& path) { QFile::remove(path); }},
        {"emptied", [](const QString& path) { QFile(path).resize(0); }},
        {"replaced by text", [](const QString& path) { writeBytes(path, "gone\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = faceFree("vanishing.avi", 6);
        qputenv("VISAGIO_CAMERA", path.toLocal8Bit());
        MainWindow window(nullptr, QString());
        ASSERT_TRUE(window.cameraStarted());
        tick(window);
        c.damage(path);
        MessageBoxCloser closer;
        int ticks = 0;
        for (; ticks < 40 && closer.texts.isEmpty(); ++ticks) {
            tick(window);
            QCoreApplication::processEvents();
        }
        std::printf("[ case     ] camera %s -> after %d ticks: %s\n", c.name.c_str(), ticks,
                    qPrintable(closer.texts.join(" | ")));
        EXPECT_EQ(closer.texts, QStringList() << kCameraGone);
        EXPECT_EQ(status(window), kCameraGone);
    }
}

} // namespace
