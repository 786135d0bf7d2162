#include "AnnotatedFaceList.h"
#include "ErrorMessage.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "FaceVector.h"
#include "ModelFiles.h"
#include "RandomSource.h"
#include "RunFolder.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace {

// Damaged records and photographs are in BadInputTest, which also finds the same selection
// whenever the same faces are read.
const QString kGlasgow = QString(kForeignFacesPath) + "glasgow/";
const QString kFeret = QString(kForeignFacesPath) + "feret/";

QImage toFace(const QImage& crop)
{
    return crop.scaled(QSize(kSampleWidth, kSampleHeight), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

class ForeignBaseTest : public ::testing::Test
{
protected:
    void writeCoords(const QStringList& lines)
    {
        ASSERT_TRUE(writeBytes(kFeret + "coords.txt", lines.join('\n').toUtf8() + "\n"));
    }

    QTemporaryDir dir;
    ScopedWorkingDirectory workingDirectory{prepareMatcherRunDir(dir.path())};
    CapturedLog log; // keeps the matcher's diagnostics out of the output
};

TEST_F(ForeignBaseTest, MissingDirectoriesGiveNoFaces)
{
    ASSERT_TRUE(QDir(kForeignFacesPath).removeRecursively());
    EXPECT_EQ(FaceMatcher(kSampleWidth, kSampleHeight).foreignCount(), 0u);
}

TEST_F(ForeignBaseTest, AnnotatedCropFollowsEyesAndMouth)
{
    const QImage photo = noisePhoto(300, 300, 1);
    ASSERT_TRUE(photo.save(kFeret + "face1.jpg", "JPG", 95));
    writeCoords({"face1 100 120 160 120 130 150 130 190"});
    const AnnotatedFaceList list(kFeret);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.records()[0].path, kFeret + "/face1.jpg");
    const QImage crop = list.at(0);
    EXPECT_EQ(crop.size(), QSize(137, 181));
    EXPECT_EQ(crop, QImage(kFeret + "face1.jpg").copy(61, 57, 137, 181));
    EXPECT_NE(crop, QImage(kFeret + "face1.jpg").copy(62, 57, 137, 181));
    EXPECT_EQ(messageOf<e_logic_range>([&] { list.at(1); }), "Out of range");
}

TEST_F(ForeignBaseTest, IndexLinesAreSplitOnBlankRuns)
{
    writeCoords({
        "a 1 2 3 4 5 6 7 8",
        "short 1 2 3 4 5 6 7",
        " lead 1 2 3 4 5 6 7 8",
        "b\t9   10 11 12 13 14 15 16 extra parts",
        "",
        "c x 2 3 4 5 6 7 -8",
    });
    const AnnotatedFaceList list(kFeret);
    ASSERT_EQ(list.size(), 4u);
    const QList<AnnotatedFace>& r = list.records();
    EXPECT_EQ(r[0].path, kFeret + "/a.jpg");
    EXPECT_EQ(r[0].y4, 8u);
    // A leading blank gives an empty name and shifts the numbers by one.
    EXPECT_EQ(r[1].path, kFeret + "/.jpg");
    EXPECT_EQ(r[1].x1, 0u);
    EXPECT_EQ(r[1].y1, 1u);
    EXPECT_EQ(r[1].y4, 7u);
    EXPECT_EQ(r[2].path, kFeret + "/b.jpg");
    EXPECT_EQ(r[2].x1, 9u);
    EXPECT_EQ(r[2].y4, 16u);
    // Parts that are not unsigned numbers read as 0.
    EXPECT_EQ(r[3].x1, 0u);
    EXPECT_EQ(r[3].y4, 0u);
    EXPECT_EQ(AnnotatedFaceList(dir.filePath("nowhere")).size(), 0u);
}

TEST_F(ForeignBaseTest, FirstSetPhotographIsCutAtItsMiddle)
{
    // The first draw (16838) rejects a face, the second (5758) takes it; dark photographs
    // need no background draws.
    const QImage photo = noisePhoto(352, 576, 2);
    for (const char* name : {"one.png", "two.png"})
        ASSERT_TRUE(photo.save(kGlasgow + name, "PNG"));
    FaceMatcher matcher(kSampleWidth, kSampleHeight);
    ASSERT_EQ(matcher.foreignCount(), 1u);
    RandomSource unused;
    const std::vector<float> expected =
        photoFaceVector(toFace(photo.copy(QRect(50, 148, 252, 324))), true, 210, unused);
    EXPECT_EQ(matcher.foreignVectors()[0], expected);
    const std::vector<float> shifted =
        photoFaceVector(toFace(photo.copy(QRect(50, 147, 252, 324))), true, 210, unused);
    EXPECT_NE(matcher.foreignVectors()[0], shifted);
}

// Draw order: one draw a photograph, followed by the background draws of a selected face.
TEST_F(ForeignBaseTest, BackgroundDrawsFollowTheirSelection)
{
    QImage photo = noisePhoto(320, 400, 3);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 280; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb(240, 240, 240)); // light right-hand background
    for (const char* name : {"p1.png", "p2.png", "p3.png", "p4.png", "p5.png"})
        ASSERT_TRUE(photo.save(kGlasgow + name, "PNG"));
    FaceMatcher matcher(kSampleWidth, kSampleHeight);

    const QImage face = toFace(photo.copy(QRect(QPoint(50, 60), QPoint(301, 383))));
    RandomSource replay;
    std::vector<std::vector<float>> expected;
    for (int i = 0; i < 5; ++i)
        if (float(replay.next()) / float(RandomSource::kMax) < 0.5f) // one draw a photograph: selected?
            expected.push_back(photoFaceVector(face, true, 210, replay));
    ASSERT_GE(expected.size(), 2u);
    EXPECT_NE(expected[0], expected[1]) << "different noise";
    EXPECT_EQ(matcher.foreignVectors(), expected);
}

} // namespace
