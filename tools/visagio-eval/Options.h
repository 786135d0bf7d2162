#pragma once

namespace eval {

// How visagio-eval splits a face set into enrolment and trials and how it builds the camera
// sequences of the lock-level figures. Every random movement derives from `seed`, so a run
// repeats exactly.
struct Options
{
    unsigned seed = 1;
    // Each person with at least `minPhotos` photographs is enrolled from the first
    // enrolShare of them (at least 1, at most maxEnrolPhotos); the rest are genuine trials.
    double enrolShare = 0.5;
    int maxEnrolPhotos = 100;
    int minPhotos = 4;
    // When above 0: each person with at least twice as many photographs is enrolled from
    // exactly this many instead of a share.
    int enrolPhotos = 0;
    // The enrolment photographs are split in this many consecutive parts, one enrolment group
    // each (as "Дообучить" adds a group from another session).
    int enrolGroups = 1;
    // Samples of one enrolment group, as one enrolment run of the window collects them; the
    // enrolment photographs are repeated at slightly moved placements to fill it.
    int groupSize = 100;
    // Lock level: each photograph is held in front of the camera for this many frames (the
    // first as found, the others slightly moved), and a sequence ends after maxSequenceFrames.
    int framesPerPhoto = 5;
    int maxSequenceFrames = 100;
    // At most this many photographs of each other person are impostor trials (0: all).
    int impostorPhotos = 0;
    // Above 0: every photograph is relit by a one-sided light of this strength (see
    // PhotoRelight) across the face the detector found in it, before its frames are cut.
    double relight = 0.0;
    // The capture also cuts every face's chip and computes its face-resnet embeddings (the
    // resnet method needs them; they cost a network pass each, so only then).
    bool embed = false;
};

} // namespace eval
