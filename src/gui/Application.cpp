#include "Application.h"

#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceLandmarks.h"
#include "FaceMatcher.h"
#include "Language.h"
#include "LivenessCheck.h"
#include "MainWindow.h"
#include "OwnerProfile.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "Webcam.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QTranslator>

#include <iostream>

namespace {
int reportStartFailure(const QString& message)
{
    std::cerr << "Visagio cannot start: " << message.toStdString() << std::endl;
    QMessageBox::critical(nullptr, "Visagio", message);
    return 1;
}

// Runs one step of the start-up. An error of either tree is reported as "what: message", so
// that the user learns which file is at fault; returns false after an error.
template <typename Step>
bool startStep(const QString& what, Step step)
{
    try {
        step();
        return true;
    } catch (const e_default& error) {
        reportStartFailure(QString("%1: %2").arg(what, QString::fromStdString(error.message())));
    } catch (const std::exception& error) {
        reportStartFailure(QString("%1: %2").arg(what, QString::fromLocal8Bit(error.what())));
    }
    return false;
}
}  // namespace

int runVisagio(QApplication& app, const StartOptions& options)
{
    if (!options.cameraFile.isEmpty())
        qputenv(Webcam::kStandInVariable, options.cameraFile.toLocal8Bit());
    const std::unique_ptr<QTranslator> translation =
        installTranslation(app, chooseLanguage(options.language, messagesLocaleName()));
    const QString features =
        options.features.isEmpty() ? OwnerProfile::recordedFeatures(options.profileDir) : options.features;
    qDebug().noquote() << "feature model:" << features;
    // The liveness check is on by default under resnet, whose strong face match a printed
    // photograph of the owner passes; the GRBM model keeps its old behaviour unless asked.
    const std::optional<bool> recorded = OwnerProfile::recordedLiveness(options.profileDir);
    const bool livenessOn = !options.liveness.isEmpty() ? options.liveness == "on"
                            : recorded                  ? *recorded
                                                        : features == "resnet";
    qDebug().noquote() << "liveness check:" << (livenessOn ? "on" : "off");
    // The model, the foreign faces and the face-resnet are read in separate steps so the message
    // names the one that failed. Under resnet the GRBM model only keeps the samples'
    // groups in step, so its foreign faces are not needed.
    std::unique_ptr<FaceMatcher> matcher;
    if (!startStep(kModelPath, [&] {
            matcher = std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight, FaceMatcher::ForeignBase::Later);
        }))
        return 1;
    std::unique_ptr<ResnetMatcher> resnet;
    if (features == "resnet") {
        if (!startStep(kResnetFolder, [&] { resnet = std::make_unique<ResnetMatcher>(kResnetFolder); }))
            return 1;
        // The chips' landmark network is read by the window's engine; reading it here first names
        // a missing or damaged file before the window touches the profile.
        if (!startStep(kLandmarksFolder, [&] { FaceLandmarks landmarks(kLandmarksFolder); }))
            return 1;
    } else if (!startStep(kForeignFacesPath, [&] { matcher->readForeignBase(); })) {
        return 1;
    }
    std::unique_ptr<LivenessCheck> liveness;
    if (livenessOn && !startStep(kLivenessModelPath, [&] { liveness = std::make_unique<LivenessCheck>(); }))
        return 1;
    int code = 1;
    // What is left to fail is the owner profile's first training.
    startStep(options.profileDir, [&] {
        MainWindow window(nullptr, std::move(matcher), options.videoDir, options.profileDir, std::move(resnet),
                          std::move(liveness));
        code = 0;
        if (!options.liveness.isEmpty())
            window.recordLiveness(livenessOn);
        if (window.cameraStarted()) {
            window.show();
            code = app.exec();
        }
    });
    return code;
}
