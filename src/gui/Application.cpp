#include "Application.h"

#include "Errors.h"
#include "Language.h"
#include "MainWindow.h"
#include "RunFolder.h"
#include "Webcam.h"

#include <QApplication>
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
}  // namespace

int runVisagio(QApplication& app, const StartOptions& options)
{
    if (!options.cameraFile.isEmpty())
        qputenv(Webcam::kStandInVariable, options.cameraFile.toLocal8Bit());
    const std::unique_ptr<QTranslator> translation =
        installTranslation(app, chooseLanguage(options.language, messagesLocaleName()));
    try {
        MainWindow window(nullptr, options.videoDir, options.profileDir);
        if (!window.cameraStarted())
            return 0;
        window.show();
        return app.exec();
    } catch (const e_default& error) {
        return reportStartFailure(QString("%1: %2").arg(kModelPath, QString::fromStdString(error.message())));
    } catch (const std::exception& error) {
        return reportStartFailure(
            QCoreApplication::translate("Visagio", "%1 or %2: %3").arg(kModelPath, kForeignFacesPath, error.what()));
    }
}
