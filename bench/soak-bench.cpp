// Soak: the real window verifying a face for 10,000 ticks after one enrolment. A 320 x 240 face
// video stands in for the camera (unpaced); the window is driven tick by tick as its frame timer
// would drive it. Prints the resident memory at tick 1,000 and at the last tick (a frame loop
// that leaks shows the difference) and the ticks per second.
//
// Run it in the build's run directory (cascades; the model there is used when present,
// otherwise a random one):
//   soak-bench [--ticks N] [video]
// Without a video it makes one from the shared face photographs ($VISAGIO_FACEDATA, else
// ../shared/facedata beside the source tree).

#include "FaceGeometry.h"
#include "FaceVideo.h"
#include "File.h"
#include "GaussianRbm.h"
#include "MainWindow.h"
#include "RunFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kDefaultTicks = 10000;
constexpr int kFirstReading = 1000;
constexpr int kMaxEnrolmentTicks = 2000;
// Essex person 13: consecutive frontal frames of a speaking person.
const char* const kTrained = "Шаблон успешно добавлен. Макет в режиме ожидания.";

struct Options
{
    int ticks = kDefaultTicks;
    QString video;
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = argv[i];
        if (arg == "--ticks" && i + 1 < argc)
            options.ticks = QString(argv[++i]).toInt();
        else if (arg.startsWith("-"))
            throw std::invalid_argument("usage: soak-bench [--ticks N] [video]");
        else
            options.video = arg;
    }
    if (options.ticks < kFirstReading)
        throw std::invalid_argument("at least 1000 ticks");
    return options;
}

void writeRandomModel(const QString& path)
{
    GaussianRbm model(kSampleWidth * kSampleHeight, 200);
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> weight(-0.05f, 0.05f);
    for (std::vector<float>& row : model.weights)
        for (float& w : row)
            w = weight(generator);
    std::fill(model.visibleSigma.begin(), model.visibleSigma.end(), 1.0f);
    File file(QFile::encodeName(path).toStdString());
    file.openWrite();
    file << model;
    file.close();
}

// A working directory with the run directory's cascades and model and an empty foreign base.
void prepareWorkDir(const QDir& work)
{
    work.mkpath("haarcascades");
    work.mkpath(QFileInfo(kModelPath).path());
    work.mkpath(QString(kForeignFacesPath) + "glasgow");
    work.mkpath(QString(kForeignFacesPath) + "feret");
    for (const char* name : {"haarcascade.xml", "haarcascade_eye_tree_eyeglasses.xml"})
        if (!QFile::copy(QString("haarcascades/") + name, work.filePath(QString("haarcascades/") + name)))
            throw std::runtime_error("run it in the run directory: no ./haarcascades/" + std::string(name));
    if (QFile::exists(kModelPath)) {
        QFile::copy(kModelPath, work.filePath(kModelPath));
        std::printf("model: the run directory's\n");
    } else {
        writeRandomModel(work.filePath(kModelPath));
        std::printf("model: random (no %s here)\n", kModelPath);
    }
}

// Holds back the window's own 1 ms frame timer, so that every tick is one the bench drives,
// and closes any message box (a tick error), remembering its text.
class Guard : public QObject
{
public:
    Guard()
    {
        connect(&closer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                errors << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        closer.start(10);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* timer = qobject_cast<QTimer*>(watched);
        return event->type() == QEvent::Timer && timer && timer != &closer && timer->interval() <= 1;
    }

    QStringList errors;

private:
    QTimer closer;
};

QString text(MainWindow& window, const char* label)
{
    return window.findChild<QLabel*>(label)->text();
}

void tick(MainWindow& window)
{
    QMetaObject::invokeMethod(&window, "timed", Qt::DirectConnection);
}

void enrol(MainWindow& window, const Guard& guard)
{
    window.findChild<QPushButton*>("_btnTrain")->click();
    for (int i = 0; i < kMaxEnrolmentTicks && guard.errors.isEmpty(); ++i) {
        tick(window);
        if (text(window, "_lblStatus") == kTrained)
            return;
    }
    throw std::runtime_error("enrolment did not finish: " + text(window, "_lblStatus").toStdString() + " "
                             + guard.errors.join(" | ").toStdString());
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        const Options options = parse(argc, argv);
        QTemporaryDir temp;
        const QDir work(temp.path());
        prepareWorkDir(work);
        const QString video = options.video.isEmpty() ? makeFaceVideo(temp.path()) : QFileInfo(options.video).absoluteFilePath();
        qputenv("VISAGIO_CAMERA", video.toLocal8Bit());
        qputenv("VISAGIO_CAMERA_PACE", "0");
        QDir::setCurrent(work.path());
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });

        Guard guard;
        MainWindow window(nullptr, QString());
        if (!window.cameraStarted())
            throw std::runtime_error("cannot open " + video.toStdString());
        enrol(window, guard);
        window.findChild<QPushButton*>("_btnTest")->click();

        long atFirstReading = 0;
        const auto start = Clock::now();
        for (int i = 1; i <= options.ticks && guard.errors.isEmpty(); ++i) {
            tick(window);
            if (i % 100 == 0)
                QCoreApplication::processEvents(); // posted repaints, as the event loop would
            if (i == kFirstReading)
                atFirstReading = residentKb();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const long atLast = residentKb();
        if (!guard.errors.isEmpty())
            throw std::runtime_error("tick error: " + guard.errors.join(" | ").toStdString());

        std::printf("video %s, %d verification ticks after one enrolment\n", qPrintable(video), options.ticks);
        std::printf("last verdict: %s\n", qPrintable(text(window, "_lblOverallResult")));
        std::printf("ticks per second %.1f (%.3f ms a tick)\n", options.ticks / seconds, 1000.0 * seconds / options.ticks);
        std::printf("resident memory at tick %d: %ld kB, at tick %d: %ld kB, difference %ld kB\n", kFirstReading,
                    atFirstReading, options.ticks, atLast, atLast - atFirstReading);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak-bench: %s\n", error.what());
        return 1;
    } catch (const e_default& error) {
        std::fprintf(stderr, "soak-bench: %s\n", error.message().c_str());
        return 1;
    }
}
