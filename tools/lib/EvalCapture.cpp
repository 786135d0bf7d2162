#include "EvalCapture.h"

#include "FaceSample.h"
#include "ProgressBar.h"
#include "SampleSet.h"

#include <algorithm>
#include <cmath>

namespace {
// Moved enrolment frames tried at most, in group sizes (a moved frame may show no face).
constexpr std::size_t kMoveAttempts = 4;

std::mt19937 randomFor(unsigned seed, unsigned person, unsigned purpose)
{
    std::seed_seq sequence{seed, person, purpose};
    return std::mt19937(sequence);
}

std::vector<std::vector<FacePhoto>> byPerson(const std::vector<FacePhoto>& photos)
{
    std::vector<std::vector<FacePhoto>> people;
    for (const std::string& name : personsOf(photos)) {
        people.emplace_back();
        for (const FacePhoto& photo : photos)
            if (photo.person == name)
                people.back().push_back(photo);
    }
    return people;
}
} // namespace

int EvalPerson::missed() const
{
    return static_cast<int>(std::count_if(photos.begin(), photos.end(), [](const EvalPhoto& p) { return !p.detected(); }));
}

bool EvalPerson::owner() const
{
    const auto genuine = [](const EvalPhoto& p) { return !p.enrolment && p.detected(); };
    return !group.empty() && std::any_of(photos.begin(), photos.end(), genuine);
}

EvalCapture::EvalCapture(const EvalOptions& options, const std::string& faceCascade, const std::string& eyeCascade)
    : options(options), cutter(faceCascade, eyeCascade), detector(faceCascade, eyeCascade)
{
}

std::vector<EvalPerson> EvalCapture::capture(const std::vector<FacePhoto>& photos)
{
    std::vector<EvalPerson> people;
    ProgressBar progress("camera", static_cast<long>(photos.size()));
    long done = 0;
    for (const std::vector<FacePhoto>& own : byPerson(photos)) {
        const auto index = static_cast<unsigned>(people.size());
        EvalPerson person;
        person.name = own.front().person;
        const int enrolment = enrolmentCount(static_cast<int>(own.size()));
        std::mt19937 moves = randomFor(options.seed, index, 1);
        for (std::size_t k = 0; k < own.size(); ++k) {
            person.photos.push_back(capturePhoto(own[k], moves));
            person.photos.back().enrolment = static_cast<int>(k) < enrolment;
            progress.update(++done);
        }
        std::mt19937 groupMoves = randomFor(options.seed, index, 2);
        person.group = enrolmentGroup(person, own, groupMoves);
        people.push_back(std::move(person));
    }
    progress.finish();
    return people;
}

int EvalCapture::enrolmentCount(int photoCount) const
{
    if (photoCount < options.minPhotos)
        return 0;
    const int share = static_cast<int>(std::floor(photoCount * options.enrolShare));
    return std::clamp(share, 1, std::min(options.maxEnrolPhotos, photoCount - 1));
}

EvalPhoto EvalCapture::capturePhoto(const FacePhoto& photo, std::mt19937& random)
{
    EvalPhoto result;
    result.path = photo.path;
    const cv::Mat image = PhotoFramer::load(photo.path);
    FramePlacement placement;
    if (!cutter.findPlacement(photo, image, placement))
        return result;
    const cv::Mat found = cut(PhotoFramer::compose(image, placement));
    if (found.empty())
        return result;
    result.frames.push_back(found);
    result.placement = placement;
    for (int f = 1; f < options.framesPerPhoto; ++f)
        result.frames.push_back(cut(PhotoFramer::compose(image, PhotoFramer::jittered(placement, random))));
    return result;
}

// The enrolment photographs with a face, taken in turn: the first round as found, later
// rounds at moved placements, until the group is full.
std::vector<cv::Mat> EvalCapture::enrolmentGroup(const EvalPerson& person, const std::vector<FacePhoto>& photos,
                                                 std::mt19937& random)
{
    std::vector<std::size_t> sources;
    for (std::size_t k = 0; k < person.photos.size(); ++k)
        if (person.photos[k].enrolment && person.photos[k].detected())
            sources.push_back(k);
    std::vector<cv::Mat> group;
    std::vector<cv::Mat> images;
    for (std::size_t k : sources) {
        group.push_back(person.photos[k].frames.front().clone());
        images.push_back(PhotoFramer::load(photos[k].path));
    }
    const auto size = static_cast<std::size_t>(options.groupSize);
    group.resize(std::min(group.size(), size));
    for (std::size_t i = 0; !sources.empty() && group.size() < size && i < size * kMoveAttempts; ++i) {
        const std::size_t s = i % sources.size();
        const FramePlacement moved = PhotoFramer::jittered(person.photos[sources[s]].placement, random);
        const cv::Mat sample = cut(PhotoFramer::compose(images[s], moved));
        if (!sample.empty())
            group.push_back(sample);
    }
    return group;
}

cv::Mat EvalCapture::cut(const cv::Mat& frame)
{
    detect.measure([&] { detector.processFrame(frame); });
    if (!detector.found())
        return cv::Mat();
    return sample.measure([&] {
        cv::Mat result(SampleSet::kHeight, SampleSet::kWidth, CV_8UC1);
        makeSample(detector.copyImage(0), result);
        return result;
    });
}
