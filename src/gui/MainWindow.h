#pragma once

#include "FaceMatcher.h"
#include "LivenessCheck.h"
#include "OwnerProfile.h"
#include "ResnetMatcher.h"
#include "VerificationEngine.h"
#include "Webcam.h"

#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <opencv2/core.hpp>

#include <memory>
#include <vector>

class QGraphicsScene;

namespace Ui {
class Visagio;
}

// The whole application: watches the frame source, shows the face and its status, collects
// enrolment samples into groups the matcher trains on, and verifies faces to open the lock.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Builds the detector, the frame source, the matcher (model and foreign faces) and the form,
    // then starts the camera and the frame timer. Without a camera it shows the warning
    // "Ошибка оборудования" and cameraStarted() stays false.
    // With a profile folder, the camera started: the saved groups are loaded, trained once and
    // listed as if just enrolled, and every group enrolled or deleted later is saved or deleted
    // there (OwnerProfile). Trouble with the profile (damaged groups, folder not writable, in
    // use by another Visagio) is shown in one warning box; the window then works in memory.
    // Without a profile folder nothing is read or saved.
    // Throws: the matcher's errors (model file or foreign faces missing or malformed).
    MainWindow(QWidget* parent, QString videoDir, const QString& profileDir = QString());
    // Same, on a matcher the caller has built (model loaded, foreign base read). With a
    // face-resnet matcher, faces are verified by it instead: every collected frame also gives a
    // chip and its embedding, the GRBM matcher only keeps the groups' samples, the
    // profile's groups without chips are skipped, and the profile records "resnet". With a
    // liveness check, each verified face is judged by it first: one judged a photograph scores
    // 0, one too badly lit to judge is not scored (the status says so), and the profile
    // records the check as on.
    // Requires: matcher is not null and works on 35 x 45 samples.
    MainWindow(QWidget* parent, std::unique_ptr<FaceMatcher> matcher, QString videoDir,
               const QString& profileDir = QString(), std::unique_ptr<ResnetMatcher> resnet = nullptr,
               std::unique_ptr<LivenessCheck> liveness = nullptr);
    ~MainWindow() override;

    // False when the camera could not be opened at start-up: the application must end.
    bool cameraStarted() const;
    // Ensures: with a saving profile, the liveness choice given on the command line is kept
    //          for later starts (a failed write is logged).
    void recordLiveness(bool on);

    // Grey-or-colour 8-bit image to an opaque RGB32 QImage; a null QImage for an empty Mat.
    static QImage toQImage(const cv::Mat& image);
    // The status line for a face `faceWidth` frame pixels wide: too far from the camera up to
    // 59, found up to 180, too close above.
    static QString distanceStatus(int faceWidth);

private slots:
    void clickedTrain();
    void clickedTrainMode();
    void clickedTest();
    void clickedDeleteImage();
    void timed();
    void trainProgressed(float progress);

private:
    void processTick();
    void faceLost(const VerificationEngine::Tick& tick);
    void faceSeen(const VerificationEngine::Tick& tick);
    void collectSample(const VerificationEngine::Tick& tick);
    void trainGroup();
    void trainActiveModel();
    void addGroupIcon(const cv::Mat& icon);
    void openProfile(const QString& profileDir);
    void loadGroup(const EnrolmentGroup& group);
    void recordFeatures();
    void saveGroup(const EnrolmentGroup& group);
    void noteOutdatedSeal();
    void forgetGroup(int index);
    void warnAboutProfile(const QString& message);
    void test(const VerificationEngine::Tick& tick);
    bool startVideoTest();
    void showLockClosed();
    void showLockOpen();
    void showImage(const QImage& image);
    void drawFaceOval();
    template <typename Step>
    void stopOnError(Step step);
    void stopOnError(const QString& message);
    void setTrainButtonsText(const QString& text);
    void setPanelButtonsEnabled(bool enabled);

    QString videoDir;
    std::unique_ptr<Ui::Visagio> ui;
    Webcam webcam;
    int testCount = 0;
    int recognisedCount = 0;
    std::vector<cv::Mat> collected;
    cv::Rect faceRect;
    bool testing = false;
    bool collecting = false;
    bool settingsShown = false;
    QTimer frameTimer;
    std::unique_ptr<FaceMatcher> matcher;
    cv::Mat frame;
    std::unique_ptr<QGraphicsScene> scene;
    bool started = false;
    std::unique_ptr<OwnerProfile> profile;
    bool sealNoted = false;  // the outdated seal is logged once a run
    // The face-resnet side; null when the GRBM model verifies.
    std::unique_ptr<ResnetMatcher> resnet;
    std::vector<cv::Mat> collectedChips;
    std::vector<std::vector<float>> collectedEmbeddings;
    // Null when the liveness check is off.
    std::unique_ptr<LivenessCheck> liveness;
    // Declared after the models it works with.
    std::unique_ptr<VerificationEngine> engine;
};
