#pragma once

#include "CalibrationFaces.h"

#include <string>
#include <vector>

// Verification error rates of the face-resnet on chips cut by the box transform alone, by the
// eyes where found or by the landmarks where plausible, with and without mirror averaging: equal error rates of same-person
// and different-person pairs of faces by the distance of their embeddings.
class ChipEer
{
public:
    struct Options
    {
        std::string resnetFolder;
        std::string eyeCascade;
        std::string landmarksFolder;
        int threads = 2;
        int genuinePerPerson = 100; // same-person pairs drawn per person at most
        int impostorPairs = 20000;  // different-person pairs, two people drawn evenly
        unsigned seed = 1;
    };

    // One way of comparing two faces and its equal error rates.
    struct Row
    {
        std::string name;
        double cosineEer = 0;
        double euclideanEer = 0;
    };

    // Embeds every face (each thread with a network of its own), then draws the pairs.
    // Throws: the errors of FaceResnet when the network does not load.
    ChipEer(const std::vector<BoxedFace>& faces, const Options& options);

    // Box / eyes where found / landmarks where plausible, each without mirror, mirror-averaged
    // on both sides, and mirror-averaged on the enrolled side only.
    std::vector<Row> table() const;

    int genuineCount() const { return int(genuine.size()); }
    int impostorCount() const { return int(impostor.size()); }
    // The shares of faces whose chip was aligned by a found eye pair, by their landmarks.
    double eyeShare() const;
    double landmarkShare() const;
    // The mean time of one embedding.
    double embedMilliseconds() const { return embedTime; }

private:
    // One face's embeddings: by box, by eyes and by landmarks (the box's where those failed),
    // each of the chip alone and averaged with its mirror image.
    struct Embeddings
    {
        std::vector<float> box, boxMirrored, eyes, eyesMirrored, landmarks, landmarksMirrored;
        bool byEyes = false;
        bool byLandmarks = false;
    };
    using Pair = std::pair<int, int>;
    using Side = const std::vector<float>& (*)(const Embeddings&);

    void embedAll(const std::vector<BoxedFace>& faces, const Options& options);
    void drawPairs(const std::vector<BoxedFace>& faces, const Options& options);
    Row measure(const std::string& name, Side enrolled, Side probe) const;

    std::vector<Embeddings> embeddings;
    std::vector<Pair> genuine;
    std::vector<Pair> impostor;
    double embedTime = 0;
};
