#pragma once

#include <QImage>
#include <QList>
#include <QString>

// One record of a "coords.txt" index: the photograph and its landmarks in photograph pixels
// (x to the right, y downwards).
struct AnnotatedFace
{
    QString path;  // directory + "/" + name + ".jpg"
    quint32 x1 = 0; // first eye centre (image-left)
    quint32 y1 = 0;
    quint32 x2 = 0; // second eye centre
    quint32 y2 = 0;
    quint32 x3 = 0; // third landmark, not used
    quint32 y3 = 0;
    quint32 x4 = 0; // mouth; only y4 is used
    quint32 y4 = 0;
};

// The records of a directory's "coords.txt" in file order, and the face crop each describes.
// A line is split on runs of white space (empty parts kept, so a leading blank shifts the
// parts by one); a line of at least 9 parts is a record: name x1 y1 x2 y2 x3 y3 x4 y4, later
// parts ignored; a part that is not an unsigned decimal number reads as 0.
class AnnotatedFaceList
{
public:
    // Ensures: holds the records of directory + "/coords.txt"; none when it cannot be opened.
    explicit AnnotatedFaceList(const QString& directory);

    unsigned size() const;

    // Ensures: the face crop of record `index` from its photograph: centred between the eyes,
    //          2.3 eye distances wide, from 0.9 eye-to-mouth distances above the eye line to
    //          1.7 below it; a null image when the photograph is unreadable, the crop has
    //          a negative size, or the record is damaged (a crop more than twice the
    //          photograph's width or height, or beyond int coordinates).
    // Throws:  e_logic_range("Out of range") when index >= size().
    QImage at(unsigned index) const;

    const QList<AnnotatedFace>& records() const;

private:
    QList<AnnotatedFace> faces;
};
