#pragma once

#include "GrbmParameters.h"
#include "LightNormalisation.h"
#include "SampleSet.h"

// Face vectors of samples, one row each, made by the matcher's own conversion (the face mask
// and standardisation), and their left-right mirror images as template training makes them.
class FaceVectors
{
public:
    // Ensures: row k is the face vector of sample k (1575 values, element y * 35 + x).
    static RowMatrix of(const SampleSet& samples);
    // Ensures: every row mirrored left to right (columns x and 34 - x swapped in each row).
    static RowMatrix mirrored(const RowMatrix& vectors);
    // The face vectors of the foreign-face base under `root` (a run directory, ending in a
    // separator, or empty for the working directory), selected exactly as the matcher selects
    // them for a model with `light`: the cohort that scales the verification distances.
    static RowMatrix cohort(const std::string& root, LightNormalisation light = LightNormalisation::None);
};
