#include "Capture.h"

#include "FaceGeometry.h"
#include "FaceSample.h"
#include "PhotoRelight.h"
#include "ProgressBar.h"
#include "SampleSet.h"
#include "SequentialOpenCv.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

namespace eval {

namespace {
// Moved enrolment frames tried at most, in group sizes (a moved frame may show no face).
constexpr std::size_t kMoveAttempts = 4;
// How often the progress bar looks at the cameras' work.
constexpr std::chrono::milliseconds kProgressPoll(200);

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

// One detector with its own sample cutter and clocks, used by one thread.
struct Capture::Camera
{
    Camera(const std::string& faceCascade, const std::string& eyeCascade)
        : cutter(faceCascade, eyeCascade), detector(faceCascade, eyeCascade)
    {
    }

    SampleCutter cutter;
    FaceDetector detector;
    StageTime detect;
    StageTime sample;
};

int Person::missed() const
{
    return static_cast<int>(std::count_if(photos.begin(), photos.end(), [](const Photo& p) { return !p.detected(); }));
}

bool Person::owner() const
{
    const auto genuine = [](const Photo& p) { return !p.enrolment && p.detected(); };
    return !groups.empty() && std::any_of(photos.begin(), photos.end(), genuine);
}

Capture::Capture(const Options& options, const std::string& faceCascade, const std::string& eyeCascade,
                         int threads)
    : options(options)
{
    for (int t = 0; t < std::max(threads, 1); ++t)
        cameras.push_back(std::make_unique<Camera>(faceCascade, eyeCascade));
}

Capture::~Capture() = default;

StageTime Capture::totalTime(StageTime Camera::*stage) const
{
    StageTime total;
    for (const auto& camera : cameras) {
        total.seconds += ((*camera).*stage).seconds;
        total.calls += ((*camera).*stage).calls;
    }
    return total;
}

StageTime Capture::detectTime() const
{
    return totalTime(&Camera::detect);
}

StageTime Capture::sampleTime() const
{
    return totalTime(&Camera::sample);
}

// Camera t takes the people t, t + cameras, ...; each person's movements come from its own
// seed, so the share-out does not change the samples.
std::vector<Person> Capture::capture(const std::vector<FacePhoto>& photos)
{
    const SequentialOpenCv sequential;
    const std::vector<std::vector<FacePhoto>> own = byPerson(photos);
    std::vector<Person> people(own.size());
    std::atomic<long> done{0};
    std::vector<std::future<void>> work;
    for (std::size_t t = 0; t < cameras.size(); ++t)
        work.push_back(std::async(std::launch::async, [&, t] {
            for (std::size_t p = t; p < own.size(); p += cameras.size())
                people[p] = capturePerson(*cameras[t], own[p], static_cast<unsigned>(p), done);
        }));
    ProgressBar progress("camera", static_cast<long>(photos.size()));
    for (std::future<void>& camera : work) {
        while (camera.wait_for(kProgressPoll) != std::future_status::ready)
            progress.update(done);
        camera.get();
    }
    progress.finish();
    return people;
}

void Capture::reenrol(std::vector<Person>& people, const std::vector<FacePhoto>& photos,
                          const Options& scheme)
{
    const SequentialOpenCv sequential;
    const std::vector<std::vector<FacePhoto>> own = byPerson(photos);
    ProgressBar progress("enrolment", static_cast<long>(people.size()));
    for (std::size_t p = 0; p < people.size(); ++p) {
        enrolPerson(*cameras.front(), people[p], own[p], static_cast<unsigned>(p), scheme);
        progress.update(static_cast<long>(p + 1));
    }
    progress.finish();
}

Person Capture::capturePerson(Camera& camera, const std::vector<FacePhoto>& own, unsigned index,
                                      std::atomic<long>& done) const
{
    Person person;
    person.name = own.front().person;
    std::mt19937 moves = randomFor(options.seed, index, 1);
    for (const FacePhoto& photo : own) {
        person.photos.push_back(capturePhoto(camera, photo, moves));
        ++done;
    }
    enrolPerson(camera, person, own, index, options);
    return person;
}

// The first enrolmentCount photographs are enrolment photographs; those with a face are split
// in scheme.enrolGroups consecutive parts, one group each.
void Capture::enrolPerson(Camera& camera, Person& person, const std::vector<FacePhoto>& own, unsigned index,
                              const Options& scheme) const
{
    const int enrolment = enrolmentCount(static_cast<int>(own.size()), scheme);
    std::vector<std::size_t> sources;
    for (std::size_t k = 0; k < person.photos.size(); ++k) {
        person.photos[k].enrolment = static_cast<int>(k) < enrolment;
        if (person.photos[k].enrolment && person.photos[k].detected())
            sources.push_back(k);
    }
    std::mt19937 groupMoves = randomFor(scheme.seed, index, 2);
    person.groups.clear();
    const auto parts = static_cast<std::size_t>(std::max(scheme.enrolGroups, 1));
    for (std::size_t g = 0; g < parts; ++g) {
        const std::vector<std::size_t> part(sources.begin() + static_cast<long>(g * sources.size() / parts),
                                            sources.begin() + static_cast<long>((g + 1) * sources.size() / parts));
        if (!part.empty())
            person.groups.push_back(enrolmentGroup(camera, person, own, part, groupMoves));
    }
}

int Capture::enrolmentCount(int photoCount, const Options& scheme)
{
    if (scheme.enrolPhotos > 0)
        return photoCount >= 2 * scheme.enrolPhotos ? scheme.enrolPhotos : 0;
    if (photoCount < scheme.minPhotos)
        return 0;
    const int share = static_cast<int>(std::floor(photoCount * scheme.enrolShare));
    return std::clamp(share, 1, std::min(scheme.maxEnrolPhotos, photoCount - 1));
}

Photo Capture::capturePhoto(Camera& camera, const FacePhoto& photo, std::mt19937& random) const
{
    Photo result;
    result.path = photo.path;
    cv::Mat image = PhotoFramer::load(photo.path);
    FramePlacement placement;
    if (!camera.cutter.findPlacement(photo, image, placement))
        return result;
    cv::Mat found = cut(camera, PhotoFramer::compose(image, placement));
    if (!found.empty() && options.relight > 0.0) {
        // The light falls across the face found; the relit photo is then framed anew.
        const cv::Rect2f face = PhotoFramer::toPhoto(camera.detector.faceRect(), placement);
        image = PhotoRelight::relit(image, face, options.relight);
        found = cut(camera, PhotoFramer::compose(image, placement));
    }
    if (found.empty())
        return result;
    result.frames.push_back(found);
    result.placement = placement;
    for (int f = 1; f < options.framesPerPhoto; ++f)
        result.frames.push_back(cut(camera, PhotoFramer::compose(image, PhotoFramer::jittered(placement, random))));
    return result;
}

// The given enrolment photographs, taken in turn: the first round as found, later rounds at
// moved placements, until the group is full.
std::vector<cv::Mat> Capture::enrolmentGroup(Camera& camera, const Person& person,
                                                 const std::vector<FacePhoto>& photos,
                                                 const std::vector<std::size_t>& sources, std::mt19937& random) const
{
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
        const cv::Mat sample = cut(camera, PhotoFramer::compose(images[s], moved));
        if (!sample.empty())
            group.push_back(sample);
    }
    return group;
}

cv::Mat Capture::cut(Camera& camera, const cv::Mat& frame)
{
    camera.detect.measure([&] { camera.detector.processFrame(frame); });
    if (!camera.detector.found())
        return cv::Mat();
    return camera.sample.measure([&] {
        cv::Mat result(kSampleHeight, kSampleWidth, CV_8UC1);
        makeSample(camera.detector.copyImage(0), result);
        return result;
    });
}

} // namespace eval
