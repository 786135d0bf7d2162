#pragma once

// How a face sample's light is normalised before it becomes a face vector. A feature model is
// trained on vectors made one way and must be fed vectors made the same way, so the choice
// travels with the model in its calibration file.
enum class LightNormalisation {
    None,      // the sample as the window cut it
    TanTriggs, // the Tan-Triggs chain over the face (TanTriggs::normaliseFace)
};
