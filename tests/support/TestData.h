#pragma once

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Folder of the shared face data sets: $VISAGIO_FACEDATA, else the build's default.
QString facedataDir();

// True when the shared face data sets are present.
bool facedataAvailable();

// True when running under CI (CI=true): missing face data is then a failure, not a skip.
bool runningInCi();

// Folder the build assembles for running the program (cascades, model).
QString runDir();

// Folder of the demo videos the build prepares from the face data (owner-enrol.avi, verify/).
QString demoDir();

// Root of the source tree.
QString sourceDir();

// Skips the current GoogleTest when the face data is missing, or fails it under CI.
#define REQUIRE_FACEDATA()                                                                    \
    do {                                                                                      \
        if (!facedataAvailable()) {                                                           \
            if (runningInCi())                                                                \
                FAIL() << "shared face data missing at " << facedataDir().toStdString();      \
            GTEST_SKIP() << "shared face data missing at " << facedataDir().toStdString()     \
                         << " (set VISAGIO_FACEDATA)";                                        \
        }                                                                                     \
    } while (0)

// The same for a QTest slot.
#define QREQUIRE_FACEDATA()                                                                   \
    do {                                                                                      \
        if (!facedataAvailable()) {                                                           \
            if (runningInCi())                                                                \
                QFAIL("shared face data missing");                                            \
            QSKIP("shared face data missing (set VISAGIO_FACEDATA)");                          \
        }                                                                                     \
    } while (0)

// Reads a photograph of the shared face data (relative path inside the data folder), colour BGR.
cv::Mat loadFacedataImage(const QString& relativePath);

// Places a photograph in a black frame of kFrameSize, scaled so that its height is `height`
// pixels (0: the whole frame height), centred, shifted by (dx, dy).
cv::Mat placeInFrame(const cv::Mat& photo, int height = 0, int dx = 0, int dy = 0);

// True when the images have the same size, type and pixels (two empty images are the same).
bool sameImage(const cv::Mat& a, const cv::Mat& b);
bool sameImages(const std::vector<cv::Mat>& a, const std::vector<cv::Mat>& b);

// A BGR image as a Qt image of `format`, and a Qt image as a BGR image.
QImage toQImage(const cv::Mat& bgr, QImage::Format format = QImage::Format_RGB32);
cv::Mat toBgr(const QImage& image);
