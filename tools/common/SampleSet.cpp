#include "SampleSet.h"

#include "FaceGeometry.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace {
constexpr char kMagic[4] = {'V', 'S', 'M', 'P'};
constexpr int32_t kVersion = 1;

void writeInt(std::ofstream& out, int32_t value)
{
    out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

int32_t readInt(std::ifstream& in)
{
    int32_t value = 0;
    in.read(reinterpret_cast<char*>(&value), sizeof value);
    return value;
}
} // namespace

void SampleSet::add(const cv::Mat& sample, const std::string& person, int source)
{
    if (sample.cols != kSampleWidth || sample.rows != kSampleHeight || sample.type() != CV_8UC1)
        throw std::logic_error("sample set: a sample must be 35 x 45 grey");
    int index = -1;
    if (!person.empty()) {
        for (size_t p = 0; p < names.size() && index < 0; ++p)
            if (names[p] == person)
                index = static_cast<int>(p);
        if (index < 0) {
            names.push_back(person);
            index = static_cast<int>(names.size()) - 1;
        }
    }
    samples.push_back(sample.clone());
    persons.push_back(index);
    sources.push_back(source);
}

std::vector<int> SampleSet::samplesOf(int p) const
{
    std::vector<int> indices;
    for (int k = 0; k < size(); ++k)
        if (persons[static_cast<size_t>(k)] == p)
            indices.push_back(k);
    return indices;
}

void SampleSet::append(const SampleSet& other)
{
    for (int k = 0; k < other.size(); ++k)
        add(other.sample(k), other.personName(k), other.source(k));
}

std::string SampleSet::personName(int k) const
{
    const int p = person(k);
    return p < 0 ? std::string() : names[static_cast<size_t>(p)];
}

SampleSet SampleSet::changed(const Change& change) const
{
    if (!change)
        return *this;
    SampleSet result;
    for (int k = 0; k < size(); ++k)
        result.add(change(sample(k)), personName(k), source(k));
    return result;
}

void SampleSet::save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary);
    if (!out)
        throw std::runtime_error("cannot write sample file: " + path);
    out.write(kMagic, sizeof kMagic);
    writeInt(out, kVersion);
    writeInt(out, static_cast<int32_t>(names.size()));
    for (const auto& name : names) {
        writeInt(out, static_cast<int32_t>(name.size()));
        out.write(name.data(), static_cast<std::streamsize>(name.size()));
    }
    writeInt(out, static_cast<int32_t>(samples.size()));
    for (size_t k = 0; k < samples.size(); ++k) {
        writeInt(out, persons[k]);
        writeInt(out, sources[k]);
        const cv::Mat continuous = samples[k].clone();
        out.write(reinterpret_cast<const char*>(continuous.data), kSampleWidth * kSampleHeight);
    }
    if (!out)
        throw std::runtime_error("cannot write sample file: " + path);
}

SampleSet SampleSet::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof magic);
    if (!in || std::string(magic, 4) != std::string(kMagic, 4) || readInt(in) != kVersion)
        throw std::runtime_error("not a sample file: " + path);
    SampleSet set;
    const int32_t nameCount = readInt(in);
    for (int32_t p = 0; p < nameCount && in; ++p) {
        std::string name(static_cast<size_t>(std::max(0, readInt(in))), '\0');
        in.read(name.data(), static_cast<std::streamsize>(name.size()));
        set.names.push_back(name);
    }
    const int32_t count = readInt(in);
    for (int32_t k = 0; k < count && in; ++k) {
        const int32_t person = readInt(in);
        const int32_t source = readInt(in);
        cv::Mat sample(kSampleHeight, kSampleWidth, CV_8UC1);
        in.read(reinterpret_cast<char*>(sample.data), kSampleWidth * kSampleHeight);
        set.samples.push_back(sample);
        set.persons.push_back(person < nameCount ? person : -1);
        set.sources.push_back(source);
    }
    if (!in)
        throw std::runtime_error("sample file is truncated: " + path);
    return set;
}
