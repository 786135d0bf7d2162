#include "DemoSetWriter.h"

#include "DemoVideoMaker.h"
#include "SampleCutter.h"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
constexpr const char* kOwnerClip = "leszko_sample-files/face.mp4";
constexpr const char* kOwnerOtherRoomClip = "leszko_sample-files/me.mp4";
// The owner clip (60 frames a second) is split, every frame kept: enrolment from frame 150 on,
// where he mostly faces the camera as one does when enrolling; verification on the frames
// before, where he also looks up, grimaces and turns.
constexpr int kOwnerSplitFrame = 150;
constexpr int kFaceFreeFrames = 5;
constexpr int kFramesPerPhoto = 8;
constexpr int kPhotosPerStranger = 20;

struct StrangerClip
{
    const char* name;
    const char* clip;
};
constexpr StrangerClip kStrangerClips[] = {
    {"1-stranger-woman-clip.avi", "1zlab_OpenCV_Face_Detection/face.mp4"},
    {"2-stranger-man-clip.avi", "Fellway_Closed_eyes_detector/media/me.mp4"},
};
constexpr const char* kEssexStrangers[] = {"essex_13", "essex_5", "essex_9"};
// Evaluation people (names K to Z) with many photographs.
constexpr const char* kLfwStrangers[] = {"Nicole_Kidman", "Serena_Williams", "Vladimir_Putin"};

std::vector<FacePhoto> photosOf(const std::vector<FacePhoto>& photos, const std::string& person, size_t limit)
{
    std::vector<FacePhoto> chosen;
    for (const auto& photo : photos)
        if (photo.person == person && chosen.size() < limit)
            chosen.push_back(photo);
    return chosen;
}
} // namespace

DemoSetWriter::DemoSetWriter(const FacedataIndex& facedata, std::string directory, std::string face,
                             std::string eye, unsigned randomSeed)
    : index(facedata), root(std::move(directory)), faceCascade(std::move(face)), eyeCascade(std::move(eye)),
      seed(randomSeed)
{
}

DemoSetWriter::Video DemoSetWriter::save(const std::string& relative, const std::string& person, bool owner,
                                         std::vector<cv::Mat> frames)
{
    if (frames.empty())
        throw std::runtime_error("no frame with a face for the demo video of " + person);
    std::vector<cv::Mat> video = DemoVideoMaker::faceFreeFrames(frames.front(), kFaceFreeFrames);
    video.insert(video.end(), frames.begin(), frames.end());
    const fs::path path = fs::path(root) / relative;
    fs::create_directories(path.parent_path());
    DemoVideoMaker::write(path.string(), video);
    SampleCutter cutter(faceCascade, eyeCascade);
    Video result;
    result.path = path.string();
    result.person = person;
    result.owner = owner;
    for (const auto& frame : DemoVideoMaker::read(path.string())) {
        ++result.frames;
        if (!cutter.cutFrame(frame).empty())
            ++result.faceFrames;
    }
    return result;
}

std::vector<DemoSetWriter::Video> DemoSetWriter::write()
{
    std::vector<Video> videos;
    const std::string ownerClip = index.videoPath(kOwnerClip);
    videos.push_back(save(ownerEnrolName(), "owner", true, DemoVideoMaker::clipFrames(ownerClip, kOwnerSplitFrame)));
    for (const auto& stranger : kStrangerClips)
        videos.push_back(save(verifyDir() + "/" + stranger.name, stranger.clip, false,
                              DemoVideoMaker::clipFrames(index.videoPath(stranger.clip))));
    std::mt19937 random(seed);
    int number = 3;
    const std::vector<FacePhoto> essex = index.essexPeople();
    for (const char* person : kEssexStrangers) {
        const std::string name = std::to_string(number++) + "-stranger-" + person + ".avi";
        videos.push_back(save(verifyDir() + "/" + name, person, false,
                              DemoVideoMaker::photoFrames(photosOf(essex, person, kPhotosPerStranger), kFramesPerPhoto,
                                                          random, faceCascade, eyeCascade)));
    }
    const std::vector<FacePhoto> lfw = index.lfwPeople("lfw_min10", 'K', 'Z');
    for (const char* person : kLfwStrangers) {
        const std::string name = std::to_string(number++) + "-stranger-" + person + ".avi";
        videos.push_back(save(verifyDir() + "/" + name, person, false,
                              DemoVideoMaker::photoFrames(photosOf(lfw, person, kPhotosPerStranger), kFramesPerPhoto,
                                                          random, faceCascade, eyeCascade)));
    }
    videos.push_back(save(verifyDir() + "/9-owner.avi", "owner", true,
                          DemoVideoMaker::clipFrames(ownerClip, 0, kOwnerSplitFrame)));
    videos.push_back(save("extra/owner-other-room.avi", "owner", true,
                          DemoVideoMaker::clipFrames(index.videoPath(kOwnerOtherRoomClip))));
    return videos;
}
