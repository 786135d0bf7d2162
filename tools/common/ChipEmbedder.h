#pragma once

#include "FaceChip.h"
#include "FacedataIndex.h"
#include "FaceResnet.h"
#include "SampleCutter.h"

#include <opencv2/core.hpp>

#include <map>
#include <string>
#include <vector>

// A face as the face-resnet sees it: the embedding of its chip alone (as the window verifies)
// and averaged with its mirror image (as the window enrols).
struct FaceEmbedding
{
    std::vector<float> single;
    std::vector<float> mirrored;
};

// Embeds faces exactly as the window does under the face-resnet: a 320 x 240 frame goes through
// the window's face detector, FaceChip cuts the chip from the frame, the network embeds it.
// Photographs are first composed into such frames (SampleCutter's placement).
class ChipEmbedder
{
public:
    // Throws: the errors of SampleCutter and FaceResnet.
    explicit ChipEmbedder(const std::string& resnetFolder);

    // Requires: frame is 320 x 240 BGR.
    // Ensures:  false when the frame shows no face; else the face's embeddings in `face`.
    bool embedFrame(const cv::Mat& frame, FaceEmbedding& face);

    // The embeddings of every photograph whose frame shows a face, by person, in file order.
    // Ensures: missed counts the photographs without a face.
    std::map<std::string, std::vector<FaceEmbedding>> embedPhotos(const std::vector<FacePhoto>& photos,
                                                                 const std::string& label, int& missed);

    FaceResnet& network() { return net; }

private:
    SampleCutter cutter;
    FaceChip chips;
    FaceResnet net;
};
