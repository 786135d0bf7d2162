// Drives the real main window offscreen: drawn face videos stand in for the camera, a small
// model written by the test replaces the trained one, and the private slots run one tick at a
// time. Nothing here needs the shared face data.
#include "Application.h"
#include "FaceDetector.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "FaceVideos.h"
#include "Language.h"
#include "LivenessCheck.h"
#include "MainWindow.h"
#include "WindowDriver.h"
#include "MessageBoxCloser.h"
#include "ModelFiles.h"
#include "ProfileLocation.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "TestData.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QVector>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {
const int kMaxTicksForGroup = 400;
// Height of the drawn face in a frame: the cascade finds it about 150 pixels wide ("Лицо
// найдено"); at the close-up height it finds it over 200 pixels wide.
const int kFaceHeight = 140;
const int kCloseUpHeight = 260;

// A drawn face the frontal cascade finds: a light oval with dark brows, eyes, nose shade and
// mouth on a dark frame, `height` pixels tall, centred and moved right by `shift` pixels.
// Person 1 has wider-set eyes, a longer nose and darker skin than person 0.
cv::Mat drawnFace(int height, int person = 0, int shift = 0)
{
    cv::Mat frame(kFrameSize, CV_8UC3, cv::Scalar(60, 60, 60));
    const double unit = height / 100.0;
    const auto at = [&](double x, double y) {
        return cv::Point(int(kFrameWidth / 2 + shift + x * unit), int(kFrameHeight / 2 + y * unit));
    };
    const auto size = [&](double a, double b) { return cv::Size(int(a * unit), int(b * unit)); };
    const auto fill = [&](cv::Point centre, cv::Size axes, cv::Scalar colour) {
        cv::ellipse(frame, centre, axes, 0, 0, 360, colour, cv::FILLED, cv::LINE_AA);
    };
    const double eyes = person == 0 ? 16 : 19;
    fill(at(0, 0), size(38, 50), person == 0 ? cv::Scalar(170, 180, 200) : cv::Scalar(120, 135, 160));
    for (const double side : {-eyes, eyes}) {
        fill(at(side, -18), size(11, 3), cv::Scalar(40, 40, 40));
        fill(at(side, -8), size(8, 4), cv::Scalar(30, 30, 30));
    }
    fill(at(0, person == 0 ? 12 : 15), size(6, 3), cv::Scalar(110, 120, 140));
    fill(at(0, 26), size(13, 3), cv::Scalar(60, 60, 90));
    cv::GaussianBlur(frame, frame, cv::Size(0, 0), unit);
    return frame;
}

// `count` frames of a drawn face moving a little from frame to frame; with `mixed`, every
// second frame is face-free.
std::vector<cv::Mat> faceFrames(int count, int person = 0, bool mixed = false)
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(mixed && i % 2 ? faceFreeFrame(i) : drawnFace(kFaceHeight, person, i % 5 - 2));
    return frames;
}

// `faces` face frames, then `empty` face-free ones.
std::vector<cv::Mat> faceThenNothing(int faces, int empty)
{
    std::vector<cv::Mat> frames = faceFrames(faces);
    for (int i = 0; i < empty; ++i)
        frames.push_back(faceFreeFrame(i));
    return frames;
}

// The "group-N" folders a profile holds.
QStringList savedGroups(const QString& profile)
{
    return QDir(profile).entryList(QStringList() << "group-*", QDir::Dirs);
}

// Enrols `groups` groups of the camera's face.
bool enrol(MainWindow& window, int groups)
{
    return enrolGroups(window, groups, kMaxTicksForGroup);
}

// Starts verification and reports whether `ticks` face ticks were all counted.
bool verifies(MainWindow& window, int ticks)
{
    click(window, "_btnTest");
    tick(window, ticks);
    return labelText(window, "_lblOverallResult").endsWith(QString(" из %1)").arg(ticks));
}
}  // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void speaksTheChosenLanguage_data();
    void speaksTheChosenLanguage();
    void ovalIsHeldForNineLostTicksThenCollapses();
    void faceWidthSetsTheDistanceMessage();
    void noCameraWarnsAndEndsWithExitCodeZero();
    void startFailuresNameTheFileAndEndWithExitCodeOne_data();
    void startFailuresNameTheFileAndEndWithExitCodeOne();
    void tickErrorsStopTheLoopAndKeepTheWindow();
    void slotErrorsOfEitherKindAreShown_data();
    void slotErrorsOfEitherKindAreShown();

    void cancelledGroupIsDroppedAndTheHundredthSampleTrains();
    void deletingAGroupRetrainsTheTemplate();

    void ownerOpensTheLockUntilStopped();
    void faceFreeTicksAddNoSampleAndAreNotVerified();
    void burntOutFacesAreNotScoredBehindTheLivenessCheck();
    void videoDirectoryPlaysInNameOrder_data();
    void videoDirectoryPlaysInNameOrder();

    void damagedProfileGroupIsNamedAndTheOthersLoad();
    void storedEmbeddingsServeOnlyTheWeightsThatMadeThem();
    void unwritableProfileWarnsOnceAndTheWindowWorks();
    void secondWindowOnAProfileSaysSoAndDoesNotWrite();
    void anOutdatedSealIsNotedOnceARun();

private:
    QString workDir() const { return temp->path() + "/run"; }
    QString faceVideo() const { return temp->path() + "/face.avi"; }
    QString mixedVideo() const { return temp->path() + "/mixed.avi"; }

    std::unique_ptr<QTemporaryDir> temp;
    QString originalDir;
};

void MainWindowTest::initTestCase()
{
    originalDir = QDir::currentPath();
    temp = std::make_unique<QTemporaryDir>();
    QVERIFY(temp->isValid());
    QDir().mkpath(workDir() + "/haarcascades");
    QDir().mkpath(workDir() + "/liveness");
    QDir().mkpath(workDir() + "/" + kLandmarksFolder);
    const QString landmarks = kLandmarksFolder;
    for (const QString& path : {QString(kFaceCascadePath), QString(kEyeCascadePath), QString(kLivenessModelPath),
                                landmarks + "face_landmark_68_model-weights_manifest.json",
                                landmarks + "face_landmark_68_model.bin"})
        QVERIFY(QFile::copy(runDir() + "/" + path, workDir() + "/" + path));
    writeModelFile(matcherModelPath(workDir()), randomModel(kSampleWidth * kSampleHeight, 200, 7));
    QDir::setCurrent(workDir());
    qputenv("VISAGIO_CAMERA_PACE", "0");
    QVERIFY(writeVideoFile(faceVideo(), faceFrames(60)));
    QVERIFY(writeVideoFile(mixedVideo(), faceFrames(8, 0, true)));
}

void MainWindowTest::init()
{
    QDir::setCurrent(workDir());
    qputenv("VISAGIO_CAMERA", faceVideo().toLocal8Bit());
}

void MainWindowTest::cleanupTestCase()
{
    QDir::setCurrent(originalDir);
}

// The language --lang chooses, else the one the messages locale gives: the start form, the
// enrolment's last status and a verification result line.
void MainWindowTest::speaksTheChosenLanguage_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("english");
    QTest::newRow("Russian locale") << "" << "ru_RU.UTF-8" << false;
    QTest::newRow("C.UTF-8 locale") << "" << "C.UTF-8" << false;
    QTest::newRow("German locale") << "" << "de_DE.UTF-8" << true;
    QTest::newRow("--lang en, Russian locale") << "en" << "ru_RU.UTF-8" << true;
    QTest::newRow("--lang ru, English locale") << "ru" << "en_GB.UTF-8" << false;
}

void MainWindowTest::speaksTheChosenLanguage()
{
    QFETCH(QString, choice);
    QFETCH(QString, locale);
    QFETCH(bool, english);
    const QByteArray savedLocale = qgetenv("LC_ALL");
    qputenv("LC_ALL", locale.toLocal8Bit());
    const std::unique_ptr<QTranslator> translation =
        installTranslation(*qApp, chooseLanguage(choice, messagesLocaleName()));
    qputenv("LC_ALL", savedLocale);
    MainWindow window(nullptr, QString());
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString(english ? "Enrol" : "Обучить"));
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString(english ? "Unlock" : "Открыть"));
    QCOMPARE(widget<QLabel>(window, "_lblResultText")->text(), QString(english ? "Locked" : "Закрыто"));

    click(window, "_btnTrain");
    auto* list = widget<QListWidget>(window, "_lstImages");
    for (int i = 0; i < kMaxTicksForGroup && list->count() == 0; ++i)
        tick(window);
    QCOMPARE(labelText(window, "_lblStatus"),
             QString(english ? "Template added. Standing by." : "Шаблон успешно добавлен. Макет в режиме ожидания."));
    click(window, "_btnTest");
    tick(window);
    const QRegularExpression line(english ? R"(^(OWNER|STRANGER) \(recognised 1 of 1\)$)"
                                          : R"(^(СВОЙ|ЧУЖОЙ) \( Опознано 1 из 1\)$)");
    const QString shown = labelText(window, "_lblOverallResult");
    QVERIFY2(line.match(shown).hasMatch(), qPrintable(shown));
}

// The oval stays where the face was for nine face-free ticks ("Лицо потеряно"), then collapses
// with the face ("Лицо не найдено").
void MainWindowTest::ovalIsHeldForNineLostTicksThenCollapses()
{
    const QString video = temp->filePath("held.avi");
    QVERIFY(writeVideoFile(video, faceThenNothing(1, 10)));
    qputenv("VISAGIO_CAMERA", video.toLocal8Bit());
    // The face as the window sees it: the first frame decoded and mirrored.
    cv::VideoCapture capture(video.toStdString());
    cv::Mat first;
    QVERIFY(capture.read(first));
    cv::flip(first, first, 1);
    FaceDetector detector;
    detector.processFrame(first);
    QVERIFY(detector.found());
    const cv::Rect r = detector.faceRect();
    const int cx = int(r.x + kEllipseCentreX * r.width);
    const int cy = int(r.y + kEllipseCentreY * r.height);
    const int ax = int(r.width * kEllipseAxisX);
    const auto ovalShown = [&](MainWindow& window) {
        const QImage shown = widget<QGraphicsView>(window, "_wdgPreview")->scene()->foregroundBrush().textureImage();
        return shown.pixel(cx - ax, cy) == qRgb(255, 255, 255) && shown.pixel(cx + ax, cy) == qRgb(255, 255, 255)
               && shown.pixel(cx, cy) != qRgb(255, 255, 255);
    };

    MainWindow window(nullptr, QString());
    tick(window);
    QCOMPARE(labelText(window, "_lblStatus"), QString("Лицо найдено"));
    QVERIFY(ovalShown(window));
    for (int lost = 1; lost <= 10; ++lost) {
        tick(window);
        QCOMPARE(labelText(window, "_lblStatus"), QString(lost <= 9 ? "Лицо потеряно" : "Лицо не найдено"));
        QCOMPARE(ovalShown(window), lost <= 9);
    }
}

// The bands' edges by the window's rule (the detector finds no face under 90 pixels, so the
// lower edge cannot be filmed), and a face filling the frame read as too close.
void MainWindowTest::faceWidthSetsTheDistanceMessage()
{
    const std::pair<int, const char*> edges[] = {{59, "Слишком далеко от камеры"},
                                                 {60, "Лицо найдено"},
                                                 {180, "Лицо найдено"},
                                                 {181, "Слишком близко к камере"}};
    for (const auto& [width, message] : edges)
        QCOMPARE(MainWindow::distanceStatus(width), QString(message));

    const QString video = temp->filePath("close.avi");
    QVERIFY(writeVideoFile(video, {drawnFace(kFaceHeight), drawnFace(kCloseUpHeight)}));
    qputenv("VISAGIO_CAMERA", video.toLocal8Bit());
    MainWindow window(nullptr, QString());
    tick(window);
    QCOMPARE(labelText(window, "_lblStatus"), QString("Лицо найдено"));
    tick(window);
    QCOMPARE(labelText(window, "_lblStatus"), QString("Слишком близко к камере"));
}

void MainWindowTest::noCameraWarnsAndEndsWithExitCodeZero()
{
    if (QFile::exists("/dev/video0"))
        QSKIP("this machine has a camera");
    qunsetenv("VISAGIO_CAMERA");
    MessageBoxCloser closer;
    const QTemporaryDir profile;
    const int code = runVisagio(*qApp, StartOptions{QString(), profile.path(), QString(), "ru", {}, {}});
    QCOMPARE(code, 0);
    QCOMPARE(closer.titles, QStringList() << "Ошибка оборудования");
    QCOMPARE(closer.texts, QStringList() << "Camera not found");
}

// A model file missing, cut short or of the wrong shape: one message naming the model file.
void MainWindowTest::startFailuresNameTheFileAndEndWithExitCodeOne_data()
{
    QTest::addColumn<int>("visible");  // the model's visible units; 0: no model file
    QTest::addColumn<qint64>("cutTo");  // the model file's length; 0: whole
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << 0 << qint64(0) << "Error while opening file in read mode";
    QTest::newRow("cut short") << kSampleWidth * kSampleHeight << qint64(100000) << "Unexpected end of file";
    QTest::newRow("wrong shape") << 100 << qint64(0) << "incorrect RBM configuration";
}

void MainWindowTest::startFailuresNameTheFileAndEndWithExitCodeOne()
{
    QFETCH(int, visible);
    QFETCH(qint64, cutTo);
    QFETCH(QString, reason);
    QTemporaryDir run;
    if (visible > 0)
        writeModelFile(matcherModelPath(run.path()), randomModel(visible, 200, 3));
    if (cutTo > 0)
        QVERIFY(QFile::resize(matcherModelPath(run.path()), cutTo));
    QDir::setCurrent(run.path());
    MessageBoxCloser closer;
    const int code = runVisagio(*qApp, StartOptions{QString(), run.filePath("profile"), QString(), "ru", {}, {}});
    QCOMPARE(code, 1);
    QCOMPARE(closer.texts, QStringList() << QString("%1: %2").arg(kModelPath, reason));
}

void MainWindowTest::tickErrorsStopTheLoopAndKeepTheWindow()
{
    // A run directory with the model but without cascades: the detector fails on every frame.
    QTemporaryDir noCascades;
    QVERIFY(QDir(noCascades.path()).mkpath(QFileInfo(kModelPath).path()));
    QVERIFY(QFile::copy(matcherModelPath(workDir()), matcherModelPath(noCascades.path())));
    QDir::setCurrent(noCascades.path());
    MainWindow window(nullptr, QString());
    MessageBoxCloser closer;
    tick(window);
    QTRY_COMPARE(closer.texts, QStringList() << "Haar cascade for face is not loaded");
    QCOMPARE(labelText(window, "_lblStatus"), QString("Haar cascade for face is not loaded"));
    // The frame loop has stopped: running the event loop brings no further warning.
    QTest::qWait(100);
    QCOMPARE(closer.texts.size(), 1);
    window.show();
    QVERIFY(window.close());

    // A stand-in that goes away under the running window is the camera error, handled alike.
    const QString vanishing = noCascades.filePath("vanishing.avi");
    QVERIFY(writeVideoFile(vanishing, faceFrames(3)));
    qputenv("VISAGIO_CAMERA", vanishing.toLocal8Bit());
    QDir::setCurrent(workDir());
    MainWindow second(nullptr, QString());
    QFile::remove(vanishing);
    closer.texts.clear();
    for (int i = 0; i < 60 && closer.texts.isEmpty(); ++i)
        tick(second);
    QTRY_COMPARE(closer.texts, QStringList() << "Webcam: Can't query frame from webcam");
    QCOMPARE(labelText(second, "_lblStatus"), QString("Webcam: Can't query frame from webcam"));
}

// A failed training (a group of the wrong size) and a list out of step with the matcher (the
// engine's own error tree): the delete slot shows the error and stops the frame loop.
void MainWindowTest::slotErrorsOfEitherKindAreShown_data()
{
    QTest::addColumn<bool>("trainingFails");
    QTest::addColumn<QString>("message");
    QTest::newRow("training fails") << true << "training error: incorrect image size";
    QTest::newRow("no such group") << false << "Out of range";
}

void MainWindowTest::slotErrorsOfEitherKindAreShown()
{
    QFETCH(bool, trainingFails);
    QFETCH(QString, message);
    auto owned = std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight);
    FaceMatcher* matcher = owned.get();
    MainWindow window(nullptr, std::move(owned), QString());
    QVERIFY(enrol(window, 1));
    if (trainingFails)
        matcher->addGroup({cv::Mat(10, 10, CV_8UC1, cv::Scalar(0))});
    else
        matcher->removeGroup(0);
    MessageBoxCloser closer;
    widget<QListWidget>(window, "_lstImages")->setCurrentRow(0);
    click(window, "_btnSettings");
    click(window, "_btnDeleteImage");
    QCOMPARE(closer.texts, QStringList() << message);
    QCOMPARE(labelText(window, "_lblStatus"), message);
}

// Cancelling drops the samples collected so far; a new collection counts from 1, and its
// hundredth sample trains the group in the same tick.
void MainWindowTest::cancelledGroupIsDroppedAndTheHundredthSampleTrains()
{
    MainWindow window(nullptr, QString());
    auto* list = widget<QListWidget>(window, "_lstImages");
    click(window, "_btnTrain");
    for (const char* name : {"_btnTest", "_btnDeleteImage", "_btnBack", "_btnSettings"})
        QVERIFY2(!widget<QPushButton>(window, name)->isEnabled(), name);
    tick(window, 40);
    QCOMPARE(labelText(window, "_lblStatus"), QString("Добавлено 40 из 100 примеров лица."));
    click(window, "_btnTrain2");
    QCOMPARE(list->count(), 0);
    QVERIFY(widget<QPushButton>(window, "_btnTest")->isEnabled());
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Дообучить"));
    click(window, "_btnTrain");
    for (int samples = 1; samples < 100; ++samples) {
        tick(window);
        QCOMPARE(labelText(window, "_lblStatus"), QString("Добавлено %1 из 100 примеров лица.").arg(samples));
    }
    QCOMPARE(list->count(), 0);
    tick(window);
    QCOMPARE(labelText(window, "_lblStatus"), QString("Шаблон успешно добавлен. Макет в режиме ожидания."));
    QCOMPARE(list->count(), 1);
    QCOMPARE(widget<QPushButton>(window, "_btnTrain2")->text(), QString("Дообучить"));
    // The icon is the group's first sample after training masked its corners black.
    const QImage icon = list->item(0)->data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(icon.size(), QSize(kSampleWidth, kSampleHeight));
    QCOMPARE(qGray(icon.pixel(0, 0)), 0);
    QCOMPARE(qGray(icon.pixel(kSampleWidth - 1, kSampleHeight - 1)), 0);
}

// Two people's groups, then the first deleted: the list keeps the second's icon, and the first
// person's face scores lower once the template is retrained without them.
void MainWindowTest::deletingAGroupRetrainsTheTemplate()
{
    const QString enrolment = temp->filePath("two.avi");
    std::vector<cv::Mat> frames = faceFrames(100, 0);
    for (const cv::Mat& frame : faceFrames(100, 1))
        frames.push_back(frame);
    QVERIFY(writeVideoFile(enrolment, frames));
    qputenv("VISAGIO_CAMERA", enrolment.toLocal8Bit());
    QTemporaryDir videos;
    QVERIFY(writeVideoFile(videos.filePath("first.avi"), faceFrames(1)));
    MainWindow window(nullptr, videos.path());
    QVERIFY(enrol(window, 2));
    auto* list = widget<QListWidget>(window, "_lstImages");
    const auto icon = [&](int row) { return list->item(row)->data(Qt::DecorationRole).value<QPixmap>().toImage(); };
    const auto firstPersonsBar = [&] {
        click(window, "_btnTest");
        tick(window);
        const int value = widget<QProgressBar>(window, "_progressBar")->value();
        click(window, "_btnTest");
        return value;
    };
    const QImage second = icon(1);
    const int before = firstPersonsBar();

    // The settings panel takes the main one's place; without a selection "Удалить" does nothing.
    window.show();
    list->setCurrentRow(-1);
    click(window, "_btnSettings");
    QVERIFY(!widget<QWidget>(window, "_wdgMain")->isVisible() && widget<QWidget>(window, "_wdgSettings")->isVisible());
    click(window, "_btnDeleteImage");
    QCOMPARE(list->count(), 2);
    list->setCurrentRow(0);
    click(window, "_btnDeleteImage");
    QCOMPARE(list->count(), 1);
    QCOMPARE(icon(0), second);
    click(window, "_btnBack");
    QVERIFY(widget<QWidget>(window, "_wdgMain")->isVisible() && !widget<QWidget>(window, "_wdgSettings")->isVisible());
    const int after = firstPersonsBar();
    QVERIFY2(after < before, qPrintable(QString("bar %1, then %2").arg(before).arg(after)));

    list->setCurrentRow(0);
    click(window, "_btnDeleteImage");
    QCOMPARE(list->count(), 0);
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Обучить"));
    QVERIFY(!widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(!widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
}

// The owner's face opens the lock; on face-free ticks the confidence keeps 0.8 of itself each
// tick (the bar shows it as a truncated percentage) and the lock stays open until verification
// is stopped. The finished video list leaves no camera behind.
void MainWindowTest::ownerOpensTheLockUntilStopped()
{
    QTemporaryDir videos;
    QVERIFY(writeVideoFile(videos.filePath("owner.avi"), faceThenNothing(3, 8)));
    MainWindow window(nullptr, videos.path());
    QVERIFY(enrol(window, 1));
    click(window, "_btnTest");
    for (const char* name : {"_btnTrain", "_btnTrain2", "_btnDeleteImage", "_btnBack", "_btnSettings"})
        QVERIFY2(!widget<QPushButton>(window, name)->isEnabled(), name);
    auto* lock = widget<QLabel>(window, "_lblResultText");
    QCOMPARE(lock->text(), QString("Закрыто"));
    tick(window, 3);
    QCOMPARE(lock->text(), QString("Открыто"));
    QVERIFY(!widget<QLabel>(window, "_lblResult")->pixmap()->isNull());  // a compiled-in icon
    QCOMPARE(labelText(window, "_lblOverallResult"), QString("СВОЙ ( Опознано 3 из 3)"));

    auto* bar = widget<QProgressBar>(window, "_progressBar");
    int previous = bar->value();
    int decays = 0;
    for (int i = 0; i < 8; ++i, previous = bar->value()) {
        tick(window);
        if (previous == 100)
            continue;
        ++decays;
        QVERIFY2(bar->value() >= int(0.8 * previous) && bar->value() <= int(0.8 * (previous + 1)),
                 qPrintable(QString("%1 after %2").arg(bar->value()).arg(previous)));
    }
    QVERIFY(decays >= 4);
    QCOMPARE(lock->text(), QString("Открыто"));
    tick(window);
    QCOMPARE(labelText(window, "_lblStatus"), QString("No input"));

    click(window, "_btnTest");
    QCOMPARE(lock->text(), QString("Закрыто"));
    QCOMPARE(labelText(window, "_lblOverallResult"), QString());
    QVERIFY(!bar->isVisibleTo(&window));
    QCOMPARE(labelText(window, "_lblStatus"), QString("Макет в режиме ожидания"));
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Открыть"));
    tick(window, 3);
    QCOMPARE(labelText(window, "_lblStatus"), QString("No input"));
}

void MainWindowTest::faceFreeTicksAddNoSampleAndAreNotVerified()
{
    qputenv("VISAGIO_CAMERA", mixedVideo().toLocal8Bit());
    MainWindow window(nullptr, QString());
    click(window, "_btnTrain");
    const QString added = "Добавлено %1 из 100 примеров лица.";
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        tick(window);
        seen << labelText(window, "_lblStatus");
    }
    QCOMPARE(seen, QStringList() << added.arg(1) << "Лицо потеряно" << added.arg(2));
    click(window, "_btnTrain");
    QVERIFY(enrol(window, 1));
    click(window, "_btnTest");
    QCOMPARE(labelText(window, "_lblStatus"), QString("Идет тестирование..."));
    QVERIFY(widget<QProgressBar>(window, "_progressBar")->isVisibleTo(&window));
    int faces = 0;
    for (int i = 0; i < 8; ++i) {
        tick(window);
        if (labelText(window, "_lblStatus") == "Лицо найдено")
            ++faces;
    }
    QCOMPARE(faces, 4);
    QVERIFY(labelText(window, "_lblOverallResult").endsWith(" из 4)"));
    click(window, "_btnTest");
    click(window, "_btnTest");
    QCOMPARE(widget<QProgressBar>(window, "_progressBar")->value(), 0);
    tick(window, 2);
    QVERIFY(labelText(window, "_lblOverallResult").endsWith(" из 1)"));
}

// Behind the liveness check a face too burnt out to judge is not verified at all: the status
// says the light is poor, no verdict is counted and the confidence stays at 0.
void MainWindowTest::burntOutFacesAreNotScoredBehindTheLivenessCheck()
{
    QTemporaryDir videos;
    std::vector<cv::Mat> burnt = faceFrames(4);
    for (cv::Mat& frame : burnt)
        frame.convertTo(frame, -1, 1.0, 90);
    QVERIFY(writeVideoFile(videos.filePath("burnt.avi"), burnt));
    MainWindow window(nullptr, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight), videos.path(), QString(),
                      nullptr, std::make_unique<LivenessCheck>());
    QVERIFY(enrol(window, 1));
    click(window, "_btnTest");
    for (int i = 0; i < 4; ++i) {
        tick(window);
        QCOMPARE(labelText(window, "_lblStatus"), QString("Плохое освещение"));
    }
    QCOMPARE(labelText(window, "_lblOverallResult"), QString());
    QCOMPARE(widget<QProgressBar>(window, "_progressBar")->value(), 0);
}

// The folder's videos in name order, case ignored, with or without a trailing separator; a
// folder without videos leaves the camera on; one whose video cannot be read warns, does not
// start verification and leaves the source on that list, so there is no input.
void MainWindowTest::videoDirectoryPlaysInNameOrder_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected");
    const QString found = "Лицо найдено";
    const QString lost = "Лицо потеряно";
    QTest::newRow("with /") << "videos" << "/" << QStringList{lost, lost, "No input", found, found, "No input"};
    QTest::newRow("without /") << "videos" << "" << QStringList{lost, lost, "No input", found, found, "No input"};
    QTest::newRow("no videos") << "" << "" << QStringList{found, found, found, found, found, found};
    QTest::newRow("unreadable") << "garbage" << "" << QStringList(QVector<QString>(6, "No input").toList());
}

void MainWindowTest::videoDirectoryPlaysInNameOrder()
{
    QFETCH(QString, content);
    QFETCH(QString, separator);
    QFETCH(QStringList, expected);
    QTemporaryDir folder;
    if (content == "videos") {
        QVERIFY(writeVideoFile(folder.filePath("b.avi"), faceFrames(2)));
        QVERIFY(!writeEmptyVideo(folder.path(), "A.avi", 2).isEmpty());
    } else if (content == "garbage") {
        QVERIFY(writeBytes(folder.filePath("x.avi"), "not a video\n"));
    }
    MainWindow window(nullptr, folder.path() + separator);
    click(window, "_btnTrain");
    click(window, "_btnTrain");
    MessageBoxCloser closer;
    click(window, "_btnTest");
    const bool warned = content == "garbage";
    QCOMPARE(closer.texts, warned ? QStringList{"Cant load videos"} : QStringList());
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        tick(window);
        seen << labelText(window, "_lblStatus");
    }
    QCOMPARE(seen, expected);
    if (warned) {
        QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Открыть"));
        QVERIFY(widget<QPushButton>(window, "_btnSettings")->isEnabled());
        QVERIFY(!widget<QProgressBar>(window, "_progressBar")->isVisibleTo(&window));
        QCOMPARE(labelText(window, "_lblOverallResult"), QString());
    } else {
        const QString shown = labelText(window, "_lblOverallResult");
        QVERIFY2(shown.endsWith(QString(" из %1)").arg(expected.count("Лицо найдено"))), qPrintable(shown));
    }
}

// Groups saved earlier start the window as enrolled; a damaged one is named in the one warning
// box and keeps its files.
void MainWindowTest::damagedProfileGroupIsNamedAndTheOthersLoad()
{
    QTemporaryDir profileDir;
    {
        MainWindow window(nullptr, QString(), profileDir.path());
        QVERIFY(enrol(window, 3));
    }
    const QString damaged = profileDir.filePath("group-2");
    QFile(damaged + "/sample-050.png").resize(100);
    const QByteArray manifest = readBytes(damaged + "/manifest.txt");
    MessageBoxCloser closer;
    MainWindow window(nullptr, QString(), profileDir.path());
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts[0].contains("rm -r '" + damaged + "'"), qPrintable(closer.texts[0]));
    QCOMPARE(widget<QListWidget>(window, "_lstImages")->count(), 2);
    QVERIFY(widget<QPushButton>(window, "_btnTest")->isEnabled());
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Дообучить"));
    QCOMPARE(QFileInfo(damaged + "/sample-050.png").size(), qint64(100));
    QCOMPARE(readBytes(damaged + "/manifest.txt"), manifest);
}

// A saved group's embeddings serve only the weights whose SHA-256 keys them. Here they are
// replaced by values far from any face: under another key the window makes them again from
// the group's chips and knows the owner; under the network's own key it uses them as stored,
// and the same face is a stranger.
void MainWindowTest::storedEmbeddingsServeOnlyTheWeightsThatMadeThem()
{
    const auto resnetWindow = [](const QString& profile) {
        return std::make_unique<MainWindow>(nullptr, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight),
                                            QString(), profile,
                                            std::make_unique<ResnetMatcher>(runDir() + "/" + kResnetFolder));
    };
    QTemporaryDir profileDir;
    {
        const auto window = resnetWindow(profileDir.path());
        QVERIFY(enrol(*window, 1));
    }
    const QString group = profileDir.filePath("group-1");
    const QByteArray manifest = readBytes(group + "/manifest.txt");
    const QByteArray stored = readBytes(group + "/embeddings.bin");
    QVector<float> farAway(stored.size() / int(sizeof(float)), 0.5f);
    QVERIFY(QFile::remove(group + "/embeddings.bin"));
    QVERIFY(writeBytes(group + "/embeddings.bin",
                       QByteArray(reinterpret_cast<const char*>(farAway.constData()), stored.size())));
    const QRegularExpression key("embeddings ([0-9a-f]+) ");
    const QString ownKey = key.match(QString::fromUtf8(manifest)).captured(1);
    QCOMPARE(ownKey.size(), 64);

    for (const bool otherWeights : {true, false}) {
        QByteArray keyed = manifest;
        if (otherWeights)
            keyed.replace(ownKey.toUtf8(), QByteArray(64, '0'));
        QVERIFY(QFile::remove(group + "/manifest.txt"));
        QVERIFY(writeBytes(group + "/manifest.txt", keyed));
        const auto window = resnetWindow(profileDir.path());
        QVERIFY(verifies(*window, 3));
        const QString verdict = otherWeights ? "СВОЙ" : "ЧУЖОЙ";
        QVERIFY2(labelText(*window, "_lblOverallResult").startsWith(verdict),
                 qPrintable(labelText(*window, "_lblOverallResult")));
    }
}

// A profile that cannot be made at start-up, and one that vanishes while the window runs:
// each gives one warning box, and enrolment and verification go on in memory.
void MainWindowTest::unwritableProfileWarnsOnceAndTheWindowWorks()
{
    QTemporaryDir temp;
    QVERIFY(writeBytes(temp.filePath("file"), "not a folder"));
    MessageBoxCloser closer;
    {
        MainWindow window(nullptr, QString(), temp.filePath("file/profile"));
        QCOMPARE(closer.texts.size(), 1);
        QVERIFY2(closer.texts[0].contains(temp.filePath("file/profile")), qPrintable(closer.texts[0]));
        QVERIFY(enrol(window, 2));
        QVERIFY(verifies(window, 3));
        QCOMPARE(closer.texts.size(), 1);
    }
    closer.texts.clear();
    const QString vanishing = temp.filePath("vanishing");
    MainWindow window(nullptr, QString(), vanishing);
    QVERIFY(closer.texts.isEmpty());
    QVERIFY(QDir(vanishing).removeRecursively() && writeBytes(vanishing, "now a file"));
    QVERIFY(enrol(window, 2));
    QTRY_COMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts[0].contains(vanishing), qPrintable(closer.texts[0]));
    auto* list = widget<QListWidget>(window, "_lstImages");
    QCOMPARE(list->count(), 2);
    list->setCurrentRow(0);
    click(window, "_btnSettings");
    click(window, "_btnDeleteImage");
    click(window, "_btnBack");
    QVERIFY(verifies(window, 3));
    QCOMPARE(closer.texts.size(), 1);
}

void MainWindowTest::secondWindowOnAProfileSaysSoAndDoesNotWrite()
{
    QTemporaryDir profileDir;
    MainWindow first(nullptr, QString(), profileDir.path());
    MessageBoxCloser closer;
    MainWindow second(nullptr, QString(), profileDir.path());
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts[0].startsWith("Another Visagio is using the owner profile " + profileDir.path()),
             qPrintable(closer.texts[0]));
    QVERIFY(enrol(second, 1));
    QCOMPARE(savedGroups(profileDir.path()), QStringList());
    QVERIFY(enrol(first, 1));
    QCOMPARE(savedGroups(profileDir.path()), QStringList() << "group-1");
    QCOMPARE(closer.texts.size(), 1);
}

namespace {
QStringList sealNotes;

void collectSealNotes(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg && message.contains("visagio-check --seal"))
        sealNotes << message;
}
}  // namespace

// An enrolment after the profile was sealed shuts the screen locker out until the owner seals
// again: the window says so once a run, and only when there is a seal. It writes the seal
// folder of the system, so it runs as root under CI alone (root itself is never sealed).
void MainWindowTest::anOutdatedSealIsNotedOnceARun()
{
    if (::geteuid() != 0 || !runningInCi())
        QSKIP("writes a seal in the system's seal folder; this runs as root with CI=true");
    const QString seal = QString(kSealFolder) + "/" + QFile::decodeName(::getpwuid(::geteuid())->pw_name) + ".seal";
    QVERIFY2(!QFile::exists(seal), qPrintable(seal + " exists already"));
    // The system is left as it was, whatever the outcome.
    struct Restore
    {
        QString seal;
        bool madeFolder;
        QtMessageHandler previous;
        ~Restore()
        {
            qInstallMessageHandler(previous);
            QFile::remove(seal);
            if (madeFolder)
                QDir().rmdir(kSealFolder);
        }
    } restore{seal, !QFileInfo::exists(kSealFolder), qInstallMessageHandler(collectSealNotes)};
    QTemporaryDir profile;
    sealNotes.clear();
    {
        MainWindow window(nullptr, QString(), profile.filePath("profile"));
        QVERIFY(enrol(window, 1));
        QVERIFY(sealNotes.isEmpty());
        QVERIFY(QDir().mkpath(kSealFolder) && writeBytes(seal, "visagio-seal 1 0 " + QByteArray(64, '0') + "\n"));
        QVERIFY(enrol(window, 2));
    }
    QCOMPARE(sealNotes.size(), 1);
    QVERIFY2(sealNotes[0].contains("sudo keeps the old seal"), qPrintable(sealNotes[0]));
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
