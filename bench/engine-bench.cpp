// Prints the speed of the face engine on this machine: model load, face vector, features per
// face, one training of 100 samples against a foreign base of 500 (with the cohort scale), one
// verification against a template of 100 feature vectors. Runs in a temporary folder with a
// random model and generated photographs; needs no data set.
//
// engine-bench RUN_DIR also builds the matcher from a real run directory (build/run: the
// shipped model and the prepared foreign-face base) and times its construction, a training and
// a verification there.
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "File.h"
#include "GaussianRbm.h"
#include "ModelCalibration.h"
#include "RandomSource.h"
#include "RunFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
constexpr int kFeatures = 200;
constexpr int kGroupSize = 100;
constexpr std::size_t kForeignFaces = 500;
constexpr int kDistinctPhotos = 40;

using Clock = std::chrono::steady_clock;

// Milliseconds per call: the best of `rounds` rounds of `calls` calls.
double millisecondsPerCall(int rounds, int calls, const std::function<void()>& action)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        const Clock::time_point start = Clock::now();
        for (int c = 0; c < calls; ++c)
            action();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms / calls);
    }
    return best;
}

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

void writeRandomModel(const QString& path)
{
    GaussianRbm model(kSampleWidth * kSampleHeight, kFeatures);
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> weight(-0.05f, 0.05f), bias(-1.0f, 1.0f);
    for (auto& row : model.weights)
        for (float& w : row)
            w = weight(generator);
    for (float& b : model.hiddenBias)
        b = bias(generator);
    std::fill(model.visibleSigma.begin(), model.visibleSigma.end(), 1.0f);
    QDir().mkpath(QFileInfo(path).absolutePath());
    File file(path.toStdString());
    file.openWrite();
    file << model;
    file.close();
}

// A dark, smooth 320 x 400 photograph (no light background, so no background draws).
QImage darkPhoto(unsigned seed)
{
    cv::Mat coarse(20, 16, CV_8UC1);
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, 30, 190);
    cv::Mat fine;
    cv::resize(coarse, fine, cv::Size(320, 400), 0, 0, cv::INTER_LINEAR);
    QImage photo(320, 400, QImage::Format_Grayscale8);
    for (int y = 0; y < fine.rows; ++y)
        std::copy(fine.ptr<uchar>(y), fine.ptr<uchar>(y) + fine.cols, photo.scanLine(y));
    return photo;
}

// Enough first-set photographs for exactly kForeignFaces selections from the fixed start.
int writeForeignBase()
{
    RandomSource replay;
    int photos = 0;
    for (std::size_t taken = 0; taken < kForeignFaces; ++photos)
        taken += float(replay.next()) / float(RandomSource::kMax) < 0.5f;
    const QString glasgow = QString(kForeignFacesPath) + "glasgow/";
    QDir().mkpath(glasgow);
    QDir().mkpath(QString(kForeignFacesPath) + "feret");
    for (int i = 0; i < photos; ++i) {
        const QString name = QString(glasgow + "%1.jpg").arg(i, 5, 10, QChar('0'));
        if (i < kDistinctPhotos)
            darkPhoto(unsigned(i) + 1).save(name, "JPG", 90);
        else
            QFile::copy(QString(glasgow + "%1.jpg").arg(i % kDistinctPhotos, 5, 10, QChar('0')), name);
    }
    return photos;
}

cv::Mat sample(unsigned seed)
{
    cv::Mat image(kSampleSize, CV_8UC1);
    cv::RNG(seed).fill(image, cv::RNG::UNIFORM, 1, 256);
    return image;
}

std::vector<cv::Mat> group(unsigned firstSeed)
{
    std::vector<cv::Mat> images;
    for (int i = 0; i < kGroupSize; ++i)
        images.push_back(sample(firstSeed + unsigned(i)));
    return images;
}

// The plain sequential loop, for comparison (same rounding as the model's kernel).
void plainFeatures(const GaussianRbm& model, const std::vector<float>& v, std::vector<float>& out)
{
    for (int j = 0; j < model.hiddenCount(); ++j) {
        double sum = model.hiddenBias[j];
        for (int i = 0; i < model.visibleCount(); ++i)
            sum += double(model.weights[j][i]) * double(v[i]) / double(model.visibleSigma[i]);
        out[j] = float(sum);
    }
}
// The matcher as the program builds it in a run directory.
void benchRunDirectory(const QString& runPath)
{
    const QByteArray name = runPath.toLocal8Bit();
    const char* runDir = name.constData();
    if (!QDir::setCurrent(runPath))
        throw std::runtime_error(std::string("cannot enter ") + runDir);
    const Clock::time_point built = Clock::now();
    FaceMatcher matcher(kSampleWidth, kSampleHeight);
    const double construction = std::chrono::duration<double, std::milli>(Clock::now() - built).count();
    std::printf("%s: matcher construction (shipped model, %zu foreign faces kept): %.1f ms\n", runDir,
                matcher.foreignCount(), construction);
    matcher.addGroup(group(2000));
    const double train = millisecondsPerCall(5, 1, [&] { matcher.train(); });
    std::printf("%s: train() of %d samples with %zu foreign faces: %.1f ms (cohort scale %.4g)\n", runDir,
                kGroupSize, matcher.foreignCount(), train, double(matcher.cohortScale()));
    const cv::Mat probe = sample(6000);
    const double verify = millisecondsPerCall(5, 500, [&] { matcher.verify(probe); });
    std::printf("%s: verify() against %zu template vectors: %.3f ms\n", runDir, matcher.templateFeatures().size(),
                verify);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cv::setNumThreads(1);
    const QString runDir = argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath() : QString();
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    qInstallMessageHandler(dropMessages);
    try {
        const QString modelPath = kModelPath;
        writeRandomModel(modelPath);
        ModelCalibration calibration;
        calibration.cohortTarget = 10.0f;
        calibration.write(ModelCalibration::pathFor(modelPath.toStdString()));
        const int photos = writeForeignBase();

        GaussianRbm model(1, 1);
        const double load = millisecondsPerCall(3, 10, [&] {
            File file(modelPath.toStdString());
            file.openRead();
            file >> model;
        });
        std::printf("model load (1575 x 200, 1273408 bytes): %.3f ms\n", load);

        const Clock::time_point built = Clock::now();
        FaceMatcher matcher(kSampleWidth, kSampleHeight);
        const double construction = std::chrono::duration<double, std::milli>(Clock::now() - built).count();
        std::printf("matcher construction (%d photographs read, %zu foreign faces kept): %.1f ms\n",
                    photos, matcher.foreignCount(), construction);

        const cv::Mat face = sample(7);
        const double vector = millisecondsPerCall(5, 2000, [&] { matcher.imageToVector(face); });
        std::printf("imageToVector: %.2f us\n", vector * 1000.0);

        std::vector<std::vector<float>> rows;
        for (int i = 0; i < kGroupSize; ++i)
            rows.push_back(matcher.imageToVector(sample(100 + unsigned(i))));
        GaussianRbm features = matcher.model();
        features.setBatch(rows);
        const double hidden = millisecondsPerCall(5, 1, [&] { features.computeHidden(); }) / kGroupSize;
        std::vector<float> plain(kFeatures);
        const double reference = millisecondsPerCall(3, 10, [&] { plainFeatures(features, rows[0], plain); });
        std::printf("computeHidden per face: %.3f ms (plain sequential loop %.3f ms, same result: %s)\n",
                    hidden, reference, plain == features.hiddenRow(0) ? "yes" : "NO");

        matcher.addGroup(group(1000));
        const double train = millisecondsPerCall(5, 1, [&] { matcher.train(); });
        std::printf("train() of %d samples with %zu foreign faces: %.1f ms\n", kGroupSize,
                    matcher.foreignCount(), train);

        const cv::Mat probe = sample(5000);
        const double verify = millisecondsPerCall(5, 500, [&] { matcher.verify(probe); });
        std::printf("verify() against %zu template vectors: %.3f ms\n", matcher.templateFeatures().size(), verify);
        if (!runDir.isEmpty())
            benchRunDirectory(runDir);
    } catch (const e_default& error) {
        std::fprintf(stderr, "engine-bench: %s\n", error.message().c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
