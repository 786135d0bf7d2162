#pragma once

#include <opencv2/core.hpp>

#include <functional>
#include <string>
#include <vector>

// Face samples as the window makes them (35 x 45 grey), each with the person it shows and the
// photograph or video frame it was cut from. Saved in a small binary cache file so that the
// slow detection runs once and training and calibration can read the samples many times.
class SampleSet
{
public:
    // A change of one sample into another 35 x 45 grey sample; an empty one changes nothing.
    using Change = std::function<cv::Mat(const cv::Mat&)>;

    // Requires: sample is 35 x 45 CV_8UC1.
    // Ensures:  appended; `person` is registered when new (an empty name means no identity).
    void add(const cv::Mat& sample, const std::string& person, int source);

    int size() const { return static_cast<int>(samples.size()); }
    const cv::Mat& sample(int k) const { return samples.at(static_cast<size_t>(k)); }
    // Index into personNames(), or -1 for a sample of no known identity.
    int person(int k) const { return persons.at(static_cast<size_t>(k)); }
    int source(int k) const { return sources.at(static_cast<size_t>(k)); }
    const std::vector<std::string>& personNames() const { return names; }
    // Indices of the samples of person `p`, in order.
    std::vector<int> samplesOf(int p) const;

    // Appends all samples of `other`, keeping their persons.
    void append(const SampleSet& other);
    // Every sample changed by `change`, persons and sources kept.
    SampleSet changed(const Change& change) const;

    // Throws: std::runtime_error on a file that cannot be written or read, or is no sample file.
    void save(const std::string& path) const;
    static SampleSet load(const std::string& path);

private:
    // The name of sample k's person, empty for no identity.
    std::string personName(int k) const;

    std::vector<cv::Mat> samples;
    std::vector<int> persons;
    std::vector<int> sources;
    std::vector<std::string> names;
};
