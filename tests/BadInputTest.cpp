// The bad-input matrix: every file Visagio reads but did not write, damaged in the ways files
// get damaged, and videos that cannot be played. Each case must end with the program's own
// clear message (or, where the program skips what it cannot use, with the same result as
// without the damaged file), without a crash, without allocating more than a few megabytes
// (the loaders run under runCapped), and without changing anything on disk.
#include "AnnotatedFaceList.h"
#include "Application.h"
#include "CappedRun.h"
#include "Errors.h"
#include "FaceDetector.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "FaceVideos.h"
#include "MessageBoxCloser.h"
#include "ModelFiles.h"
#include "RunFolder.h"
#include "TestData.h"
#include "Webcam.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

// What a case may add to its resident memory: the model (1.2 MiB, held twice while it loads),
// a few decoded photographs and the image plug-ins, with room to spare.
constexpr long kAllowedGrowth = 32L << 20;
constexpr int kValues = kSampleWidth * kSampleHeight;
constexpr int kFeatures = 200;
constexpr int kModelBytes = 8 + 4 * (2 * kValues + kFeatures + kFeatures * kValues);

const QString kGlasgow = QString(kForeignFacesPath) + "glasgow/";
const QString kFeret = QString(kForeignFacesPath) + "feret/";
const char* const kNoCascade = "Haar cascade for face is not loaded";
// Lines that are no text, one of them with enough parts to be a record.
const char kBinaryLines[] = "\x00\xff\xfe\x01 \x80\x81\x82\n\x7f\x00 1 2 3 4 5 6 7 8 9\n\xc3\x28\n";

void expectSmallFootprint(const CappedOutcome& outcome)
{
    if (underAddressSanitizer())
        return;
    EXPECT_GE(outcome.peakGrowth, 0) << "peak not measured";
    EXPECT_LE(outcome.peakGrowth, kAllowedGrowth) << "resident memory grew by " << outcome.peakGrowth << " bytes";
}

// Builds the matcher in the working directory, as the window does, and says how it ended.
CappedOutcome buildMatcher()
{
    CappedOutcome outcome;
    CapturedLog log; // keeps the matcher's diagnostics out of the output
    testing::internal::CaptureStdout();
    std::unique_ptr<FaceMatcher> matcher;
    try {
        matcher = std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight);
        outcome.error = "none";
    } catch (const e_default& error) {
        std::string type = typeid(error).name(); // "14e_failure_open": the length, then the name
        outcome.error = type.substr(type.find_first_not_of("0123456789")) + ": " + error.message();
    }
    outcome.printed = testing::internal::GetCapturedStdout();
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

// The application the whole program runs in, made once and kept to the end of the process
// (the window needs a QApplication; destroying one among the static objects is not safe).
QApplication& offscreenApplication()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "BadInputTest";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

QByteArray int32Bytes(std::int32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}
QByteArray modelBytes(int nv, int nh, const QString& scratch)
{
    const QString path = QDir(scratch).filePath("made.grbm");
    writeModelFile(path, randomModel(nv, nh, 5));
    const QByteArray bytes = readBytes(path);
    QFile::remove(path);
    return bytes;
}

// A run directory of the test's own (cascades, a valid model, an empty foreign base) as the
// working directory.
class BadInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* path : {kFaceCascadePath, kEyeCascadePath})
            ASSERT_TRUE(writeBytes(inRun(path), readBytes(QDir(runDir()).filePath(path))));
    }

    QString inRun(const QString& relative) const { return QDir(temp.filePath("run")).filePath(relative); }

    // Snapshot of everything the test made, before the case runs.
    void remember() { before = folderSnapshot(temp.path()); }
    void expectDiskUnchanged() { EXPECT_EQ(folderSnapshot(temp.path()), before) << "a file was changed"; }

    // The matcher built in the run directory, capped, with nothing changed on disk.
    CappedOutcome buildCapped()
    {
        remember();
        const CappedOutcome outcome = runCapped(buildMatcher);
        expectSmallFootprint(outcome);
        expectDiskUnchanged();
        return outcome;
    }

    QTemporaryDir temp;
    ScopedWorkingDirectory workingDirectory{prepareMatcherRunDir(temp.filePath("run"), 11)};
    QMap<QString, QByteArray> before;
};

// ---------------------------------------------------------------------------------------------
// The model file: the one table of its damage. Each row is loaded by the matcher under the cap
// (the loader's message and stdio indicators), then by the whole program (exit code 1, the
// message naming the model file on standard error and in a message box).

TEST_F(BadInputTest, EveryDamagedModelEndsWithTheLoadersMessage)
{
    QApplication& app = offscreenApplication();
    const QByteArray valid = modelBytes(kValues, kFeatures, temp.path());
    const QByteArray rest = valid.mid(8);
    const std::string early = "e_failure_read: Unexpected end of file";
    const std::string shape = "e_logic_argument: incorrect RBM configuration";
    enum Place { Missing, File, Folder };
    // error: how building the matcher ends; printed: the stdio indicators of the failed read.
    const struct { std::string name; Place place; QByteArray bytes; std::string error, printed; } cases[] = {
        {"missing", Missing, {}, "e_failure_open: Error while opening file in read mode", ""},
        {"a folder", Folder, {}, "e_failure_read: Error reading file", "0 1"},
        {"empty", File, QByteArray(), early, "1 0"},
        {"truncated in the header", File, valid.left(6), early, "1 0"},
        {"header only", File, valid.left(8), early, "1 0"},
        {"truncated in the weights", File, valid.left(kModelBytes - 1000), early, "1 0"},
        {"one float short", File, valid.left(kModelBytes - 4), early, "1 0"},
        {"negative visible count", File, int32Bytes(-kValues) + valid.mid(4), early, "1 0"},
        {"negative hidden count", File, valid.left(4) + int32Bytes(-1) + rest, early, "1 0"},
        {"counts claiming 4 GiB", File, valid.left(4) + int32Bytes(1 << 20) + rest, early, "1 0"},
        {"counts of 2^30 x 2^30", File, int32Bytes(1 << 30) + int32Bytes(1 << 30) + rest, early, "1 0"},
        {"largest counts", File, int32Bytes(INT32_MAX) + int32Bytes(INT32_MAX) + rest, early, "1 0"},
        {"zero visible units", File, int32Bytes(0) + valid.mid(4), early, "0 0"},
        {"zero hidden units", File, valid.left(4) + int32Bytes(0) + rest, early, "0 0"},
        {"wrong shape 1575 x 100", File, modelBytes(kValues, 100, temp.path()), shape, ""},
        {"wrong shape 1500 x 200", File, modelBytes(1500, kFeatures, temp.path()), shape, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(inRun(kModelPath));
        if (c.place == File) {
            ASSERT_TRUE(writeBytes(inRun(kModelPath), c.bytes));
        } else if (c.place == Folder) {
            ASSERT_TRUE(QDir().mkpath(inRun(kModelPath)));
        }
        const CappedOutcome outcome = buildCapped();
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.printed, c.printed);
        EXPECT_EQ(outcome.foreignCount, -1);

        remember();
        MessageBoxCloser closer;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const QTemporaryDir profile;
        const int code = runVisagio(app, StartOptions{QString(), profile.path(), QString(), "ru", {}, {}});
        testing::internal::GetCapturedStdout();
        const std::string errors = testing::internal::GetCapturedStderr();
        const std::string message = std::string(kModelPath) + ": " + c.error.substr(c.error.find(": ") + 2);
        EXPECT_EQ(code, 1);
        EXPECT_NE(errors.find("Visagio cannot start: " + message + "\n"), std::string::npos) << errors;
        EXPECT_EQ(closer.texts, QStringList() << QString::fromStdString(message));
        expectDiskUnchanged();
        QDir(inRun(kModelPath)).removeRecursively();
    }
}

// Under the face-resnet a calibration, network (face-resnet or landmarks) or liveness file that
// is missing, damaged or fitted for other weights stops the start with a message naming the file; nothing falls back
// to a default scale, which would let every face open the lock, nor runs the liveness check
// on default weights.
TEST_F(BadInputTest, EveryDamagedResnetFileStopsTheStart)
{
    QApplication& app = offscreenApplication();
    const QString calibration = QString(kResnetFolder) + "face_recognition_model.calibration";
    const QString weights = QString(kResnetFolder) + "face_recognition_model.bin";
    const QByteArray sound = readBytes(QDir(runDir()).filePath(calibration));
    const QString header = "format = 1\nmodel_sha256 = %1\ndistance = %2\ndistance_scale = %3\n";
    const QString sha = QString::fromUtf8(sound).section("model_sha256 = ", 1).section('\n', 0, 0);
    const QString liveness = kLivenessModelPath;
    const QString landmarks = QString(kLandmarksFolder) + "face_landmark_68_model.bin";
    const struct { const char* name; QString file; QByteArray bytes; QString message; } cases[] = {
        {"no calibration", calibration, QByteArray(), "cannot be read"},
        {"scale zero", calibration, header.arg(sha, "cosine", "0").toUtf8(), "distance_scale is not a positive number"},
        {"unknown distance", calibration, header.arg(sha, "manhattan", "1700").toUtf8(), "unknown distance"},
        {"other weights", calibration, header.arg("00ff", "cosine", "1700").toUtf8(), "fitted for another model"},
        {"truncated weights", weights, readBytes(QDir(runDir()).filePath(weights)).left(4096), "bytes, expected"},
        {"no landmark weights", landmarks, QByteArray(), "No such file or directory"},
        {"no liveness model", liveness, QByteArray(), "cannot be read"},
        {"liveness without weights", liveness, "format = 1\nfeatures = colour-lbp-1\n", "no mean"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& path : {calibration, weights, liveness, landmarks,
                                    QString(kResnetFolder) + "face_recognition_model-weights_manifest.json",
                                    QString(kLandmarksFolder) + "face_landmark_68_model-weights_manifest.json"}) {
            QDir().mkpath(QFileInfo(inRun(path)).path());
            QFile::remove(inRun(path));
            ASSERT_TRUE(writeBytes(inRun(path), readBytes(QDir(runDir()).filePath(path))));
        }
        QFile::remove(inRun(c.file));
        if (!c.bytes.isNull())
            ASSERT_TRUE(writeBytes(inRun(c.file), c.bytes));
        remember();
        MessageBoxCloser closer;
        CapturedLog log;
        testing::internal::CaptureStderr();
        const QTemporaryDir profile;
        const int code = runVisagio(app, StartOptions{QString(), profile.path(), QString(), "ru", "resnet", {}});
        const QString errors = QString::fromStdString(testing::internal::GetCapturedStderr());
        const QString step = c.file == liveness    ? liveness
                             : c.file == landmarks ? QString(kLandmarksFolder)
                                                   : QString(kResnetFolder);
        EXPECT_EQ(code, 1);
        EXPECT_TRUE(errors.contains("Visagio cannot start: " + step + ": " + c.file + ": ")) << errors.toStdString();
        EXPECT_TRUE(errors.contains(c.message)) << errors.toStdString();
        expectDiskUnchanged();
    }
}

// The measures are real: the valid model loads within them, an allocation of a few hundred
// megabytes shows in the peak, and one of gigabytes fails.
TEST_F(BadInputTest, TheMeasuresPassTheValidModelAndCatchLargeAllocations)
{
    const CappedOutcome valid = buildCapped();
    EXPECT_EQ(valid.error, "none");
    EXPECT_EQ(valid.foreignCount, 0);
    if (underAddressSanitizer())
        GTEST_SKIP() << "no measures under AddressSanitizer";
    const auto allocate = [](std::size_t bytes) {
        return [bytes] {
            std::vector<char> block(bytes, 1);
            return CappedOutcome(block.back() == 1 ? "allocated" : "?");
        };
    };
    const CappedOutcome medium = runCapped(allocate(std::size_t(256) << 20));
    EXPECT_EQ(medium.error, "allocated");
    EXPECT_GT(medium.peakGrowth, 200L << 20);
    EXPECT_EQ(runCapped(allocate(std::size_t(4) << 30)).error, "out of memory");
}

// ---------------------------------------------------------------------------------------------
// The face cascade: loading never fails, every frame does, with the cascade message and no
// face (how the window shows that message is MainWindowTest's).

TEST_F(BadInputTest, EveryDamagedCascadeFailsEachFrame)
{
    const QByteArray real = readBytes(QDir(runDir()).filePath(kFaceCascadePath));
    const struct { std::string name; bool missing; QByteArray bytes; } cases[] = {
        {"missing", true, {}},
        {"empty", false, QByteArray()},
        {"text", false, "not a cascade at all\n"},
        {"binary", false, QByteArray(4096, '\xa5')},
        {"truncated cascade", false, real.left(real.size() / 3)},
        {"XML of something else", false,
         "<?xml version=\"1.0\"?>\n<opencv_storage>\n<matrix type_id=\"opencv-matrix\"><rows>1</rows>"
         "<cols>1</cols><dt>f</dt><data>1.</data></matrix>\n</opencv_storage>\n"},
        {"cascade cut before its stages", false,
         real.left(real.indexOf("<stages>")) + "<stages></stages></cascade>\n</opencv_storage>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(inRun(kFaceCascadePath));
        if (!c.missing) {
            ASSERT_TRUE(writeBytes(inRun(kFaceCascadePath), c.bytes));
        }
        remember();
        const CappedOutcome loaded = runCapped([] {
            FaceDetector detector;
            return CappedOutcome("none");
        });
        EXPECT_EQ(loaded.error, "none");
        expectSmallFootprint(loaded);
        FaceDetector detector;
        for (int frame = 0; frame < 2; ++frame) {
            try {
                detector.processFrame(faceFreeFrame(frame));
                ADD_FAILURE() << "frame " << frame << " passed";
            } catch (const std::logic_error& error) {
                EXPECT_STREQ(error.what(), kNoCascade);
            }
            EXPECT_FALSE(detector.found());
            EXPECT_EQ(detector.faceRect(), cv::Rect());
            EXPECT_TRUE(detector.copyImage(0).empty());
        }
        expectDiskUnchanged();
    }
}

// A missing eye cascade changes nothing: the face is found where the complete detector finds it.
TEST_F(BadInputTest, AMissingEyeCascadeChangesNothing)
{
    REQUIRE_FACEDATA();
    QFile::remove(inRun(kEyeCascadePath));
    const cv::Mat frame = placeInFrame(loadFacedataImage("essex_faces94_female/Training/13/mbutle.1.jpg"));
    FaceDetector withoutEyes;
    FaceDetector complete(QDir(runDir()).filePath(kFaceCascadePath).toStdString(),
                          QDir(runDir()).filePath(kEyeCascadePath).toStdString());
    withoutEyes.processFrame(frame);
    complete.processFrame(frame);
    ASSERT_TRUE(complete.found());
    EXPECT_TRUE(withoutEyes.found());
    EXPECT_EQ(withoutEyes.faceRect(), complete.faceRect());
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
    static QStringList goodLines(int without = -1)
    {
        QStringList lines;
        for (int i = 0; i < kRecords; ++i)
            if (i != without)
                lines << QString("f%1 %2 80 %3 80 70 110 70 150").arg(i).arg(40 + i).arg(100 + i);
        return lines;
    }

    void writeCoords(const QByteArray& text) { ASSERT_TRUE(writeBytes(inRun(kFeret) + "coords.txt", text)); }
    void writeGoodCoords(int without = -1) { writeCoords(goodLines(without).join('\n').toUtf8() + "\n"); }
};

// Every damaged record is skipped without a draw: the base is the one the good records make.
TEST_F(BadForeignBaseTest, DamagedIndexRecordsAreSkippedWithoutADraw)
{
    writeGoodCoords();
    const CappedOutcome clean = buildCapped();
    ASSERT_EQ(clean.error, "none");
    ASSERT_GT(clean.foreignCount, 0);
    const QString good = goodLines().join("\n");
    const QByteArray binary(kBinaryLines, sizeof kBinaryLines - 1);
    const std::vector<std::pair<std::string, QByteArray>> cases = {
        {"blank lines", ("\n\n   \n\t\n" + goodLines().join("\n\n \n") + "\n\n\n").toUtf8()},
        {"garbage bytes between records", binary + good.toUtf8() + "\n" + binary},
        {"garbage words", ("one two three\n" + good + "\nx y z w v u t s r q\n").toUtf8()},
        {"huge numbers", (good + "\nf0 4294967295 80 100 80 70 110 70 150"
                                 "\nf1 40 4294967295 100 80 70 110 70 4294967295"
                                 "\nf2 2147483648 0 0 0 0 0 0 2147483647"
                                 "\nf3 0 2147483648 0 0 0 0 0 0"
                                 "\nf4 99999999999 80 0 80 70 110 70 150\n").toUtf8()},
        {"coordinates far outside the photograph",
         (good + "\nf0 0 0 3000 0 0 0 0 4000\nf1 100000 100000 100200 100000 0 0 0 100300"
                 "\nf2 40 80 100000 80 70 110 70 150\n").toUtf8()},
        {"second eye left of the first", (good + "\nf2 120 80 60 80 90 110 90 150\n").toUtf8()},
        {"records of photographs that are not there", (good + "\nnobody 40 80 100 80 70 110 70 150\n").toUtf8()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        writeCoords(c.second);
        const CappedOutcome outcome = buildCapped();
        EXPECT_EQ(outcome.error, "none");
        EXPECT_TRUE(outcome.finite);
        EXPECT_EQ(outcome.foreignCount, clean.foreignCount);
        EXPECT_EQ(outcome.digest, clean.digest) << "another selection of faces";
    }
}

// An unreadable photograph is skipped without a draw: the base is the one made without it. A
// truncated one is decoded as far as it goes; a folder in place of the index holds no records.
TEST_F(BadForeignBaseTest, DamagedPhotographsAreSkippedWithoutADraw)
{
    // record: the photograph's line in coords.txt; -1 for the first set.
    const struct { std::string name; QString path; QByteArray bytes; int record; } cases[] = {
        {"text in the first set", kGlasgow + "notes.png", "not an image\n", -1},
        {"zero bytes in the first set", kGlasgow + "empty.jpg", QByteArray(), -1},
        {"text named in coords.txt", kFeret + "f3.jpg", "not an image\n", 3},
        {"zero bytes named in coords.txt", kFeret + "f5.jpg", QByteArray(), 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeGoodCoords(c.record);
        const CappedOutcome expected = buildCapped();
        ASSERT_GT(expected.foreignCount, 0);
        const QByteArray original = readBytes(inRun(c.path));
        ASSERT_TRUE(writeBytes(inRun(c.path), c.bytes));
        writeGoodCoords();
        const CappedOutcome outcome = buildCapped();
        EXPECT_EQ(outcome.error, "none");
        EXPECT_TRUE(outcome.finite);
        EXPECT_EQ(outcome.digest, expected.digest);
        if (c.record < 0)
            QFile::remove(inRun(c.path));
        else
            ASSERT_TRUE(writeBytes(inRun(c.path), original));
    }

    const QByteArray jpeg = readBytes(inRun(kFeret) + "f0.jpg");
    for (int i = 0; i < kRecords; ++i)
        ASSERT_TRUE(writeBytes(inRun(kFeret) + QString("f%1.jpg").arg(i), jpeg.left(jpeg.size() / 2)));
    ASSERT_TRUE(writeBytes(inRun(kGlasgow) + "g0.png", readBytes(inRun(kGlasgow) + "g1.png").left(3000)));
    const CappedOutcome truncated = buildCapped();
    EXPECT_EQ(truncated.error, "none");
    EXPECT_TRUE(truncated.finite);

    QFile::remove(inRun(kFeret) + "coords.txt");
    ASSERT_TRUE(QDir().mkpath(inRun(kFeret) + "coords.txt"));
    EXPECT_EQ(buildCapped().error, "none");
    EXPECT_EQ(AnnotatedFaceList(inRun(kFeret)).size(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Videos (a stand-in camera that goes away is MainWindowTest's).

TEST_F(BadInputTest, UnplayableVideosYieldNoFramesAndNoError)
{
    const QByteArray whole = readBytes(writeEmptyVideo(temp.path(), "whole.avi", 30));
    ASSERT_FALSE(whole.isEmpty());
    const struct { std::string name; QByteArray bytes; int maxFrames; } cases[] = {
        {"text named x.avi", "this is not a video\n", 0},
        {"zero bytes", QByteArray(), 0},
        {"AVI cut after its header", whole.left(300), 0},
        {"AVI cut in the middle", whole.left(whole.size() / 2), 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = temp.filePath("x.avi");
        ASSERT_TRUE(writeBytes(path, c.bytes));
        remember();
        CapturedLog log;
        Webcam webcam;
        const bool started = webcam.start({path});
        int frames = 0;
        for (int i = 0; i < 40; ++i) {
            const cv::Mat frame = webcam.queryFrame(kFrameSize);
            if (!frame.empty()) {
                EXPECT_EQ(frame.size(), kFrameSize);
                ++frames;
            }
        }
        EXPECT_LE(frames, c.maxFrames);
        if (!started) {
            EXPECT_TRUE(log.lines().contains("capture error"));
        }
        EXPECT_TRUE(webcam.queryFrame(kFrameSize).empty()) << "the list is over";
        expectDiskUnchanged();
    }
}

} // namespace
