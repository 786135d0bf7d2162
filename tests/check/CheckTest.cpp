// visagio-check as a login runs it: the built program against profiles and stand-in videos,
// its exit status and its one line. Most cases need no network pass (a profile written here,
// refused or run on frames without a face); the answers on real faces enrol the owner through
// the window first and need the shared face data.
#include "CheckProcess.h"
#include "ChipGeometry.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "FaceVideos.h"
#include "GroupFolder.h"
#include "LivenessCheck.h"
#include "MadeUpProfile.h"
#include "MainWindow.h"
#include "OwnerProfile.h"
#include "PrivateFiles.h"
#include "ResnetCalibration.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "SessionVideo.h"
#include "TestData.h"
#include "WindowDriver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/videoio.hpp>

#include <csignal>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
// The window's enrolment needs this many ticks at most.
constexpr int kMaxEnrolTicks = 20000;
const char* const kGroupTrained = "Шаблон успешно добавлен. Макет в режиме ожидания.";

// The permission bits of a path, not following a link.
unsigned modeOf(const QString& path)
{
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// Names, modes and bytes of everything under `dir`.
std::map<QString, std::pair<unsigned, QByteArray>> treeOf(const QString& dir)
{
    std::map<QString, std::pair<unsigned, QByteArray>> tree;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        QFile file(entry.filePath());
        const bool plain = entry.isFile() && !entry.isSymLink();
        tree[entry.filePath()] = {modeOf(entry.filePath()), plain && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()};
    }
    return tree;
}

// The weights' SHA-256 that keys the shipped network's embeddings.
QString shippedWeightsKey()
{
    return ResnetCalibration::read(runDir() + "/" + kResnetFolder + ResnetCalibration::kFileName).modelSha256;
}

// Group `number` with chips cut by `aligner` and embeddings under `key` (samples only without
// chips).
void writeGroup(const QString& dir, int number, const QString& key, bool chips = true,
                const QString& aligner = kChipAligner)
{
    const QString folder = dir + "/group-" + QString::number(number);
    QVERIFY(makePrivateFolder(folder));
    writeGroupFolder(folder, madeUpGroup(chips ? key : QString(), number, aligner));
}

// A profile the check takes: the face-resnet with the liveness check on, and group-1.
void writeProfile(const QString& dir, const QString& key, bool chips = true, const QString& aligner = kChipAligner)
{
    QVERIFY(writeMadeUpProfile(dir, {chips ? key : QString()}, aligner));
}

// The seal's digest of `files` of the profile, read from the disk: path, NUL, length, newline, bytes.
QString digestOf(const QString& dir, const QStringList& files)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& name : files) {
        QFile file(dir + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray bytes = file.readAll();
        hash.addData(name.toUtf8() + '\0' + QByteArray::number(bytes.size()) + '\n' + bytes);
    }
    return hash.result().toHex();
}

void replaceFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QFile::remove(path));
    QVERIFY(writePrivateFile(path, bytes));
}

QString checkInfo(const CheckResult& result)
{
    return QString("status %1, signal %2, %3 s: %4\n%5").arg(result.status).arg(result.signal).arg(result.seconds)
        .arg(QString::fromStdString(result.out), QString::fromStdString(result.err).right(2000));
}
}  // namespace

class CheckTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usageIsStatusTwoAndHelpNeedsNothing();
    void everyRefusalIsStatusThreeNamingWhatToFix();
    void aRunWithoutAFaceSaysSoAtItsTimeoutAndChangesNothing();
    void aStopSignalEndsTheRunAtOnce();
    void darknessAfterLightIsNoNeverCannotRun();
    void anExpectedSealCoversTheFilesOfTheGroupsUsed();
    void ownerOpensStrangersAndHisPhotographDoNot();
    void windowUnderAnOpenUmaskNeverExposesAFile();

private:
    QString faceless;  // a paced faceless video
    QTemporaryDir videos;
};

void CheckTest::initTestCase()
{
    QDir::setCurrent(runDir());
    faceless = writeEmptyVideo(videos.path(), "faceless.avi", 30, 10.0);
    QVERIFY(!faceless.isEmpty());
}

void CheckTest::usageIsStatusTwoAndHelpNeedsNothing()
{
    for (const QStringList& arguments : {QStringList{"--frobnicate"}, QStringList{"--timeout", "0"},
                                         QStringList{"--timeout", "31"}, QStringList{"--timeout", "abc"},
                                         QStringList{"--timeout", "4.0"}, QStringList{"extra"},
                                         QStringList{"--expect-seal", QString(63, 'a')},
                                         QStringList{"--expect-seal", QString(64, 'A')},
                                         QStringList{"--seal", "--timeout", "4"},
                                         QStringList{"--unseal", "--profile", "/tmp"},
                                         QStringList{"--seal", "--unseal"}}) {
        const CheckResult result = runCheckProcess(arguments);
        QVERIFY2(result.status == 2 && result.out.empty(), qPrintable(arguments.join(' ') + ": " + checkInfo(result)));
        QVERIFY2(result.err.find("Usage:") != std::string::npos, result.err.c_str());
    }
    const QStringList nothing = {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "VISAGIO_CAMERA",
                                 "HOME=/nonexistent", "VISAGIO_DATA=/nonexistent"};
    const CheckResult help = runCheckProcess({"--help"}, nothing);
    QVERIFY2(help.status == 0 && help.out.find("--timeout") != std::string::npos, qPrintable(checkInfo(help)));
    const CheckResult version = runCheckProcess({"--version"}, nothing);
    QCOMPARE(QString::fromStdString(version.line()), QString("visagio-check %1").arg(VISAGIO_VERSION));
}

// Each cause is refused at once, naming the file or folder at fault; the profile stays as it was.
void CheckTest::everyRefusalIsStatusThreeNamingWhatToFix()
{
    QTemporaryDir temp;
    const QString profile = temp.filePath("profile");
    const QString group = profile + "/group-1";
    const QString key = shippedWeightsKey();
    QTemporaryDir dark;
    std::vector<cv::Mat> black(30, cv::Mat(kFrameSize, CV_8UC3, cv::Scalar::all(3)));
    QVERIFY(writeVideoFile(dark.filePath("dark.avi"), black, 10.0));
    struct Cause
    {
        const char* name;
        std::function<void()> damage;
        QString named;  // the path the line must name (a phrase for the camera causes)
        QStringList extraArguments;
        double within;  // seconds
    };
    const std::vector<Cause> causes = {
        {"missing folder", [&] { QDir(profile).removeRecursively(); }, profile, {}, 1.0},
        {"grbm", [&] { replaceFile(profile + "/features.txt", "grbm\n"); }, profile, {}, 1.0},
        {"liveness off", [&] { replaceFile(profile + "/liveness.txt", "off\n"); }, profile, {}, 1.0},
        {"all format 1",
         [&] {
             QDir(profile).removeRecursively();
             writeProfile(profile, key, false);
         },
         "every group in " + profile + " was enrolled for grbm; enrol again with visagio --features resnet", {}, 1.0},
        {"other weights",
         [&] {
             QDir(profile).removeRecursively();
             writeProfile(profile, QString(64, 'b'));
         },
         profile, {}, 5.0},
        {"chips of the earlier alignment",
         [&] {
             QDir(profile).removeRecursively();
             writeProfile(profile, key, true, QString());
         },
         profile, {}, 5.0},
        {"damaged embeddings", [&] { QVERIFY(QFile(group + "/embeddings.bin").resize(100)); }, group, {}, 1.0},
        {"sample others can read", [&] { QVERIFY(::chmod(QFile::encodeName(group + "/sample-002.png"), 0604) == 0); },
         group + "/sample-002.png", {}, 1.0},
        {"group-writable parent", [&] { QVERIFY(::chmod(QFile::encodeName(temp.path()), 0770) == 0); }, temp.path(), {}, 1.0},
        {"symlinked profile",
         [&] {
             QVERIFY(QDir().rename(profile, temp.filePath("real")));
             QVERIFY(QFile::link(temp.filePath("real"), profile));
         },
         profile, {}, 1.0},
        {"symlinked group file",
         [&] {
             QVERIFY(QFile::rename(group + "/manifest.txt", temp.filePath("manifest.txt")));
             QVERIFY(QFile::link(temp.filePath("manifest.txt"), group + "/manifest.txt"));
         },
         group + "/manifest.txt", {}, 1.0},
        {"fifo embeddings",
         [&] {
             QVERIFY(QFile::remove(group + "/embeddings.bin"));
             QVERIFY(::mkfifo(QFile::encodeName(group + "/embeddings.bin"), 0600) == 0);
         },
         group + "/embeddings.bin", {}, 1.0},
        {"hard link", [&] { QVERIFY(::link(QFile::encodeName(group + "/chip-001.png"), QFile::encodeName(temp.filePath("copy.png"))) == 0); },
         group + "/chip-001.png", {}, 1.0},
        {"dark camera", [] {}, "the camera sees only darkness (lid or shutter closed?)",
         {"--camera", dark.filePath("dark.avi")}, 1.5},
        {"missing camera file", [] {}, dark.filePath("none.avi"), {"--camera", dark.filePath("none.avi")}, 5.0},
    };
    for (const Cause& cause : causes) {
        QDir(temp.path()).removeRecursively();
        QVERIFY(QDir().mkpath(temp.path()) && ::chmod(QFile::encodeName(temp.path()), 0700) == 0);
        writeProfile(profile, key);
        cause.damage();
        const auto before = treeOf(temp.path());
        const CheckResult result = runCheckProcess(QStringList{"--profile", profile} + cause.extraArguments,
                                                   {"VISAGIO_CAMERA=" + faceless});
        const QString info = QString(cause.name) + ": " + checkInfo(result);
        QVERIFY2(result.status == 3, qPrintable(info));
        QVERIFY2(result.line().rfind("cannot run: ", 0) == 0, qPrintable(info));
        QVERIFY2(QString::fromStdString(result.line()).contains(cause.named), qPrintable(info));
        QVERIFY2(result.line().size() <= 200 && result.out.size() == result.line().size() + 1, qPrintable(info));
        QVERIFY2(result.seconds < cause.within, qPrintable(info));
        QVERIFY2(treeOf(temp.path()) == before, qPrintable(info));
    }
}

// Frames without a face run to the timeout, counted from the start; the answer is no, and
// nothing of the profile changes, also while a window holds its lock.
void CheckTest::aRunWithoutAFaceSaysSoAtItsTimeoutAndChangesNothing()
{
    QTemporaryDir temp;
    const QString profile = temp.filePath("profile");
    writeProfile(profile, shippedWeightsKey());
    OwnerProfile holder(profile, kSampleSize);
    QVERIFY(holder.isSaving());
    const auto before = treeOf(temp.path());
    const CheckResult result = runCheckProcess({"--profile", profile, "--camera", faceless, "--timeout", "2"});
    QVERIFY2(result.status == 1 && result.line() == "no: no face in view", qPrintable(checkInfo(result)));
    QVERIFY2(result.seconds > 1.5 && result.seconds < 2.5, qPrintable(checkInfo(result)));
    QVERIFY(treeOf(temp.path()) == before);
}

void CheckTest::aStopSignalEndsTheRunAtOnce()
{
    QTemporaryDir temp;
    writeProfile(temp.filePath("profile"), shippedWeightsKey());
    CheckProcess check({"--profile", temp.filePath("profile"), "--camera", faceless, "--timeout", "6"});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    QVERIFY(!check.finished());
    const auto signalled = std::chrono::steady_clock::now();
    check.sendSignal(SIGTERM);
    const CheckResult result = check.wait();
    const double afterSignal = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    QVERIFY2(result.signal == SIGTERM && result.out.empty(), qPrintable(checkInfo(result)));
    QVERIFY2(afterSignal < 0.5, qPrintable(QString::number(afterSignal)));
}

// Covering the lens after a failed try must not escape the login's count of tries: darkness
// after the first light frame is an ordinary no.
void CheckTest::darknessAfterLightIsNoNeverCannotRun()
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back(faceFreeFrame(i));
    frames.resize(40, cv::Mat(kFrameSize, CV_8UC3, cv::Scalar::all(0)));
    QVERIFY(writeVideoFile(videos.filePath("covered.avi"), frames, 10.0));
    QTemporaryDir temp;
    writeProfile(temp.filePath("profile"), shippedWeightsKey());
    const CheckResult result = runCheckProcess(
        {"--profile", temp.filePath("profile"), "--camera", videos.filePath("covered.avi"), "--timeout", "3"});
    QVERIFY2(result.status == 1 && result.line().rfind("no: ", 0) == 0, qPrintable(checkInfo(result)));
}

// The run goes on only with the digest of the very files the check parses for the groups it
// uses: a changed byte or a group it would use added since the seal is refused before any
// network loads; a group it skips (other weights) is no part of the seal.
void CheckTest::anExpectedSealCoversTheFilesOfTheGroupsUsed()
{
    QTemporaryDir temp;
    const QString profile = temp.filePath("profile");
    const QString key = shippedWeightsKey();
    const QStringList sealed = {"features.txt", "liveness.txt", "group-1/manifest.txt", "group-1/embeddings.bin"};
    struct Change
    {
        const char* name;
        std::function<void()> change;
        bool stillMatches;
    };
    const std::vector<Change> changes = {
        {"as sealed", [] {}, true},
        {"a skipped group added", [&] { writeGroup(profile, 2, QString(64, 'b')); }, true},
        {"a byte changed",
         [&] {
             // A low bit of one value's mantissa: the value stays finite and the group sound.
             QFile file(profile + "/group-1/embeddings.bin");
             QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(16));
             const char flipped = char(file.read(1)[0] ^ 1);
             QVERIFY(file.seek(16) && file.write(&flipped, 1) == 1);
         },
         false},
        {"a used group added", [&] { writeGroup(profile, 2, key); }, false},
        {"liveness.txt removed", [&] { QVERIFY(QFile::remove(profile + "/liveness.txt")); }, false},
    };
    for (const Change& each : changes) {
        QDir(profile).removeRecursively();
        writeProfile(profile, key);
        const QString digest = digestOf(profile, sealed);
        QCOMPARE(digest.size(), 64);
        each.change();
        const CheckResult result =
            runCheckProcess({"--profile", profile, "--camera", faceless, "--timeout", "1", "--expect-seal", digest});
        const QString info = QString(each.name) + ": " + checkInfo(result);
        if (each.stillMatches) {
            QVERIFY2(result.status == 1 && result.line() == "no: no face in view", qPrintable(info));
            QVERIFY2(result.err.find("resnet template") != std::string::npos, qPrintable(info));
        } else {
            QVERIFY2(result.status == 3, qPrintable(info));
            QVERIFY2(result.line().rfind("cannot run: the profile differs from its seal; ", 0) == 0, qPrintable(info));
            QVERIFY2(result.line().find("sudo visagio-check --seal") != std::string::npos, qPrintable(info));
            QVERIFY2(result.err.find("resnet template") == std::string::npos, qPrintable(info));
        }
    }
}

// nuaa0004 enrols at the office webcam on his first day through the window. His second day
// opens; another man, and his own printed photograph held to the webcam, do not. The check
// watches them as a camera shows them, mirrored: the liveness check must judge the faces as
// recorded, or his live face passes for a photograph.
void CheckTest::ownerOpensStrangersAndHisPhotographDoNot()
{
    QREQUIRE_FACEDATA();
    QLoggingCategory::setFilterRules("default.debug=false");
    writeOwnerStandIns(videos.path());
    QTemporaryDir profile;
    {
        qputenv("VISAGIO_CAMERA", videos.filePath("enrol.avi").toLocal8Bit());
        qputenv("VISAGIO_CAMERA_PACE", "0");
        MainWindow window(nullptr, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight), QString(),
                          profile.path(), std::make_unique<ResnetMatcher>(kResnetFolder), std::make_unique<LivenessCheck>());
        QVERIFY(enrolGroups(window, 1, kMaxEnrolTicks));
    }
    for (const char* name : {"owner", "stranger", "photograph"}) {
        // At the video's own frame rate, as a camera delivers it.
        const CheckResult result = runCheckProcess(
            {"--profile", profile.path(), "--camera", videos.filePath(QString(name) + ".avi")}, {"VISAGIO_CAMERA_PACE"});
        const QString info = QString(name) + ": " + checkInfo(result);
        qInfo("%s: %s", name, result.line().c_str());
        if (QString(name) == "owner") {
            QVERIFY2(result.status == 0 && result.line().rfind("yes: the owner, at face ", 0) == 0, qPrintable(info));
        } else {
            QVERIFY2(result.status == 1 && result.line().rfind("no: ", 0) == 0, qPrintable(info));
        }
    }
}

// Under umask 000 the window still makes every profile file 0600 and every folder 0700 from
// the start: a check run again and again beside the enrolment never finds one open to others.
void CheckTest::windowUnderAnOpenUmaskNeverExposesAFile()
{
    QREQUIRE_FACEDATA();
    QLoggingCategory::setFilterRules("default.debug=false");
    QTemporaryDir temp;
    const QString profile = temp.filePath("profile");
    const mode_t oldMask = ::umask(0);
    std::vector<CheckResult> results;
    bool trained = false;
    {
        qputenv("VISAGIO_CAMERA", (demoDir() + "/owner-enrol.avi").toLocal8Bit());
        qputenv("VISAGIO_CAMERA_PACE", "0");
        MainWindow window(nullptr, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight), QString(), profile,
                          std::make_unique<ResnetMatcher>(kResnetFolder), std::make_unique<LivenessCheck>());
        std::unique_ptr<CheckProcess> check;
        click(window, "_btnTrain");
        for (int i = 0; i < kMaxEnrolTicks && labelText(window, "_lblStatus") != kGroupTrained; ++i) {
            if (!check || check->finished()) {
                if (check)
                    results.push_back(check->wait());
                check = std::make_unique<CheckProcess>(QStringList{"--profile", profile, "--timeout", "1"},
                                                       QStringList{"VISAGIO_CAMERA=" + faceless});
            }
            tick(window);
        }
        results.push_back(check->wait());
        trained = labelText(window, "_lblStatus") == kGroupTrained;
    }
    ::umask(oldMask);
    QVERIFY(trained);
    QVERIFY2(results.size() >= 3, qPrintable(QString::number(results.size())));
    for (const CheckResult& result : results) {
        const QString line = QString::fromStdString(result.line());
        QVERIFY2(!line.contains("chmod") && !line.contains("others") && !line.contains("link"), qPrintable(line));
    }
    QDirIterator it(profile, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.fileName() != "visagio.lock")
            QVERIFY2(modeOf(entry.filePath()) == (entry.isDir() ? 0700u : 0600u), qPrintable(entry.filePath()));
    }
}

QTEST_MAIN(CheckTest)
#include "CheckTest.moc"
