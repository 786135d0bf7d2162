#include "AnnotatedFaceList.h"

#include "Errors.h"

#include <QFile>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <limits>

namespace {
constexpr int kRecordParts = 9;
// Crop proportions of an annotated face. They are single-precision constants; the products
// are formed in double, which keeps e.g. 2.3f * 60 just below 138 before truncation.
constexpr float kHalf = 0.5f;
constexpr float kLeftOfFirstEye = 0.65f;  // eye distances left of the first eye
constexpr float kWidthInEyeDistances = 2.3f;
constexpr float kAboveEyeLine = 0.9f;     // eye-to-mouth distances above the eye line
constexpr float kHeightInMouthDistances = 2.6f;
// Crops of real records stay within about 1.3 times the photograph's size.
constexpr qint64 kMaxCropToPhoto = 2;

quint32 toCoordinate(const QString& part)
{
    return part.toUInt(); // 0 when the part is not an unsigned decimal number
}

AnnotatedFace toRecord(const QString& directory, const QStringList& parts)
{
    AnnotatedFace face;
    face.path = directory + "/" + parts[0] + ".jpg";
    face.x1 = toCoordinate(parts[1]);
    face.y1 = toCoordinate(parts[2]);
    face.x2 = toCoordinate(parts[3]);
    face.y2 = toCoordinate(parts[4]);
    face.x3 = toCoordinate(parts[5]);
    face.y3 = toCoordinate(parts[6]);
    face.x4 = toCoordinate(parts[7]);
    face.y4 = toCoordinate(parts[8]);
    return face;
}

// The crop rectangle in 64-bit integers: the landmarks are unsigned 32-bit, so their
// differences and products do not fit an int for every index a file may hold.
struct CropBox
{
    qint64 x = 0;
    qint64 y = 0;
    qint64 width = 0;
    qint64 height = 0;
};

CropBox cropOf(const AnnotatedFace& face)
{
    const qint64 d = qint64(face.x2) - qint64(face.x1);
    const qint64 m = qint64(double(face.y4) - double(kHalf) * face.y1 - double(kHalf) * face.y2);
    const double eyeLine = double(kHalf) * face.y1 + double(kHalf) * face.y2;
    CropBox box;
    box.x = qint64(double(face.x1) - double(kLeftOfFirstEye) * d);
    box.width = qint64(double(kWidthInEyeDistances) * d);
    box.y = qint64(eyeLine - double(kAboveEyeLine) * m);
    box.height = qint64(double(kHeightInMouthDistances) * m);
    return box;
}

bool fitsInt(qint64 value)
{
    return value > std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

// A face crop is at most a little larger than its photograph; a record whose crop is more than
// kMaxCropToPhoto times the photograph's width or height, or whose corners lie beyond int
// coordinates, is damaged, and cutting it would allocate an image of up to gigabytes.
bool isCroppable(const CropBox& box, const QSize& photo)
{
    return box.width <= kMaxCropToPhoto * photo.width() && box.height <= kMaxCropToPhoto * photo.height()
           && fitsInt(box.x) && fitsInt(box.y) && fitsInt(box.width) && fitsInt(box.height)
           && fitsInt(box.x + box.width) && fitsInt(box.y + box.height);
}
} // namespace

AnnotatedFaceList::AnnotatedFaceList(const QString& directory)
{
    QFile file(directory + "/coords.txt");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QRegularExpression blanks("\\s+", QRegularExpression::UseUnicodePropertiesOption);
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList parts = in.readLine().split(blanks, Qt::KeepEmptyParts);
        if (parts.size() >= kRecordParts)
            faces.append(toRecord(directory, parts));
    }
}

unsigned AnnotatedFaceList::size() const
{
    return unsigned(faces.size());
}

QImage AnnotatedFaceList::at(unsigned index) const
{
    if (index >= size())
        throw e_logic_range("Out of range");
    const AnnotatedFace& face = faces[int(index)];
    const QImage photo(face.path);
    const CropBox box = cropOf(face);
    if (!isCroppable(box, photo.size()))
        return QImage();
    return photo.copy(QRect(int(box.x), int(box.y), int(box.width), int(box.height)));
}

const QList<AnnotatedFace>& AnnotatedFaceList::records() const
{
    return faces;
}
