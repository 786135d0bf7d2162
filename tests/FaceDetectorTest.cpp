#include "FaceDetector.h"

#include "FaceGeometry.h"
#include "FaceVideos.h"
#include "RunFolder.h"
#include "TestData.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {
// Damaged and missing cascades are in BadInputTest.
constexpr int kMinFaceSide = 90;

// Frontal photographs that fill the frame height with a face of 100 to 180 px.
const std::vector<std::pair<QString, int>> kFacePhotos = {
    {"essex_faces94_female/Training/13/mbutle.1.jpg", kFrameHeight},
    {"essex_faces94_female/Training/1/9338535.1.jpg", kFrameHeight},
    {"lfw_min10/people/Amelie_Mauresmo/Amelie_Mauresmo_0001.jpg", 300},
    {"essex_faces94_female/Training/0/9336923.1.jpg", kFrameHeight},
};

// A wide black frame holding two photographs side by side, scaled to the given heights and
// bottom-aligned, the second starting `gap` pixels after the first.
cv::Mat twoFaces(const cv::Mat& first, int firstHeight, const cv::Mat& second, int secondHeight, int gap)
{
    cv::Mat a, b;
    cv::resize(first, a, cv::Size(), double(firstHeight) / first.rows, double(firstHeight) / first.rows);
    cv::resize(second, b, cv::Size(), double(secondHeight) / second.rows, double(secondHeight) / second.rows);
    const int height = std::max(a.rows, b.rows);
    cv::Mat frame(height, std::max(gap + b.cols, a.cols), CV_8UC3, cv::Scalar::all(0));
    a.copyTo(frame(cv::Rect(0, height - a.rows, a.cols, a.rows)));
    b.copyTo(frame(cv::Rect(gap, height - b.rows, b.cols, b.rows)));
    return frame;
}

} // namespace

// The detector as the window builds it: cascades from the run directory (the working
// directory of the tests).
class FaceDetectorTest : public ::testing::Test
{
protected:
    cv::Mat facePhoto(size_t index) { return loadFacedataImage(kFacePhotos.at(index).first); }
    cv::Mat faceFrame(size_t index) { return placeInFrame(facePhoto(index), kFacePhotos.at(index).second); }

    // What the detector's cascade finds with the detector's settings but another size limit.
    std::vector<cv::Rect> cascadeFaces(const cv::Mat& frame, int minSide)
    {
        cv::CascadeClassifier cascade(kFaceCascadePath);
        EXPECT_FALSE(cascade.empty());
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        std::vector<cv::Rect> faces;
        cascade.detectMultiScale(grey, faces, 1.2, 3, cv::CASCADE_DO_CANNY_PRUNING, cv::Size(minSide, minSide));
        return faces;
    }

    FaceDetector detector;
};

// Each photograph's face is found at the centre of the frame, copied in colour at frame
// resolution; a face under 90 pixels is never reported, though the cascade alone sees such
// faces in these frames.
TEST_F(FaceDetectorTest, FindsTheFaceInPhotographsButNeverUnderNinetyPixels)
{
    REQUIRE_FACEDATA();
    int smallFacesSeen = 0;
    for (size_t i = 0; i < kFacePhotos.size(); ++i) {
        SCOPED_TRACE(kFacePhotos[i].first.toStdString());
        const cv::Mat frame = faceFrame(i);
        detector.processFrame(frame);
        ASSERT_TRUE(detector.found());
        const cv::Rect face = detector.faceRect();
        EXPECT_TRUE(face.contains(cv::Point(kFrameWidth / 2, kFrameHeight / 2))) << face;
        EXPECT_TRUE(sameImage(detector.copyImage(0), frame(face)));
        for (int height = 60; height <= 200; height += 10) {
            SCOPED_TRACE("height " + std::to_string(height));
            const cv::Mat scaled = placeInFrame(facePhoto(i), height);
            for (const cv::Rect& seen : cascadeFaces(scaled, 0))
                smallFacesSeen += seen.width < kMinFaceSide ? 1 : 0;
            detector.processFrame(scaled);
            if (detector.found()) {
                EXPECT_GE(detector.faceRect().width, kMinFaceSide);
                EXPECT_GE(detector.faceRect().height, kMinFaceSide);
            }
        }
    }
    EXPECT_GT(smallFacesSeen, 10) << "the frames should hold faces the size limit has to reject";
}

TEST_F(FaceDetectorTest, TheLargestFaceIsChosen)
{
    REQUIRE_FACEDATA();
    const cv::Mat big = facePhoto(0);
    const cv::Mat small = facePhoto(1);
    // A big and a small face side by side, the big one left and then right; the frame is
    // split at x = 260.
    for (const bool bigLeft : {true, false}) {
        SCOPED_TRACE(bigLeft ? "big face left" : "big face right");
        const cv::Mat frame = bigLeft ? twoFaces(big, 300, small, 200, 300) : twoFaces(small, 200, big, 300, 260);
        const std::vector<cv::Rect> faces = cascadeFaces(frame, kMinFaceSide);
        ASSERT_EQ(faces.size(), 2u) << "both faces should be detectable";
        const cv::Rect larger = faces[0].area() > faces[1].area() ? faces[0] : faces[1];
        ASSERT_NE(faces[0].area(), faces[1].area());
        detector.processFrame(frame);
        ASSERT_TRUE(detector.found());
        EXPECT_EQ(detector.faceRect(), larger);
        const int centreX = larger.x + larger.width / 2;
        EXPECT_EQ(centreX < 260, bigLeft);
    }
}

TEST_F(FaceDetectorTest, AmongEqualLargestFacesTheEarliestDetectionWins)
{
    REQUIRE_FACEDATA();
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1); // OpenCV's detection order depends on thread scheduling
    const cv::Mat photo = facePhoto(0);
    int ties = 0;
    int tiesWonByTheRightFace = 0;
    // The same photograph twice: at some distances both copies come out exactly the same size.
    for (int gap = 216; gap <= 440; gap += 8) {
        SCOPED_TRACE("gap " + std::to_string(gap));
        const cv::Mat frame = twoFaces(photo, kFrameHeight, photo, kFrameHeight, gap);
        const std::vector<cv::Rect> faces = cascadeFaces(frame, kMinFaceSide);
        if (faces.size() != 2 || faces[0].area() != faces[1].area())
            continue;
        ++ties;
        tiesWonByTheRightFace += faces[0].x > faces[1].x ? 1 : 0;
        detector.processFrame(frame);
        EXPECT_EQ(detector.faceRect(), faces[0]);
    }
    cv::setNumThreads(threads);
    ASSERT_GT(ties, 0) << "no layout gave two faces of equal size";
    EXPECT_GT(tiesWonByTheRightFace, 0) << "no tie where the first detection is not the left face";
}

// The copy (selector 0 only) is independent of the detector and of the frame; a new frame
// replaces the last face, and a face-free frame leaves none.
TEST_F(FaceDetectorTest, TheCopyIsIndependentOfTheDetectorAndOfTheFrame)
{
    REQUIRE_FACEDATA();
    cv::Mat frame = faceFrame(0);
    detector.processFrame(frame);
    ASSERT_TRUE(detector.found());
    const cv::Mat expected = frame(detector.faceRect()).clone();

    // The caller may reuse its frame at once.
    frame.setTo(cv::Scalar::all(0));
    cv::Mat copy = detector.copyImage(0);
    ASSERT_TRUE(sameImage(copy, expected));

    // Drawing on one copy leaves the detector's face image alone.
    copy.setTo(cv::Scalar(255, 255, 255));
    EXPECT_TRUE(sameImage(detector.copyImage(0), expected));

    for (int which : {1, -1, 2, 100})
        EXPECT_TRUE(detector.copyImage(which).empty()) << "selector " << which;
    // A copy outlives the detector's next frames.
    const cv::Mat kept = detector.copyImage(0);
    detector.processFrame(faceFrame(1));
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE("face-free frame " + std::to_string(i));
        detector.processFrame(faceFreeFrame(i));
        EXPECT_FALSE(detector.found());
        EXPECT_EQ(detector.faceRect(), cv::Rect());
        EXPECT_TRUE(detector.copyImage(0).empty());
    }
    EXPECT_TRUE(sameImage(kept, expected));
}
