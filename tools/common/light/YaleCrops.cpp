#include "YaleCrops.h"

#include "FaceGeometry.h"
#include "FaceSample.h"
#include "FolderListing.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
// Enrolment movements of a crop: pixels of shift, relative zoom, degrees of tilt. About the
// camera jitter of PhotoFramer relative to the face's size (6 px on a face of ~130 px).
constexpr double kShift = 2.0;
constexpr double kZoom = 0.05;
constexpr double kTilt = 4.0;

YalePerson loadPerson(const fs::path& dir)
{
    YalePerson person;
    person.name = dir.filename().string();
    for (const fs::path& file : sortedEntries(dir, false)) {
        cv::Mat crop = cv::imread(file.string(), cv::IMREAD_GRAYSCALE);
        if (crop.empty())
            throw std::runtime_error("cannot read image: " + file.string());
        person.crops.push_back(crop);
        person.files.push_back(file.filename().string());
    }
    if (!person.crops.empty())
        person.frontal = YaleCrops::frontalIndex(person.crops);
    return person;
}

double asymmetry(const cv::Mat& crop)
{
    cv::Mat image;
    crop.convertTo(image, CV_64F);
    cv::Mat mirror;
    cv::flip(image, mirror, 1);
    const double brightness = cv::sum(image + mirror)[0];
    return brightness > 0.0 ? cv::sum(cv::abs(image - mirror))[0] / brightness : 1.0;
}

cv::Mat moved(const cv::Mat& crop, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const cv::Point2f centre(crop.cols * 0.5f, crop.rows * 0.5f);
    const double dx = unit(random) * kShift;
    const double dy = unit(random) * kShift;
    const double zoom = 1.0 + unit(random) * kZoom;
    cv::Mat transform = cv::getRotationMatrix2D(centre, unit(random) * kTilt, zoom);
    transform.at<double>(0, 2) += dx;
    transform.at<double>(1, 2) += dy;
    cv::Mat result;
    cv::warpAffine(crop, result, transform, crop.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return result;
}
} // namespace


std::vector<YalePerson> YaleCrops::heldOut(const std::string& dir)
{
    return halfOf(dir, false);
}

std::vector<YalePerson> YaleCrops::trainingHalf(const std::string& dir)
{
    return halfOf(dir, true);
}

std::vector<YalePerson> YaleCrops::halfOf(const std::string& dir, bool first)
{
    if (!fs::is_directory(dir))
        throw std::runtime_error("Yale B folder not found: " + dir);
    const std::vector<fs::path> folders = sortedEntries(dir, true);
    std::vector<YalePerson> people;
    const std::size_t half = folders.size() / 2;
    for (std::size_t k = first ? 0 : half; k < (first ? half : folders.size()); ++k)
        people.push_back(loadPerson(folders[k]));
    const auto empty = [](const YalePerson& person) { return person.crops.empty(); };
    if (people.size() < 2 || std::any_of(people.begin(), people.end(), empty))
        throw std::runtime_error("too few Yale B people or crops in " + dir);
    return people;
}

std::size_t YaleCrops::frontalIndex(const std::vector<cv::Mat>& crops)
{
    std::vector<double> brightness;
    for (const cv::Mat& crop : crops)
        brightness.push_back(cv::mean(crop)[0]);
    std::vector<double> ordered = brightness;
    std::nth_element(ordered.begin(), ordered.begin() + static_cast<long>(ordered.size() / 2), ordered.end());
    const double median = ordered[ordered.size() / 2];
    std::size_t best = 0;
    double bestAsymmetry = 2.0;
    for (std::size_t k = 0; k < crops.size(); ++k) {
        if (brightness[k] < median)
            continue;
        const double value = asymmetry(crops[k]);
        if (value < bestAsymmetry) {
            bestAsymmetry = value;
            best = k;
        }
    }
    return best;
}

cv::Mat YaleCrops::sampleOf(const cv::Mat& crop)
{
    cv::Mat colour;
    cv::cvtColor(crop, colour, cv::COLOR_GRAY2BGR);
    cv::Mat sample(kSampleHeight, kSampleWidth, CV_8UC1);
    makeSample(colour, sample);
    return sample;
}

std::vector<cv::Mat> YaleCrops::enrolmentGroup(const cv::Mat& crop, int size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<cv::Mat> group{sampleOf(crop)};
    while (static_cast<int>(group.size()) < size)
        group.push_back(sampleOf(moved(crop, random)));
    return group;
}
