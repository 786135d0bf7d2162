#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// One person of the Extended Yale B crops under their many lights.
struct YalePerson
{
    std::string name;
    std::vector<cv::Mat> crops; // 42 x 48 grey, in file-name order
    std::vector<std::string> files; // their file names
    std::size_t frontal = 0;    // the crop taken as lit from the front (frontalIndex)
};

// The Extended Yale B crops of people under their many lights, split by name into a training
// half and a held-out half. The crops are smaller than the detector's minimum face, so each
// becomes a sample the way the window cuts one from a detected face (makeSample: stretched to a
// 45 x 45 square, the centred 35 x 45 kept); an enrolment group is a crop at slightly moved
// placements (shift, zoom, tilt), as an enrolment run in front of a camera collects it.
class YaleCrops
{
public:
    // People of the folder (<dir>/<person>/*.pgm) sorted by name: the first half is kept for
    // training, the second half (the larger when odd) is returned.
    // Throws: std::runtime_error("Yale B folder not found: <dir>"), ("cannot read image: <path>")
    //         or ("too few Yale B people or crops in <dir>") unless two held-out people have crops.
    static std::vector<YalePerson> heldOut(const std::string& dir);
    // The first half of the same people (the smaller when odd), for training and choices.
    // Throws: as heldOut.
    static std::vector<YalePerson> trainingHalf(const std::string& dir);

    // The crop lit from the front: among the crops at least as bright as the person's median
    // crop (a dark crop is symmetric only because it is dark), the one whose left and right
    // halves differ least relative to its brightness, sum |I - mirror(I)| / sum (I + mirror(I)).
    // Requires: crops not empty, 8-bit grey.
    static std::size_t frontalIndex(const std::vector<cv::Mat>& crops);

    // Requires: crop 8-bit grey. Ensures: the 35 x 45 grey sample makeSample cuts from it.
    static cv::Mat sampleOf(const cv::Mat& crop);
    // The crop's sample as found first, then at `size` - 1 moved placements drawn from `seed`.
    static std::vector<cv::Mat> enrolmentGroup(const cv::Mat& crop, int size, unsigned seed);

private:
    static std::vector<YalePerson> halfOf(const std::string& dir, bool first);
};
