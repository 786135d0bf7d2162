#include "ForeignFaces.h"

#include "AnnotatedFaceList.h"
#include "FaceGeometry.h"
#include "FaceVector.h"
#include "RunFolder.h"

#include <QDir>
#include <QImage>
#include <QRect>
#include <QStringList>

namespace {
const QString kFirstForeignDir = QString(kForeignFacesPath) + "glasgow/";
const QString kSecondForeignDir = QString(kForeignFacesPath) + "feret/";

// First set: a fixed 252 x 324 rectangle from x 50, its top 140 pixels above the middle row.
constexpr int kFirstCropLeft = 50;
constexpr int kFirstCropRight = 301;
constexpr int kFirstCropBottomOffset = 323;
constexpr double kFirstCropMiddle = 0.5;
constexpr double kFirstCropAboveMiddle = 140.0;
// Light background at the row ends of a first-set face is replaced from this level up.
constexpr int kFirstTrimThreshold = 210;
constexpr int kSecondTrimThreshold = 255;
// Share of each set that is kept, as r / 32767 below it.
constexpr float kFirstSelection = 0.5f;
constexpr float kSecondSelection = 0.2f;

QImage toFaceSize(const QImage& crop)
{
    return crop.scaled(QSize(kSampleWidth, kSampleHeight), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

bool selected(int draw, float share)
{
    return float(draw) / float(RandomSource::kMax) < share;
}

// Every file of the first set, in directory order; an unreadable file is skipped without a draw.
void readFirstSet(const QString& directory, RandomSource& random, LightNormalisation light,
                  std::vector<std::vector<float>>& faces)
{
    const QStringList entries = QDir(directory).entryList(QDir::Files, QDir::NoSort);
    for (const QString& entry : entries) {
        const QImage photo(directory + entry);
        const int top = int(photo.height() * kFirstCropMiddle - kFirstCropAboveMiddle);
        const QRect crop(QPoint(kFirstCropLeft, top), QPoint(kFirstCropRight, top + kFirstCropBottomOffset));
        const QImage face = toFaceSize(photo.copy(crop));
        if (face.isNull())
            continue;
        if (selected(random.next(), kFirstSelection))
            faces.push_back(photoFaceVector(face, true, kFirstTrimThreshold, random, light));
    }
}

// Every record of the second set's index, in file order; a null crop is skipped without a draw.
void readSecondSet(const QString& directory, RandomSource& random, LightNormalisation light,
                   std::vector<std::vector<float>>& faces)
{
    const AnnotatedFaceList list(directory);
    for (unsigned i = 0; i < list.size(); ++i) {
        const QImage crop = list.at(i);
        if (crop.isNull())
            continue;
        const QImage face = toFaceSize(crop);
        if (selected(random.next(), kSecondSelection))
            faces.push_back(photoFaceVector(face, false, kSecondTrimThreshold, random, light));
    }
}
} // namespace

std::vector<std::vector<float>> readForeignFaces(const QString& root, RandomSource& random, LightNormalisation light)
{
    std::vector<std::vector<float>> faces;
    readFirstSet(root + kFirstForeignDir, random, light, faces);
    readSecondSet(root + kSecondForeignDir, random, light, faces);
    return faces;
}
