#include "AnnotatedFaceList.h"

#include "Errors.h"

#include <QFile>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

namespace {
constexpr int kRecordParts = 9;
// Crop proportions of an annotated face. They are single-precision constants; the products
// are formed in double, which keeps e.g. 2.3f * 60 just below 138 before truncation.
constexpr float kHalf = 0.5f;
constexpr float kLeftOfFirstEye = 0.65f;  // eye distances left of the first eye
constexpr float kWidthInEyeDistances = 2.3f;
constexpr float kAboveEyeLine = 0.9f;     // eye-to-mouth distances above the eye line
constexpr float kHeightInMouthDistances = 2.6f;

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

QRect cropOf(const AnnotatedFace& face)
{
    const int d = int(face.x2) - int(face.x1);
    const int m = int(double(face.y4) - double(kHalf) * face.y1 - double(kHalf) * face.y2);
    const double eyeLine = double(kHalf) * face.y1 + double(kHalf) * face.y2;
    const int x0 = int(double(face.x1) - double(kLeftOfFirstEye) * d);
    const int w = int(double(kWidthInEyeDistances) * d);
    const int y0 = int(eyeLine - double(kAboveEyeLine) * m);
    const int h = int(double(kHeightInMouthDistances) * m);
    return QRect(x0, y0, w, h);
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
    return QImage(face.path).copy(cropOf(face));
}

const QList<AnnotatedFace>& AnnotatedFaceList::records() const
{
    return faces;
}
