#pragma once

#include "ChipGeometry.h"
#include "EnrolmentGroup.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Owner profiles the headless check takes without a face in them: grey samples, flat chips and
// random embeddings, written with the window's own writers (folders 0700, files 0600).

// Ensures: a group of a few samples; with a non-empty `key`, as many chips cut by `aligner` and
//          random embeddings (from `seed`) keyed by `key`, else samples only (format 1).
EnrolmentGroup madeUpGroup(const QString& key, int seed, const QString& aligner = kChipAligner);

// Ensures: `path` holds `bytes`, private from its creation; false when it cannot be written.
bool writePrivateFile(const QString& path, const QByteArray& bytes);

// Ensures: `dir` (which must not exist) holds features.txt "resnet", liveness.txt "on" and, for
//          the N-th key, group-N of madeUpGroup(key, N, aligner); false when a file cannot be
//          written. Throws what the group writer throws.
bool writeMadeUpProfile(const QString& dir, const QStringList& keys, const QString& aligner = kChipAligner);
