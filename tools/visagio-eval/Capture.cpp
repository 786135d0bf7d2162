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
    Camera(const std::string& faceCascade, const std::string& eyeCascade, bool embed)
        : cutter(faceCascade, eyeCascade), detector(faceCascade, eyeCascade),
          embedding(embed ? std::make_unique<EmbeddingStage>() : nullptr)
    {
    }

    SampleCutter cutter;
    FaceDetector detector;
    std::unique_ptr<EmbeddingStage> embedding; // only with Options::embed
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
        cameras.push_back(std::make_unique<Camera>(faceCascade, eyeCascade, options.embed));
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

EmbeddingStats Capture::embeddingStats() const
{
    EmbeddingStats total;
    for (const auto& camera : cameras)
        if (camera->embedding)
            total.add(camera->embedding->stats());
    return total;
}

std::vector<Person> Capture::capture(const std::vector<FacePhoto>& photos)
{
    const SequentialOpenCv sequential;
    const std::vector<std::vector<FacePhoto>> own = byPerson(photos);
    std::vector<Person> people(own.size());
    std::atomic<long> done{0};
    shareOut(own.size(), "camera", static_cast<long>(photos.size()), done, [&](Camera& camera, std::size_t p) {
        people[p] = capturePerson(camera, own[p], static_cast<unsigned>(p), done);
    });
    return people;
}

void Capture::reenrol(std::vector<Person>& people, const std::vector<FacePhoto>& photos,
                          const Options& scheme)
{
    const SequentialOpenCv sequential;
    const std::vector<std::vector<FacePhoto>> own = byPerson(photos);
    std::atomic<long> done{0};
    shareOut(people.size(), "enrolment", static_cast<long>(people.size()), done, [&](Camera& camera, std::size_t p) {
        enrolPerson(camera, people[p], own[p], static_cast<unsigned>(p), scheme);
        ++done;
    });
}

// Each person's movements come from the person's own seed, so the share-out does not change
// the samples.
void Capture::shareOut(std::size_t people, const std::string& label, long total, const std::atomic<long>& done,
                           const std::function<void(Camera&, std::size_t)>& work)
{
    std::vector<std::future<void>> running;
    for (std::size_t t = 0; t < cameras.size(); ++t)
        running.push_back(std::async(std::launch::async, [&, t] {
            for (std::size_t p = t; p < people; p += cameras.size())
                work(*cameras[t], p);
        }));
    ProgressBar progress(label, total);
    for (std::future<void>& camera : running)
        while (camera.wait_for(kProgressPoll) != std::future_status::ready)
            progress.update(done);
    progress.finish();
    for (std::future<void>& camera : running)
        camera.get();
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
    person.groupEmbeddings.clear();
    const auto parts = static_cast<std::size_t>(std::max(scheme.enrolGroups, 1));
    for (std::size_t g = 0; g < parts; ++g) {
        const std::vector<std::size_t> part(sources.begin() + static_cast<long>(g * sources.size() / parts),
                                            sources.begin() + static_cast<long>((g + 1) * sources.size() / parts));
        if (!part.empty())
            addGroup(camera, person, own, part, groupMoves);
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
    cv::Mat frame = PhotoFramer::compose(image, placement);
    cv::Mat found = cut(camera, frame);
    if (!found.empty() && options.relight > 0.0) {
        // The light falls across the face found; the relit photo is then framed anew.
        const cv::Rect2f face = PhotoFramer::toPhoto(camera.detector.faceRect(), placement);
        image = PhotoRelight::relit(image, face, options.relight);
        frame = PhotoFramer::compose(image, placement);
        found = cut(camera, frame);
    }
    if (found.empty())
        return result;
    result.frames.push_back(found);
    result.placement = placement;
    if (camera.embedding) {
        result.chip = camera.embedding->cutChip(frame, camera.detector.faceRect());
        result.embeddings.push_back(camera.embedding->embedChip(result.chip, false));
    }
    for (int f = 1; f < options.framesPerPhoto; ++f) {
        const cv::Mat moved = PhotoFramer::compose(image, PhotoFramer::jittered(placement, random));
        result.frames.push_back(cut(camera, moved));
        if (camera.embedding)
            result.embeddings.push_back(result.frames.back().empty() ? Embedding() : embedLast(camera, moved, false));
    }
    return result;
}

// The given enrolment photographs, taken in turn: the first round as found, later rounds at
// moved placements, until the group is full. With embeddings, each face's chip is embedded
// with its mirror image, as the window enrols.
void Capture::addGroup(Camera& camera, Person& person, const std::vector<FacePhoto>& photos,
                           const std::vector<std::size_t>& sources, std::mt19937& random) const
{
    const auto size = static_cast<std::size_t>(options.groupSize);
    std::vector<cv::Mat> group;
    std::vector<Embedding> embeddings;
    std::vector<cv::Mat> images;
    for (std::size_t k : sources) {
        const Photo& source = person.photos[k];
        if (group.size() < size) {
            group.push_back(source.frames.front().clone());
            if (camera.embedding)
                embeddings.push_back(camera.embedding->embedChip(source.chip, true));
        }
        images.push_back(PhotoFramer::load(photos[k].path));
    }
    for (std::size_t i = 0; !sources.empty() && group.size() < size && i < size * kMoveAttempts; ++i) {
        const std::size_t s = i % sources.size();
        const FramePlacement moved = PhotoFramer::jittered(person.photos[sources[s]].placement, random);
        const cv::Mat frame = PhotoFramer::compose(images[s], moved);
        const cv::Mat sample = cut(camera, frame);
        if (sample.empty())
            continue;
        group.push_back(sample);
        if (camera.embedding)
            embeddings.push_back(embedLast(camera, frame, true));
    }
    person.groups.push_back(std::move(group));
    if (camera.embedding)
        person.groupEmbeddings.push_back(std::move(embeddings));
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

Embedding Capture::embedLast(Camera& camera, const cv::Mat& frame, bool withMirror)
{
    return camera.embedding->embedFace(frame, camera.detector.faceRect(), withMirror);
}

} // namespace eval
