#pragma once

#include <QByteArray>
#include <QLatin1Char>
#include <QString>

#include <algorithm>

// The names inside an owner profile folder, shared by the window that writes it and the check
// that reads it (the layout is told in OwnerProfile.h and GroupFolder.h).
namespace ProfileLayout {

inline constexpr const char* kLockName = "visagio.lock";
inline constexpr const char* kGroupPrefix = "group-";
inline constexpr const char* kFeaturesName = "features.txt";
inline constexpr const char* kLivenessName = "liveness.txt";
// The feature model of a profile that never recorded one.
inline constexpr const char* kDefaultFeatures = "grbm";
inline constexpr const char* kOn = "on";
inline constexpr const char* kOff = "off";
// Caps on the files a check reads, far above what the window writes (a word, a manifest of six
// short lines, the 51,200 bytes of a group of 100 embeddings, some 100 groups) and low enough
// that a check, or a seal, stays small.
inline constexpr qint64 kSettingCap = 64;
inline constexpr qint64 kManifestCap = 4 * 1024;
inline constexpr qint64 kEmbeddingsCap = 1024 * 1024;
inline constexpr qint64 kMebibyte = 1024 * 1024;
inline constexpr qint64 kTotalCap = 16 * kMebibyte;

// A recorded setting is one short word; a file holding anything else records no choice.
inline constexpr int kMaxSettingLength = 32;

// "sample-000.png", "chip-012.png", ...: the index-th image of a kind, three digits at least.
inline QString imageName(const char* kind, int index)
{
    return QString("%1-%2.png").arg(kind).arg(index, 3, 10, QLatin1Char('0'));
}

// The word a setting file holds: its text trimmed, one word of letters and digits of at most
// kMaxSettingLength characters; empty when it holds anything else (every byte counts: a NUL
// does not end the text).
inline QString settingWord(const QByteArray& bytes)
{
    const QString word = QString::fromUtf8(bytes.constData(), bytes.size()).trimmed();
    const bool sound = !word.isEmpty() && word.size() <= kMaxSettingLength &&
                       std::all_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); });
    return sound ? word : QString();
}

}  // namespace ProfileLayout
