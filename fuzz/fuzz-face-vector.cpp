// Both face-vector conversions of the matcher on arbitrary images (layout in FuzzSupport.h):
//   imageToVector(cv::Mat): 35 x 45 images of 1 to 4 channels give 1575 finite values, either
//     all 0 (nothing to standardise) or of mean 0 and standard deviation 1, with the blanked
//     corners exactly 0 in the vector and in the image; other sizes throw "incorrect image
//     size" and leave the image as it was.
//   imageToVector(QImage, trim, threshold): 35 x 45 images of four formats, with and without
//     background trimming at any threshold, give 1575 finite values.
// Both run through two matchers, built once each in a scratch folder with a small model and
// no foreign faces: one takes faces as cut, the other normalises their light first (its
// calibration file names Tan-Triggs).
#include "Errors.h"
#include "FaceMatcher.h"
#include "File.h"
#include "FuzzSupport.h"
#include "GaussianRbm.h"
#include "RunFolder.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
constexpr int kFeatures = 200;
constexpr std::size_t kValues = std::size_t(kFaceWidth) * kFaceHeight;
// Float sums over 1575 values: mean and deviation hold to this.
constexpr double kTolerance = 1e-3;

void writeMatcherFiles(const QString& dir, bool normalising)
{
    QDir root(dir);
    FUZZ_CHECK(root.mkpath(QFileInfo(kModelPath).path()) && root.mkpath(QString(kForeignFacesPath) + "glasgow")
               && root.mkpath(QString(kForeignFacesPath) + "feret"));
    GaussianRbm model(kFaceWidth * kFaceHeight, kFeatures);
    std::fill(model.visibleSigma.begin(), model.visibleSigma.end(), 1.0f);
    File file(QFile::encodeName(root.filePath(kModelPath)).toStdString());
    file.openWrite();
    file << model;
    file.close();
    if (normalising) {
        QFile calibration(root.filePath(kModelPath) + ".calibration");
        FUZZ_CHECK(calibration.open(QIODevice::WriteOnly));
        calibration.write("format = 1\ncohort_target = 1\nlight_normalisation = tan-triggs\n");
    }
}

std::unique_ptr<FaceMatcher> makeMatcher(bool normalising)
{
    const QString dir = scratchDir() + (normalising ? "/normalising" : "/as-cut");
    writeMatcherFiles(dir, normalising);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    auto made = std::make_unique<FaceMatcher>(kFaceWidth, kFaceHeight);
    QDir::setCurrent(previous);
    return made;
}

FaceMatcher& matcher(bool normalising)
{
    static const std::unique_ptr<FaceMatcher> asCut = makeMatcher(false);
    static const std::unique_ptr<FaceMatcher> withLight = makeMatcher(true);
    return normalising ? *withLight : *asCut;
}

void checkFinite(const std::vector<float>& vector)
{
    FUZZ_CHECK(vector.size() == kValues);
    for (float v : vector)
        FUZZ_CHECK(std::isfinite(v));
}

void checkStandardised(const std::vector<float>& vector)
{
    checkFinite(vector);
    double sum = 0.0;
    double squares = 0.0;
    for (float v : vector) {
        sum += v;
        squares += double(v) * v;
    }
    if (squares == 0.0)
        return; // nothing to standardise: all zeros
    const double mean = sum / kValues;
    FUZZ_CHECK(std::fabs(mean) < kTolerance);
    FUZZ_CHECK(std::fabs(std::sqrt(squares / kValues - mean * mean) - 1.0) < kTolerance);
    FUZZ_CHECK(vector.front() == 0.0f && vector.back() == 0.0f); // blanked corners
}

void fuzzSampleOverload(FaceMatcher& matcher, const FaceInput& input)
{
    cv::Mat image = faceMat(input);
    const cv::Mat original = image.clone();
    if (input.width != kFaceWidth || input.height != kFaceHeight) {
        try {
            matcher.imageToVector(image);
        } catch (const std::logic_error& error) {
            FUZZ_CHECK(std::string(error.what()) == "incorrect image size");
            FUZZ_CHECK(cv::norm(image, original, cv::NORM_INF) == 0.0);
            return;
        }
        FUZZ_CHECK(!"a wrong size was accepted");
    }
    checkStandardised(matcher.imageToVector(image));
    FUZZ_CHECK(image.ptr<std::uint8_t>(0)[0] == 0); // masked in place
    FUZZ_CHECK(matcher.faceMask().channels() == input.channels);
}

void fuzzPhotoOverload(FaceMatcher& matcher, const FaceInput& input)
{
    const QImage image = faceImage(input);
    checkFinite(matcher.imageToVector(image, input.trimBackground, input.threshold));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    matcher(false);
    matcher(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FaceInput input = decodeFaceInput(data, size);
    for (const bool normalising : {false, true}) {
        fuzzSampleOverload(matcher(normalising), input);
        fuzzPhotoOverload(matcher(normalising), input);
    }
    return 0;
}
