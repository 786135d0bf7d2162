// The data preparation of the tools: face samples cut by the window's own pipeline, the two
// layouts of the foreign-face base as the matcher reads them, sample files and videos.
#include "AnnotatedFaceList.h"
#include "DemoVideoMaker.h"
#include "FaceGeometry.h"
#include "FaceSample.h"
#include "FacedataIndex.h"
#include "ForeignBaseWriter.h"
#include "PhotoFramer.h"
#include "SampleCutter.h"
#include "SampleSet.h"
#include "TestData.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace {

cv::Mat greyOf(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.bits()),
                   static_cast<size_t>(grey.bytesPerLine()))
        .clone();
}

// Centre of the set pixels of a mask.
cv::Point2d centroid(const cv::Mat& mask)
{
    const cv::Moments moments = cv::moments(mask, true);
    return moments.m00 > 0 ? cv::Point2d(moments.m10 / moments.m00, moments.m01 / moments.m00) : cv::Point2d(-100, -100);
}

// A colour texture of smooth blobs: every region looks different, so a misplaced crop shows.
cv::Mat texture(cv::Size size, unsigned seed)
{
    cv::Mat coarse(size.height / 20 + 2, size.width / 20 + 2, CV_8UC3), fine;
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, cv::Scalar::all(30), cv::Scalar::all(201));
    cv::resize(coarse, fine, size, 0, 0, cv::INTER_CUBIC);
    return fine;
}

} // namespace

class FacedataPrepTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
};

TEST_F(FacedataPrepTest, FeretCoordinatesFrameTheFaceThroughTheMatchersReader)
{
    // An 80 x 80 "photograph" with a black left eye and a white right eye on grey.
    cv::Mat photo(80, 80, CV_8UC3, cv::Scalar::all(128));
    const std::vector<cv::Point2f> landmarks = {{30.4f, 35.2f}, {49.6f, 34.8f}, {40.0f, 45.0f},
                                                {32.0f, 55.0f}, {48.0f, 55.4f}};
    cv::circle(photo, cv::Point(30, 35), 2, cv::Scalar::all(0), cv::FILLED);
    cv::circle(photo, cv::Point(50, 35), 2, cv::Scalar::all(255), cv::FILLED);
    const std::string photoPath = dir.filePath("photo.png").toStdString();
    ASSERT_TRUE(cv::imwrite(photoPath, photo));

    ForeignBaseWriter writer(dir.filePath("base").toStdString());
    ASSERT_EQ(writer.writeFeret({{photoPath, "", landmarks}}), 1);
    const AnnotatedFaceList list(QString::fromStdString(writer.feretDir()));
    ASSERT_EQ(list.size(), 1u);
    const AnnotatedFace& record = list.records().front();
    const QImage crop = list.at(0);
    ASSERT_FALSE(crop.isNull());

    // The crop reaches 0.65 eye distances left of the first eye and 0.9 eye-to-mouth
    // distances above the eye line: that is where the eyes must be found inside it.
    const double d = static_cast<double>(record.x2) - record.x1;
    const double m = record.y4 - 0.5 * record.y1 - 0.5 * record.y2;
    const cv::Mat grey = greyOf(crop);
    const cv::Point2d darkest = centroid(grey < 40);
    const cv::Point2d brightest = centroid(grey > 215);
    EXPECT_NEAR(darkest.x, 0.65 * d, 3.0);
    EXPECT_NEAR(darkest.y, 0.9 * m, 3.0);
    EXPECT_NEAR(brightest.x, 1.65 * d, 3.0);
    EXPECT_NEAR(brightest.y, 0.9 * m, 3.0);
    // The single-precision constant times the eye distance, formed in double: 2.3f * 20 falls
    // just short of 46.
    EXPECT_EQ(crop.width(), static_cast<int>(static_cast<double>(2.3f) * d));
}

TEST_F(FacedataPrepTest, GlasgowCanvasMakesTheFixedCropEqualTheWindowsSample)
{
    const cv::Mat photo = texture(cv::Size(320, 243), 3);
    for (const cv::Rect face : {cv::Rect(100, 60, 120, 120), cv::Rect(90, 40, 150, 150), cv::Rect(110, 70, 95, 95)}) {
        SCOPED_TRACE(face.width);
        cv::Mat windowSample(kSampleSize, CV_8UC1);
        makeSample(photo(face).clone(), windowSample);

        // The matcher's first set: crop (50, h / 2 - 140) 252 x 324, fast scaling to 35 x 45.
        const QImage canvas = toQImage(ForeignBaseWriter::glasgowCanvas(photo, face));
        const int top = static_cast<int>(canvas.height() * 0.5 - 140);
        const QImage crop = canvas.copy(QRect(QPoint(50, top), QPoint(301, top + 323)))
                                .scaled(QSize(kSampleWidth, kSampleHeight), Qt::IgnoreAspectRatio,
                                        Qt::FastTransformation);
        const cv::Mat matcherFace = greyOf(crop);
        cv::Mat difference;
        cv::absdiff(matcherFace, windowSample, difference);
        EXPECT_LT(cv::mean(difference)[0], 8.0);
    }
}

// A sample file keeps samples, persons and sources; a truncated or foreign file is rejected.
TEST_F(FacedataPrepTest, SampleFilesRoundTripAndDamagedOnesAreRejected)
{
    SampleSet set;
    for (int k = 0; k < 5; ++k)
        set.add(cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(k * 40)), k < 3 ? "ann" : (k == 3 ? "" : "bob"), 10 + k);
    const std::string path = dir.filePath("set.smp").toStdString();
    set.save(path);
    const SampleSet loaded = SampleSet::load(path);
    ASSERT_EQ(loaded.size(), 5);
    EXPECT_EQ(loaded.personNames(), (std::vector<std::string>{"ann", "bob"}));
    EXPECT_EQ(loaded.person(3), -1);
    EXPECT_EQ(loaded.person(4), 1);
    EXPECT_EQ(loaded.source(2), 12);
    EXPECT_EQ(cv::countNonZero(loaded.sample(4) != set.sample(4)), 0);
    EXPECT_EQ(loaded.samplesOf(0), (std::vector<int>{0, 1, 2}));

    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 100);
    EXPECT_THROW(SampleSet::load(path), std::runtime_error);
    std::ofstream(dir.filePath("other.smp").toStdString()) << "not samples";
    EXPECT_THROW(SampleSet::load(dir.filePath("other.smp").toStdString()), std::runtime_error);
    EXPECT_THROW(set.add(cv::Mat(44, 35, CV_8UC1), "ann", 0), std::logic_error);
}

TEST_F(FacedataPrepTest, SplitKeepsCalibrationEvaluationAndTrainingPeopleApart)
{
    REQUIRE_FACEDATA();
    const FacedataIndex index(facedataDir().toStdString());
    std::set<std::string> min10;
    for (const auto& photo : index.lfwPeople("lfw_min10"))
        min10.insert(photo.person);
    for (const auto& photo : index.lfwPeople("lfw_min10", 'A', 'J'))
        ASSERT_TRUE(photo.person[0] >= 'A' && photo.person[0] <= 'J') << photo.person;
    for (const auto& photo : index.lfwPeople("lfw_2to9"))
        ASSERT_EQ(min10.count(photo.person), 0u) << photo.person;
    int fromLfw = 0;
    for (const auto& photo : index.mtflFaces(true)) {
        const std::string file = std::filesystem::path(photo.path).filename().string();
        if (photo.path.find("lfw_5590") == std::string::npos)
            continue;
        ++fromLfw;
        ASSERT_EQ(min10.count(file.substr(0, file.rfind('_'))), 0u) << file;
    }
    EXPECT_GT(fromLfw, 1000);
    EXPECT_LT(index.mtflFaces(true).size(), index.mtflFaces(false).size());
}

// Photographs are cut by the window's pipeline, misses counted; videos are written as camera
// frames, the face-free ones first.
TEST_F(FacedataPrepTest, PhotographsAreCutAndFilmedByTheWindowsPipeline)
{
    REQUIRE_FACEDATA();
    std::vector<FacePhoto> photos;
    for (const auto& photo : FacedataIndex(facedataDir().toStdString()).essexPeople())
        if (photo.person == "essex_13" && photos.size() < 3)
            photos.push_back(photo);
    const std::string blank = dir.filePath("blank.png").toStdString();
    ASSERT_TRUE(cv::imwrite(blank, cv::Mat(200, 180, CV_8UC3, cv::Scalar(90, 120, 150))));
    photos.push_back({blank, "nobody", {}});

    SampleCutter cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    int missed = 0;
    const SampleSet samples = cutter.cutPhotos(photos, 2, 1, "test", missed);
    EXPECT_EQ(missed, 1);
    EXPECT_EQ(samples.size(), 9);
    EXPECT_EQ(samples.personNames(), (std::vector<std::string>{"essex_13"}));
    // The sample is the window's: a frame with the face above the 90 px minimum, then makeSample.
    const cv::Mat photo = PhotoFramer::load(photos[0].path);
    FramePlacement placement;
    ASSERT_TRUE(cutter.findPlacement(photos[0], photo, placement));
    const cv::Mat frame = PhotoFramer::compose(photo, placement);
    ASSERT_EQ(frame.size(), kFrameSize);
    EXPECT_EQ(cv::countNonZero(cutter.cutFrame(frame) != samples.sample(0)), 0);
    EXPECT_GE(cutter.lastFace().width, 90);

    std::mt19937 random(1);
    std::vector<cv::Mat> frames = DemoVideoMaker::photoFrames({photos[0], photos[1]}, 4, random,
                                                              SampleCutter::defaultFaceCascade(),
                                                              SampleCutter::defaultEyeCascade());
    ASSERT_EQ(frames.size(), 8u);
    const std::vector<cv::Mat> empty = DemoVideoMaker::faceFreeFrames(frames.front(), 3);
    frames.insert(frames.begin(), empty.begin(), empty.end());
    const std::string path = dir.filePath("person.avi").toStdString();
    DemoVideoMaker::write(path, frames);
    const std::vector<cv::Mat> read = DemoVideoMaker::read(path);
    ASSERT_EQ(read.size(), 11u);
    for (size_t k = 0; k < read.size(); ++k) {
        EXPECT_EQ(read[k].size(), kFrameSize);
        EXPECT_EQ(cutter.cutFrame(read[k]).empty(), k < 3) << "frame " << k;
    }
}
