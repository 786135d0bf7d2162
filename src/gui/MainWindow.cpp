#include "MainWindow.h"

#include "ChipGeometry.h"
#include "Confidence.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "ProfileLocation.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QPixmap>
#include <opencv2/imgproc.hpp>

#include <pwd.h>
#include <unistd.h>

// The run-time texts are translated in the form's context, "Visagio", so that one translation
// covers the form and the window (lupdate reads the context from each call).
namespace {
constexpr int kSamplesPerGroup = 100;
constexpr int kTimerIntervalMs = 1;
// Face widths (frame pixels) that read as too far from and too close to the camera.
constexpr int kTooFarWidth = 59;
constexpr int kTooCloseWidth = 180;
}  // namespace

// The compiled-in icon resources live in a static library; they must be registered by hand.
static void initIconResources()
{
    Q_INIT_RESOURCE(visagio_icons);
}

MainWindow::MainWindow(QWidget* parent, QString videoDir, const QString& profileDir)
    : MainWindow(parent, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight), std::move(videoDir),
                 profileDir)
{
}

MainWindow::MainWindow(QWidget* parent, std::unique_ptr<FaceMatcher> faceMatcher, QString videoDir,
                       const QString& profileDir, std::unique_ptr<ResnetMatcher> resnetMatcher,
                       std::unique_ptr<LivenessCheck> livenessCheck)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Visagio>()),
      matcher(std::move(faceMatcher)),
      resnet(std::move(resnetMatcher)),
      liveness(std::move(livenessCheck)),
      engine(std::make_unique<VerificationEngine>(matcher.get(), resnet.get(), liveness.get()))
{
    initIconResources();
    ui->setupUi(this);
    scene = std::make_unique<QGraphicsScene>(0, 0, kFrameWidth, kFrameHeight);
    ui->_wdgPreview->setScene(scene.get());
    ui->_wdgSettings->hide();
    ui->_progressBar->hide();
    faceRect = cv::Rect(0, 0, 0, 0);
    this->videoDir = videoDir;

    started = webcam.start(QStringList());
    if (!started) {
        QMessageBox::warning(this, QCoreApplication::translate("Visagio", "Ошибка оборудования"),
                             QCoreApplication::translate("Visagio", "Camera not found"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    connect(matcher.get(), SIGNAL(trainProgress(float)), this, SLOT(trainProgressed(float)));
    if (!profileDir.isEmpty())
        openProfile(profileDir);
    frameTimer.start(kTimerIntervalMs);
    connect(&frameTimer, SIGNAL(timeout()), this, SLOT(timed()));
}

MainWindow::~MainWindow() = default;

bool MainWindow::cameraStarted() const
{
    return started;
}

QImage MainWindow::toQImage(const cv::Mat& image)
{
    if (image.empty())
        return QImage();
    cv::Mat bgra;
    cv::cvtColor(image, bgra, image.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA);
    QImage result(image.cols, image.rows, QImage::Format_RGB32);
    for (int y = 0; y < image.rows; ++y)
        std::copy_n(bgra.ptr<uchar>(y), image.cols * 4, result.scanLine(y));
    return result;
}

void MainWindow::showImage(const QImage& image)
{
    if (!image.isNull())
        scene->setForegroundBrush(QBrush(image));
}

// Qt cannot unwind an exception through its event loop, so errors of a slot's step end here,
// those of the engine's own tree as well as the standard ones: the frame loop stops and the
// user is told, and the window stays usable.
template <typename Step>
void MainWindow::stopOnError(Step step)
{
    try {
        step();
    } catch (const e_default& error) {
        stopOnError(QString::fromStdString(error.message()));
    } catch (const std::exception& error) {
        stopOnError(QString::fromLocal8Bit(error.what()));
    }
}

void MainWindow::timed()
{
    stopOnError([this] { processTick(); });
}

void MainWindow::stopOnError(const QString& message)
{
    frameTimer.stop();
    ui->_lblStatus->setText(message);
    QMessageBox::warning(this, windowTitle(), message);
}

void MainWindow::processTick()
{
    frame = webcam.queryFrame(kFrameSize);
    if (frame.empty()) {
        ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "No input"));
        return;
    }
    using Task = VerificationEngine::Task;
    const VerificationEngine::Tick tick =
        engine->process(frame, testing ? Task::Verify : collecting ? Task::Enrol : Task::Watch,
                        webcam.isFileMode() ? VerificationEngine::View::AsRecorded : VerificationEngine::View::Mirrored);
    faceRect = tick.faceRect;
    if (tick.faceFound)
        faceSeen(tick);
    else
        faceLost(tick);
    drawFaceOval();
    showImage(toQImage(frame));
    frame.release();
}

void MainWindow::faceLost(const VerificationEngine::Tick& tick)
{
    if (tick.faceGone)
        ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Лицо не найдено"));
    else
        ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Лицо потеряно"));
    ui->_progressBar->setValue(confidencePercent(tick.confidence));
}

void MainWindow::faceSeen(const VerificationEngine::Tick& tick)
{
    ui->_lblStatus->setText(distanceStatus(faceRect.width));
    if (collecting)
        collectSample(tick);
    if (collected.size() == kSamplesPerGroup) {
        ui->_lblStatus->setText(
            QCoreApplication::translate("Visagio", "Идёт обучение системы. Пожалуйста, подождите..."));
        trainGroup();
    }
    if (testing)
        test(tick);
}

QString MainWindow::distanceStatus(int faceWidth)
{
    if (faceWidth <= kTooFarWidth)
        return QCoreApplication::translate("Visagio", "Слишком далеко от камеры");
    if (faceWidth <= kTooCloseWidth)
        return QCoreApplication::translate("Visagio", "Лицо найдено");
    return QCoreApplication::translate("Visagio", "Слишком близко к камере");
}

// The face ellipse of the face rectangle, drawn as a head-shaped oval.
void MainWindow::drawFaceOval()
{
    const cv::Point centre(static_cast<int>(faceRect.x + kEllipseCentreX * faceRect.width),
                           static_cast<int>(faceRect.y + kEllipseCentreY * faceRect.height));
    const cv::Size axes(static_cast<int>(faceRect.width * kEllipseAxisX),
                        static_cast<int>(faceRect.height / kEllipseAxisYDivisor));
    cv::ellipse(frame, centre, axes, 0, 0, 360, cv::Scalar(255, 255, 255, 0), 2, cv::LINE_8, 0);
}

void MainWindow::collectSample(const VerificationEngine::Tick& tick)
{
    collected.push_back(tick.sample);
    if (resnet) {
        collectedChips.push_back(tick.chip);
        collectedEmbeddings.push_back(tick.embedding);
    }
    ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Добавлено %1 из %2 примеров лица.")
                                .arg(collected.size())
                                .arg(kSamplesPerGroup));
}

void MainWindow::trainGroup()
{
    ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Подождите, идёт обучение системы..."));
    repaint();
    const int interval = frameTimer.interval();
    frameTimer.stop();
    // The matcher masks the samples in place; the profile keeps them as collected.
    EnrolmentGroup group;
    for (const cv::Mat& collectedSample : collected)
        group.samples.push_back(collectedSample.clone());
    matcher->addGroup(collected);
    if (resnet) {
        group.chips = collectedChips;
        group.embeddings = collectedEmbeddings;
        group.embeddingModel = resnet->modelKey();
        group.chipAligner = kChipAligner;
        resnet->addGroup(collectedEmbeddings);
    }
    trainActiveModel();
    addGroupIcon(matcher->groups().back().front());
    saveGroup(group);
    noteOutdatedSeal();
    frameTimer.start(interval);

    collected.clear();
    collectedChips.clear();
    collectedEmbeddings.clear();
    clickedTrain();
    ui->_lblStatus->setText(
        QCoreApplication::translate("Visagio", "Шаблон успешно добавлен. Макет в режиме ожидания."));
}

// A login that runs as the user (the screen locker) checks the profile against the seal, which
// root alone renews: the new group shuts it out until then, while sudo keeps using the old copy.
void MainWindow::noteOutdatedSeal()
{
    const passwd* account = ::getpwuid(::geteuid());
    if (sealNoted || !profile || !account)
        return;
    if (QFileInfo::exists(QString(kSealFolder) + "/" + QFile::decodeName(account->pw_name) + ".seal")) {
        sealNoted = true;
        qWarning() << "profile: face login at the screen locker is refused until you seal the profile again "
                      "(sudo visagio-check --seal); sudo keeps the old seal";
    }
}

// Only the model that verifies keeps a template: the two never mix.
void MainWindow::trainActiveModel()
{
    if (resnet)
        resnet->train();
    else
        matcher->train();
}

void MainWindow::addGroupIcon(const cv::Mat& icon)
{
    auto* item = new QListWidgetItem(QString(), ui->_lstImages);
    item->setData(Qt::DecorationRole, QPixmap::fromImage(toQImage(icon)));
}

// The saved groups are trained once and listed, and the buttons set, as after an enrolment.
// The timing line is the figure for what a profile adds to start-up.
void MainWindow::openProfile(const QString& profileDir)
{
    QElapsedTimer clock;
    clock.start();
    profile = std::make_unique<OwnerProfile>(profileDir, kSampleSize);
    recordFeatures();
    const std::vector<EnrolmentGroup> saved = profile->load(resnet != nullptr);
    if (!saved.empty()) {
        for (const EnrolmentGroup& group : saved)
            loadGroup(group);
        trainActiveModel();
        for (const std::vector<cv::Mat>& group : matcher->groups())
            addGroupIcon(group.front());
        setTrainButtonsText(QCoreApplication::translate("Visagio", "Дообучить"));
        ui->_btnTest->setEnabled(true);
        setPanelButtonsEnabled(true);
    }
    qDebug() << "profile:" << saved.size() << "groups loaded and trained in" << clock.elapsed() << "ms";
    if (!profile->warnings().isEmpty())
        QMessageBox::warning(this, windowTitle(), profile->warnings().join("\n\n"));
}

// Stored embeddings of other weights are made again from the group's chips.
void MainWindow::loadGroup(const EnrolmentGroup& group)
{
    matcher->addGroup(group.samples);
    if (!resnet)
        return;
    if (group.embeddingModel == resnet->modelKey()) {
        resnet->addGroup(group.embeddings);
        return;
    }
    qDebug() << "profile: a group's embeddings are of other weights; embedding its chips again";
    std::vector<std::vector<float>> embeddings;
    for (const cv::Mat& groupChip : group.chips)
        embeddings.push_back(resnet->embed(groupChip, VerificationEngine::kMirrorAtEnrolment));
    resnet->addGroup(std::move(embeddings));
}

// The model this window verifies with becomes the profile's choice for later starts.
void MainWindow::recordFeatures()
{
    try {
        profile->recordFeatures(resnet ? "resnet" : "grbm");
    } catch (const e_default& error) {
        qWarning() << "profile: the feature model was not recorded:" << QString::fromStdString(error.message());
    }
}

void MainWindow::recordLiveness(bool on)
{
    if (!profile)
        return;
    try {
        profile->recordLiveness(on);
    } catch (const e_default& error) {
        qWarning() << "profile: the liveness choice was not recorded:" << QString::fromStdString(error.message());
    }
}

// A failed write turns saving off in the profile, so the user sees this warning once.
void MainWindow::saveGroup(const EnrolmentGroup& group)
{
    if (!profile)
        return;
    try {
        profile->addGroup(group);
    } catch (const e_default& error) {
        warnAboutProfile(QString::fromStdString(error.message()));
    }
}

void MainWindow::forgetGroup(int index)
{
    if (!profile)
        return;
    try {
        profile->removeGroup(index);
    } catch (const e_default& error) {
        warnAboutProfile(QString::fromStdString(error.message()));
    }
}

// The frame loop pauses while the box is open, so no tick runs inside the calling slot.
void MainWindow::warnAboutProfile(const QString& reason)
{
    const bool running = frameTimer.isActive();
    frameTimer.stop();
    QMessageBox::warning(this, windowTitle(),
                         QCoreApplication::translate("Visagio", "The owner profile %1 cannot be written "
                                                                "(%2); enrolment groups are kept only "
                                                                "while this window runs.")
                             .arg(profile->folder(), reason));
    if (running)
        frameTimer.start();
}

// A face too badly lit to judge is not counted: the status says so and the confidence decays.
void MainWindow::test(const VerificationEngine::Tick& tick)
{
    if (tick.poorLight) {
        ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Плохое освещение"));
        ui->_progressBar->setValue(confidencePercent(tick.confidence));
        return;
    }
    ++testCount;
    if (tick.lockOpens)
        showLockOpen();
    QString verdict = QCoreApplication::translate("Visagio", "ЧУЖОЙ");
    if (tick.owner) {
        verdict = QCoreApplication::translate("Visagio", "СВОЙ");
        ++recognisedCount;
    }
    ui->_lblOverallResult->setText(
        QCoreApplication::translate("Visagio", "%1 ( Опознано %2 из %3)")
            .arg(verdict)
            .arg(recognisedCount)
            .arg(testCount));
    ui->_progressBar->setValue(confidencePercent(tick.confidence));
    ui->_progressBar->update();
}

void MainWindow::setTrainButtonsText(const QString& text)
{
    ui->_btnTrain->setText(text);
    ui->_btnTrain2->setText(text);
}

// The buttons that must not be used while collecting or verifying, apart from "Открыть".
void MainWindow::setPanelButtonsEnabled(bool enabled)
{
    ui->_btnDeleteImage->setEnabled(enabled);
    ui->_btnBack->setEnabled(enabled);
    ui->_btnSettings->setEnabled(enabled);
}

void MainWindow::clickedTrain()
{
    if (!collecting) {
        setTrainButtonsText(QCoreApplication::translate("Visagio", "Отменить"));
        ui->_btnTest->setEnabled(false);
        setPanelButtonsEnabled(false);
        collecting = true;
    } else {
        setTrainButtonsText(QCoreApplication::translate("Visagio", "Дообучить"));
        ui->_lblOverallResult->clear();
        ui->_btnTest->setEnabled(true);
        setPanelButtonsEnabled(true);
        collecting = false;
        collected.clear();
    }
}

void MainWindow::clickedTrainMode()
{
    if (!settingsShown) {
        ui->_wdgMain->hide();
        ui->_wdgSettings->show();
    } else {
        ui->_wdgMain->show();
        ui->_wdgSettings->hide();
    }
    settingsShown = !settingsShown;
}

// The group leaves the matcher, the list and the profile before the template is retrained,
// so that a failed training leaves the three in step (the frame loop then stops).
void MainWindow::clickedDeleteImage()
{
    const int row = ui->_lstImages->currentRow();
    if (row < 0)
        return;
    stopOnError([this, row] {
        matcher->removeGroup(row);
        if (resnet)
            resnet->removeGroup(row);
        delete ui->_lstImages->takeItem(row);
        forgetGroup(row);
        if (matcher->groups().empty()) {
            setTrainButtonsText(QCoreApplication::translate("Visagio", "Обучить"));
            ui->_btnDeleteImage->setEnabled(false);
            ui->_btnTest->setEnabled(false);
        }
        trainActiveModel();
    });
}

void MainWindow::clickedTest()
{
    if (testing) {
        ui->_btnTrain->setEnabled(true);
        ui->_btnTrain2->setEnabled(true);
        setPanelButtonsEnabled(true);
        ui->_progressBar->hide();
        testing = false;
        showLockClosed();
        ui->_lblOverallResult->clear();
        ui->_btnTest->setText(QCoreApplication::translate("Visagio", "Открыть"));
        ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Макет в режиме ожидания"));
        return;
    }
    qDebug() << videoDir;
    if (!videoDir.isEmpty() && !startVideoTest()) {
        QMessageBox::warning(this, windowTitle(), QCoreApplication::translate("Visagio", "Cant load videos"));
        return;
    }
    ui->_btnTrain->setEnabled(false);
    ui->_btnTrain2->setEnabled(false);
    setPanelButtonsEnabled(false);
    ui->_progressBar->setValue(0);
    ui->_progressBar->show();
    engine->resetConfidence();
    testCount = 0;
    recognisedCount = 0;
    testing = true;
    ui->_lblStatus->setText(QCoreApplication::translate("Visagio", "Идет тестирование..."));
    ui->_btnTest->setText(QCoreApplication::translate("Visagio", "Отменить"));
}

// Replaces the camera by the directory's "*.avi" files, in name order. Names are joined with
// the directory's own separator rules, so the directory works with or without a trailing "/".
bool MainWindow::startVideoTest()
{
    webcam.stop();
    const QDir directory(videoDir);
    QStringList paths;
    for (const QString& name : directory.entryList(QStringList() << "*.avi"))
        paths << directory.filePath(name);
    return webcam.start(paths);
}

void MainWindow::showLockClosed()
{
    ui->_lblResult->setPixmap(QPixmap("://data/icons/dialog-cancel.png"));
    ui->_lblResultText->setText(QCoreApplication::translate("Visagio", "Закрыто"));
}

void MainWindow::showLockOpen()
{
    ui->_lblResult->setPixmap(QPixmap("://data/icons/dialog-ok-apply.png"));
    ui->_lblResultText->setText(QCoreApplication::translate("Visagio", "Открыто"));
}

void MainWindow::trainProgressed(float progress)
{
    qDebug() << progress;
    ui->_progressBar->setValue(static_cast<int>(progress * 100));
    update();
}
