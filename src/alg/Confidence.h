#pragma once

// The lock's arithmetic: each verified face folds its score into a smoothed confidence, each
// tick without a face lets it decay, and one threshold decides both the per-face verdict and
// whether the lock opens.

// A face scoring above this counts as the owner; the lock opens when the confidence passes it.
constexpr float kLockThreshold = 0.99f;

// Confidence after a verified face with `score`: 0.199999988 * score + 0.8 * confidence,
// evaluated in extended precision and stored as float.
float nextConfidence(float confidence, float score);

// Confidence after a tick without a face: 0.8 * confidence in single precision.
float decayedConfidence(float confidence);

// The bar's value: confidence limited to 0 ... 1, as a percentage truncated toward zero.
int confidencePercent(float confidence);

// True when a single face's score counts as the owner ("СВОЙ").
bool isOwnerScore(float score);

// True when the smoothed confidence opens the lock.
bool opensLock(float confidence);
