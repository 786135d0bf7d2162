#pragma once

#include "LightNormalisation.h"
#include "RandomSource.h"

#include <QString>

#include <vector>

// The foreign-face base: photographs of other people installed under `root` +
// "foreignfaces/all/". The "glasgow" folder's photographs are all cut at one fixed rectangle
// (light background trimmed); the "feret" folder's are cut from the eye and mouth positions of
// its "coords.txt". About half of the first set and a fifth of the second are kept, chosen by
// `random`; a missing folder contributes nothing.
//
// Requires: the face size is 35 x 45 (the only size the crops are made for).
// Ensures:  the face vectors of the selected faces (made for a model with `light`), first set
//           first, in directory and file order. Draws one number per readable face, and the
//           trimming noise of each one selected from the first set, in that order.
std::vector<std::vector<float>> readForeignFaces(const QString& root, RandomSource& random,
                                                 LightNormalisation light = LightNormalisation::None);
