// Drives the real main window offscreen: a generated face video stands in for the camera, a
// small model written by the test replaces the trained one, and the private slots run one tick
// at a time.
#include "Application.h"
#include "FaceDetector.h"
#include "FaceVideos.h"
#include "Language.h"
#include "MainWindow.h"
#include "ModelFiles.h"
#include "OwnerProfile.h"
#include "TestData.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <memory>

namespace {
const int kMaxTicksForGroup = 400;

// Closes every message box that opens while it lives, remembering titles and texts.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(10);
    }
    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};

// Frames of the default test face, and face-free frames, alternating when `mixed`.
std::vector<cv::Mat> faceFrames(int count, bool mixed = false)
{
    const QStringList photos = defaultFacePhotos();
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        if (mixed && i % 2 == 1)
            frames.push_back(faceFreeFrame(i));
        else
            frames.push_back(placeInFrame(loadFacedataImage(photos[i % photos.size()])));
    }
    return frames;
}

template <typename T>
T* widget(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("widget %s missing", name);
    return found;
}

void tick(MainWindow& window, int count = 1)
{
    for (int i = 0; i < count; ++i)
        QMetaObject::invokeMethod(&window, "timed", Qt::DirectConnection);
}

QString status(MainWindow& window)
{
    return widget<QLabel>(window, "_lblStatus")->text();
}

QString result(MainWindow& window)
{
    return widget<QLabel>(window, "_lblOverallResult")->text();
}

void click(MainWindow& window, const char* button)
{
    widget<QPushButton>(window, button)->click();
}

// Ticks until a collection started by the caller has trained its group.
bool collectGroup(MainWindow& window)
{
    for (int i = 0; i < kMaxTicksForGroup; ++i) {
        tick(window);
        if (status(window) == "Шаблон успешно добавлен. Макет в режиме ожидания.")
            return true;
    }
    return false;
}

// The "group-N" folders a profile holds.
QStringList savedGroups(const QString& profile)
{
    return QDir(profile).entryList(QStringList() << "group-*", QDir::Dirs);
}

// Enrols `groups` groups of the camera's face.
bool enrol(MainWindow& window, int groups)
{
    for (int group = 0; group < groups; ++group) {
        click(window, "_btnTrain");
        if (!collectGroup(window))
            return false;
    }
    return true;
}

// Starts verification and reports whether `ticks` face ticks were all counted.
bool verifies(MainWindow& window, int ticks)
{
    click(window, "_btnTest");
    tick(window, ticks);
    return result(window).endsWith(QString(" из %1)").arg(ticks));
}
}  // namespace

#define REQUIRE_FACEDATA_QT()                                                                  \
    do {                                                                                       \
        if (!facedataAvailable()) {                                                            \
            if (runningInCi())                                                                 \
                QFAIL("shared face data missing");                                             \
            QSKIP("shared face data missing (set VISAGIO_FACEDATA)");                          \
        }                                                                                      \
    } while (0)

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void opensWithTheStartForm();
    void speaksTheChosenLanguage_data();
    void speaksTheChosenLanguage();
    void noFaceReadsLostNineTimesThenNotFound();
    void faceIsFoundAndCircledByTheOval();
    void noCameraWarnsAndEndsWithExitCodeZero();
    void missingModelIsReportedWithNonZeroExit();
    void tickErrorsStopTheLoopAndKeepTheWindow();

    void hundredthSampleTrainsTheGroupInTheSameTick();
    void ticksWithoutFaceAddNoSample();
    void cancellingKeepsTheListAndRestartsTheCount();
    void deletingGroups();
    void panelsSwapAndAreLockedWhileBusy();

    void verificationCountsFaceTicksAndRestarts();
    void stoppingClosesTheLockAndKeepsTheVideoList();
    void videoDirectoryPlaysWithOrWithoutSeparator_data();
    void videoDirectoryPlaysWithOrWithoutSeparator();
    void directoryWithoutVideosFallsBackToTheCamera();
    void unreadableVideoWarnsAndChangesNothing();

    void damagedProfileGroupIsNamedAndTheOthersLoad();
    void unwritableProfileWarnsOnceAndTheWindowWorks();
    void secondWindowOnAProfileSaysSoAndDoesNotWrite();

private:
    QString workDir() const { return temp->path() + "/run"; }
    QString faceVideo() const { return temp->path() + "/face.avi"; }
    QString mixedVideo() const { return temp->path() + "/mixed.avi"; }
    QString emptyVideo() const { return temp->path() + "/empty.avi"; }

    std::unique_ptr<QTemporaryDir> temp;
    QString originalDir;
};

void MainWindowTest::initTestCase()
{
    originalDir = QDir::currentPath();
    temp = std::make_unique<QTemporaryDir>();
    QVERIFY(temp->isValid());
    QDir().mkpath(workDir() + "/haarcascades");
    for (const QString& name : {"haarcascade.xml", "haarcascade_eye_tree_eyeglasses.xml"})
        QVERIFY(QFile::copy(runDir() + "/haarcascades/" + name, workDir() + "/haarcascades/" + name));
    writeModelFile(workDir() + "/glasgow-45x35/200/100-res.grbm", randomModel(35 * 45, 200, 7));
    QDir::setCurrent(workDir());
    qputenv("VISAGIO_CAMERA_PACE", "0");
    if (!facedataAvailable())
        return;
    QVERIFY(writeVideo(faceVideo().toStdString(), faceFrames(60)));
    QVERIFY(writeVideo(mixedVideo().toStdString(), faceFrames(8, true)));
    QVERIFY(!writeEmptyVideo(temp->path(), "empty.avi", 20).isEmpty());
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

void MainWindowTest::opensWithTheStartForm()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    QVERIFY(window.cameraStarted());
    QCOMPARE(window.windowTitle(), QString("Visagio"));
    QCOMPARE(window.size(), QSize(573, 334));
    window.show();
    QVERIFY(widget<QWidget>(window, "_wdgMain")->isVisible());
    QVERIFY(!widget<QWidget>(window, "_wdgSettings")->isVisible());
    QVERIFY(!widget<QProgressBar>(window, "_progressBar")->isVisible());
    QVERIFY(!widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(!widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
    QCOMPARE(widget<QLabel>(window, "_lblResultText")->text(), QString("Закрыто"));
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Обучить"));
    // The icons come from the compiled-in resources.
    QVERIFY(!widget<QPushButton>(window, "_btnTrain")->icon().isNull());
    QVERIFY(!widget<QLabel>(window, "_lblResult")->pixmap()->isNull());
    QVERIFY(!QPixmap(":/data/icons/application-exit.png").isNull());
    QCOMPARE(QPixmap(":/data/icons/application-exit.png").width(), 128);
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
    REQUIRE_FACEDATA_QT();
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
    QCOMPARE(status(window), QString(english ? "Template added. Standing by."
                                             : "Шаблон успешно добавлен. Макет в режиме ожидания."));
    click(window, "_btnTest");
    tick(window);
    const QRegularExpression line(english ? R"(^(OWNER|STRANGER) \(recognised 1 of 1\)$)"
                                          : R"(^(СВОЙ|ЧУЖОЙ) \( Опознано 1 из 1\)$)");
    QVERIFY2(line.match(result(window)).hasMatch(), qPrintable(result(window)));
}

void MainWindowTest::noFaceReadsLostNineTimesThenNotFound()
{
    REQUIRE_FACEDATA_QT();
    qputenv("VISAGIO_CAMERA", emptyVideo().toLocal8Bit());
    MainWindow window(nullptr, QString());
    for (int i = 1; i <= 9; ++i) {
        tick(window);
        QCOMPARE(status(window), QString("Лицо потеряно"));
    }
    tick(window);
    QCOMPARE(status(window), QString("Лицо не найдено"));
    tick(window);
    QCOMPARE(status(window), QString("Лицо не найдено"));
}

void MainWindowTest::faceIsFoundAndCircledByTheOval()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    tick(window);
    QCOMPARE(status(window), QString("Лицо найдено"));

    // Find the same face in the same (mirrored) first frame and look for the oval's edge.
    cv::VideoCapture video(faceVideo().toStdString());
    cv::Mat first;
    QVERIFY(video.read(first));
    cv::flip(first, first, 1);
    FaceDetector detector;
    detector.processFrame(first);
    QVERIFY(detector.found());
    const cv::Rect r = detector.faceRect();
    const int cx = static_cast<int>(r.x + 0.5 * r.width);
    const int cy = static_cast<int>(r.y + 0.4 * r.height);
    const int ay = static_cast<int>(r.height / 1.5);

    auto* view = widget<QGraphicsView>(window, "_wdgPreview");
    const QImage shown = view->scene()->foregroundBrush().textureImage();
    QCOMPARE(shown.size(), QSize(320, 240));
    QCOMPARE(shown.pixel(cx - r.width / 2, cy), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(cx + r.width / 2, cy), qRgb(255, 255, 255));
    if (cy - ay >= 0)
        QCOMPARE(shown.pixel(cx, cy - ay), qRgb(255, 255, 255));
    QVERIFY(shown.pixel(cx, cy) != qRgb(255, 255, 255));
}

void MainWindowTest::noCameraWarnsAndEndsWithExitCodeZero()
{
    if (QFile::exists("/dev/video0"))
        QSKIP("this machine has a camera");
    qunsetenv("VISAGIO_CAMERA");
    MessageBoxCloser closer;
    const QTemporaryDir profile;
    const int code = runVisagio(*qApp, StartOptions{QString(), profile.path(), QString(), "ru"});
    QCOMPARE(code, 0);
    QCOMPARE(closer.titles, QStringList() << "Ошибка оборудования");
    QCOMPARE(closer.texts, QStringList() << "Camera not found");
}

void MainWindowTest::missingModelIsReportedWithNonZeroExit()
{
    QTemporaryDir empty;
    QDir::setCurrent(empty.path());
    MessageBoxCloser closer;
    const int code = runVisagio(*qApp, StartOptions{QString(), empty.path() + "/profile", QString(), "ru"});
    QVERIFY(code != 0);
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts[0].contains("glasgow-45x35/200/100-res.grbm"), qPrintable(closer.texts[0]));
    QVERIFY2(closer.texts[0].contains("Error while opening file in read mode"), qPrintable(closer.texts[0]));
}

void MainWindowTest::tickErrorsStopTheLoopAndKeepTheWindow()
{
    REQUIRE_FACEDATA_QT();
    // A run directory with the model but without cascades: the detector fails on every frame.
    QTemporaryDir noCascades;
    QDir(noCascades.path()).mkpath("glasgow-45x35/200");
    QVERIFY(QFile::copy(workDir() + "/glasgow-45x35/200/100-res.grbm",
                        noCascades.path() + "/glasgow-45x35/200/100-res.grbm"));
    QDir::setCurrent(noCascades.path());
    MainWindow window(nullptr, QString());
    MessageBoxCloser closer;
    tick(window);
    QTRY_COMPARE(closer.texts, QStringList() << "Haar cascade for face is not loaded");
    QCOMPARE(status(window), QString("Haar cascade for face is not loaded"));
    // The frame loop has stopped: running the event loop brings no further warning.
    QTest::qWait(100);
    QCOMPARE(closer.texts.size(), 1);
    window.show();
    QVERIFY(window.close());

    // A stand-in that cannot be read any more is the camera error, handled the same way.
    const QString vanishing = QDir(noCascades.path()).filePath("vanishing.avi");
    QVERIFY(QFile::copy(emptyVideo(), vanishing));
    qputenv("VISAGIO_CAMERA", vanishing.toLocal8Bit());
    QDir::setCurrent(workDir());
    MainWindow second(nullptr, QString());
    QFile::remove(vanishing);
    closer.texts.clear();
    for (int i = 0; i < 60 && closer.texts.isEmpty(); ++i) {
        tick(second);
        QTest::qWait(1);
    }
    QCOMPARE(closer.texts, QStringList() << "Webcam: Can't query frame from webcam");
    QCOMPARE(status(second), QString("Webcam: Can't query frame from webcam"));
}

void MainWindowTest::hundredthSampleTrainsTheGroupInTheSameTick()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    click(window, "_btnTrain");
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Отменить"));
    QCOMPARE(widget<QPushButton>(window, "_btnTrain2")->text(), QString("Отменить"));
    int faceTicks = 0;
    for (int i = 0; i < kMaxTicksForGroup && faceTicks < 99; ++i) {
        tick(window);
        if (status(window).startsWith("Добавлено"))
            QCOMPARE(status(window), QString("Добавлено %1 из 100 примеров лица.").arg(++faceTicks));
    }
    QCOMPARE(faceTicks, 99);
    auto* list = widget<QListWidget>(window, "_lstImages");
    QCOMPARE(list->count(), 0);
    QVERIFY(collectGroup(window));
    QCOMPARE(list->count(), 1);
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Дообучить"));
    QCOMPARE(widget<QPushButton>(window, "_btnTrain2")->text(), QString("Дообучить"));
    QVERIFY(widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
    // The icon is the group's first sample after training masked its corners black.
    const QImage icon = list->item(0)->data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(icon.size(), QSize(35, 45));
    QCOMPARE(qGray(icon.pixel(0, 0)), 0);
    QCOMPARE(qGray(icon.pixel(34, 44)), 0);
}

void MainWindowTest::ticksWithoutFaceAddNoSample()
{
    REQUIRE_FACEDATA_QT();
    qputenv("VISAGIO_CAMERA", mixedVideo().toLocal8Bit());
    MainWindow window(nullptr, QString());
    click(window, "_btnTrain");
    tick(window);
    QCOMPARE(status(window), QString("Добавлено 1 из 100 примеров лица."));
    tick(window);
    QCOMPARE(status(window), QString("Лицо потеряно"));
    tick(window);
    QCOMPARE(status(window), QString("Добавлено 2 из 100 примеров лица."));
}

void MainWindowTest::cancellingKeepsTheListAndRestartsTheCount()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    click(window, "_btnTrain");
    for (int i = 0; i < kMaxTicksForGroup && status(window) != "Добавлено 40 из 100 примеров лица."; ++i)
        tick(window);
    QCOMPARE(status(window), QString("Добавлено 40 из 100 примеров лица."));
    click(window, "_btnTrain2");
    QCOMPARE(widget<QListWidget>(window, "_lstImages")->count(), 0);
    QVERIFY(widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Дообучить"));
    click(window, "_btnTrain");
    tick(window);
    QCOMPARE(status(window), QString("Добавлено 1 из 100 примеров лица."));
}

void MainWindowTest::deletingGroups()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    auto* list = widget<QListWidget>(window, "_lstImages");
    for (int group = 0; group < 3; ++group) {
        click(window, "_btnTrain");
        QVERIFY(collectGroup(window));
    }
    QCOMPARE(list->count(), 3);
    const QImage second = list->item(1)->data(Qt::DecorationRole).value<QPixmap>().toImage();

    // Without a selection "Удалить" does nothing.
    list->setCurrentRow(-1);
    click(window, "_btnSettings");
    click(window, "_btnDeleteImage");
    QCOMPARE(list->count(), 3);

    list->setCurrentRow(0);
    click(window, "_btnDeleteImage");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->data(Qt::DecorationRole).value<QPixmap>().toImage(), second);

    for (int left = 2; left > 0; --left) {
        list->setCurrentRow(0);
        click(window, "_btnDeleteImage");
    }
    QCOMPARE(list->count(), 0);
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Обучить"));
    QCOMPARE(widget<QPushButton>(window, "_btnTrain2")->text(), QString("Обучить"));
    QVERIFY(!widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(!widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
}

void MainWindowTest::panelsSwapAndAreLockedWhileBusy()
{
    REQUIRE_FACEDATA_QT();
    MainWindow window(nullptr, QString());
    window.show();
    auto* main = widget<QWidget>(window, "_wdgMain");
    auto* settings = widget<QWidget>(window, "_wdgSettings");
    QCOMPARE(main->geometry(), settings->geometry());
    click(window, "_btnSettings");
    QVERIFY(!main->isVisible() && settings->isVisible());
    click(window, "_btnBack");
    QVERIFY(main->isVisible() && !settings->isVisible());

    click(window, "_btnTrain");  // collecting
    for (const char* name : {"_btnTest", "_btnDeleteImage", "_btnBack", "_btnSettings"})
        QVERIFY2(!widget<QPushButton>(window, name)->isEnabled(), name);
    click(window, "_btnTrain");  // cancelled
    click(window, "_btnTest");   // verifying
    for (const char* name : {"_btnTrain", "_btnTrain2", "_btnDeleteImage", "_btnBack", "_btnSettings"})
        QVERIFY2(!widget<QPushButton>(window, name)->isEnabled(), name);
    QVERIFY(main->isVisible() != settings->isVisible());
}

void MainWindowTest::verificationCountsFaceTicksAndRestarts()
{
    REQUIRE_FACEDATA_QT();
    qputenv("VISAGIO_CAMERA", mixedVideo().toLocal8Bit());
    MainWindow window(nullptr, QString());
    click(window, "_btnTrain");
    QVERIFY(collectGroup(window));
    click(window, "_btnTest");
    QCOMPARE(status(window), QString("Идет тестирование..."));
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Отменить"));
    QVERIFY(widget<QProgressBar>(window, "_progressBar")->isVisibleTo(&window));
    int faces = 0;
    for (int i = 0; i < 8; ++i) {
        tick(window);
        if (status(window) == "Лицо найдено")
            ++faces;
    }
    QCOMPARE(faces, 4);
    QVERIFY2(result(window).endsWith(" из 4)"), qPrintable(result(window)));
    click(window, "_btnTest");
    click(window, "_btnTest");
    QCOMPARE(widget<QProgressBar>(window, "_progressBar")->value(), 0);
    for (int i = 0; i < 2; ++i)
        tick(window);
    QVERIFY2(result(window).endsWith(" из 1)"), qPrintable(result(window)));
}

void MainWindowTest::stoppingClosesTheLockAndKeepsTheVideoList()
{
    REQUIRE_FACEDATA_QT();
    QTemporaryDir videos;
    QVERIFY(writeVideo((videos.path() + "/a.avi").toStdString(), faceFrames(3)));
    MainWindow window(nullptr, videos.path());
    click(window, "_btnTrain");
    click(window, "_btnTrain");
    click(window, "_btnTest");
    for (int i = 0; i < 3; ++i) {
        tick(window);
        QCOMPARE(status(window), QString("Лицо найдено"));
    }
    tick(window);
    QCOMPARE(status(window), QString("No input"));
    click(window, "_btnTest");
    QCOMPARE(widget<QLabel>(window, "_lblResultText")->text(), QString("Закрыто"));
    QCOMPARE(result(window), QString());
    QVERIFY(!widget<QProgressBar>(window, "_progressBar")->isVisibleTo(&window));
    QCOMPARE(status(window), QString("Макет в режиме ожидания"));
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Открыть"));
    // The camera does not come back: the finished list keeps yielding nothing.
    tick(window, 3);
    QCOMPARE(status(window), QString("No input"));
}

void MainWindowTest::videoDirectoryPlaysWithOrWithoutSeparator_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("with /") << true;
    QTest::newRow("without /") << false;
}

void MainWindowTest::videoDirectoryPlaysWithOrWithoutSeparator()
{
    REQUIRE_FACEDATA_QT();
    QFETCH(bool, trailingSeparator);
    QTemporaryDir videos;
    QVERIFY(writeVideo((videos.path() + "/b.avi").toStdString(), faceFrames(2)));
    QVERIFY(!writeEmptyVideo(videos.path(), "A.avi", 2).isEmpty());
    MainWindow window(nullptr, videos.path() + (trailingSeparator ? "/" : ""));
    click(window, "_btnTrain");
    click(window, "_btnTrain");
    MessageBoxCloser closer;
    click(window, "_btnTest");
    QVERIFY(closer.texts.isEmpty());
    // Name order ignores case: the face-free A.avi plays before b.avi.
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        tick(window);
        seen << status(window);
    }
    QCOMPARE(seen, QStringList() << "Лицо потеряно" << "Лицо потеряно" << "No input" << "Лицо найдено"
                                 << "Лицо найдено" << "No input");
}

void MainWindowTest::directoryWithoutVideosFallsBackToTheCamera()
{
    REQUIRE_FACEDATA_QT();
    QTemporaryDir videos;
    MainWindow window(nullptr, videos.path());
    click(window, "_btnTrain");
    click(window, "_btnTrain");
    click(window, "_btnTest");
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Отменить"));
    tick(window, 2);
    QCOMPARE(status(window), QString("Лицо найдено"));
    QVERIFY2(result(window).endsWith(" из 2)"), qPrintable(result(window)));
}

void MainWindowTest::unreadableVideoWarnsAndChangesNothing()
{
    REQUIRE_FACEDATA_QT();
    QTemporaryDir videos;
    QFile text(videos.path() + "/x.avi");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a video\n");
    text.close();
    MainWindow window(nullptr, videos.path());
    click(window, "_btnTrain");
    click(window, "_btnTrain");
    MessageBoxCloser closer;
    click(window, "_btnTest");
    QCOMPARE(closer.texts, QStringList() << "Cant load videos");
    QCOMPARE(widget<QPushButton>(window, "_btnTest")->text(), QString("Открыть"));
    QVERIFY(widget<QPushButton>(window, "_btnTrain")->isEnabled());
    QVERIFY(widget<QPushButton>(window, "_btnSettings")->isEnabled());
    QVERIFY(!widget<QProgressBar>(window, "_progressBar")->isVisibleTo(&window));
    QCOMPARE(result(window), QString());
}

// Groups saved earlier start the window as enrolled; a damaged one is named in the one warning
// box and keeps its files.
void MainWindowTest::damagedProfileGroupIsNamedAndTheOthersLoad()
{
    REQUIRE_FACEDATA_QT();
    QTemporaryDir profileDir;
    {
        MainWindow window(nullptr, QString(), profileDir.path());
        QVERIFY(enrol(window, 3));
    }
    const QString damaged = profileDir.filePath("group-2");
    QFile(damaged + "/sample-050.png").resize(100);
    const QByteArray manifest = [&] {
        QFile file(damaged + "/manifest.txt");
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    MessageBoxCloser closer;
    MainWindow window(nullptr, QString(), profileDir.path());
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts[0].contains("rm -r '" + damaged + "'"), qPrintable(closer.texts[0]));
    QCOMPARE(widget<QListWidget>(window, "_lstImages")->count(), 2);
    QVERIFY(widget<QPushButton>(window, "_btnTest")->isEnabled());
    QVERIFY(widget<QPushButton>(window, "_btnDeleteImage")->isEnabled());
    QCOMPARE(widget<QPushButton>(window, "_btnTrain")->text(), QString("Дообучить"));
    QCOMPARE(QFileInfo(damaged + "/sample-050.png").size(), qint64(100));
    QFile file(damaged + "/manifest.txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), manifest);
}

// A profile that cannot be made at start-up, and one that vanishes while the window runs:
// each gives one warning box, and enrolment and verification go on in memory.
void MainWindowTest::unwritableProfileWarnsOnceAndTheWindowWorks()
{
    REQUIRE_FACEDATA_QT();
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
    QCOMPARE(widget<QListWidget>(window, "_lstImages")->count(), 2);
    auto* list = widget<QListWidget>(window, "_lstImages");
    list->setCurrentRow(0);
    click(window, "_btnSettings");
    click(window, "_btnDeleteImage");
    click(window, "_btnBack");
    QVERIFY(verifies(window, 3));
    QCOMPARE(closer.texts.size(), 1);
}

void MainWindowTest::secondWindowOnAProfileSaysSoAndDoesNotWrite()
{
    REQUIRE_FACEDATA_QT();
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

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
