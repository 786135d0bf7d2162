#pragma once

#include "EnrolmentGroup.h"

#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// One enrolment group on disk: a folder holding
//   manifest.txt      "visagio enrolment group", "format F", "size W H", "samples N", and in
//                     format 2 also "chips S S" and "embeddings SHA256 D"
//   sample-000.png    the N samples in enrolment order, 8-bit grey PNG (lossless) of W x H,
//   sample-001.png    numbered from 000 (more digits from 1000 on)
//   ...
//   chip-000.png      format 2: the N chips, 8-bit colour PNG of S x S, numbered as the samples
//   ...
//   embeddings.bin    format 2: the N embeddings of D little-endian float32 values each, made by
//                     the network whose weights have the SHA-256 in the manifest
// A group without chips is written in format 1, which has the first four lines only; both
// formats are read, format 2 only with D the network's embedding size (GroupManifest.h). The samples are the faces as collected, before the matcher masks them.
// Every file is written readable and writable by its owner only (0600) and synced to disk
// before returning.

// Writes the group's files into `folder`.
// Requires: folder exists and is empty; samples is not empty, all CV_8UC1 of one size; chips
//           empty, or one CV_8UC3 square chip and one embedding of equal length per sample.
// Ensures:  the manifest and the files are on disk, each file 0600.
// Throws:   e_failure_write("cannot write <path>: <reason>") for the first file that cannot be
//           written; files written before it stay (the caller owns the folder).
void writeGroupFolder(const QString& folder, const EnrolmentGroup& group);

// Reads the group in `folder`, checking everything against the format above.
// Ensures:  the samples (and chips and embeddings) in order, owning their pixels; no file is
//           changed.
// Throws:   e_logic_argument("<what is wrong>") for a damaged group: a missing or unreadable
//           file, a manifest of another kind or format version, a file that is not a PNG or
//           does not decode (truncated), a sample or chip of another size or channel count,
//           embeddings of another length than the network's, an embeddings file of the wrong
//           size or with values that are not finite.
EnrolmentGroup readGroupFolder(const QString& folder, cv::Size sampleSize);
