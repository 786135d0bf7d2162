#pragma once

#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// One enrolment group on disk: a folder holding
//   manifest.txt      four lines: "visagio enrolment group", "format 1", "size W H",
//                     "samples N"
//   sample-000.png    the N samples in enrolment order, 8-bit grey PNG (lossless) of W x H,
//   sample-001.png    numbered from 000 (more digits from 1000 on)
//   ...
// The samples are the faces as collected, before the matcher masks them. Every file is
// written readable and writable by its owner only (0600) and synced to disk before returning.

// Writes the group's files into `folder`.
// Requires: folder exists and is empty; samples is not empty, all CV_8UC1 of one size.
// Ensures:  the manifest and the samples are on disk, each file 0600.
// Throws:   e_failure_write("cannot write <path>: <reason>") for the first file that cannot be
//           written; files written before it stay (the caller owns the folder).
void writeGroupFolder(const QString& folder, const std::vector<cv::Mat>& samples);

// Reads the group in `folder`, checking everything against the format above.
// Ensures:  the samples in order, CV_8UC1 of `sampleSize`, owning their pixels; no file is
//           changed.
// Throws:   e_logic_argument("<what is wrong>") for a damaged group: a missing or unreadable
//           file, a manifest of another kind or format version, a file that is not a PNG or
//           does not decode (truncated), a sample of another size or not 8-bit grey.
std::vector<cv::Mat> readGroupFolder(const QString& folder, cv::Size sampleSize);
