#pragma once

#include "EmbeddingStage.h"
#include "TrialProtocol.h"
#include "YaleCrops.h"

#include <opencv2/core.hpp>

#include <vector>

namespace eval {

// Real light on held-out people: each person is enrolled from the crop lit from the front and
// verified on every other crop of theirs (genuine) and on every crop of every other held-out
// person (impostor).
class YaleLight
{
public:
    // The face-resnet's view of the crops, each crop scaled up to a chip (chipOf).
    struct Embeddings
    {
        std::vector<std::vector<Embedding>> crops; // a person's crops' single embeddings
        std::vector<Embedding> frontal;            // a person's frontal chip with its mirror image
    };

    // Requires: crop 8-bit grey, 42 x 48 as the set gives it.
    // Ensures:  a 150 x 150 BGR chip: the crop scaled up and placed so that its eyes land where
    //           FaceChip puts a face's eyes; black around it (the crop holds no more).
    static cv::Mat chipOf(const cv::Mat& crop);
    // Ensures: every crop embedded, `threads` threads sharing the people; its figures added to `stats`.
    // Throws:  what EmbeddingStage's construction throws.
    static Embeddings embed(const std::vector<YalePerson>& people, int threads, EmbeddingStats& stats);

    // Ensures: the pooled trials of every held-out person as owner, in person order. With
    //          embeddings each owner also enrols the frontal chip's embedding as one group (the
    //          crop's moved copies exist as samples only) and each crop carries its own.
    static MethodResult run(const std::vector<YalePerson>& people, const TrialProtocol::ScorerFactory& make,
                            int groupSize, unsigned seed, int threads, const Embeddings& embeddings = {});
};

} // namespace eval
