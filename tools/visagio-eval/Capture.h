#pragma once

#include "EmbeddingStage.h"
#include "FacedataIndex.h"
#include "FaceDetector.h"
#include "Options.h"
#include "PhotoFramer.h"
#include "SampleCutter.h"
#include "scorers/Scorer.h"
#include "StageTime.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace eval {

// One photograph as the camera saw it: its samples (35 x 45 grey, as the window cuts them),
// frame 0 at the placement where the detector found the face, the others slightly moved.
struct Photo
{
    std::string path;
    bool enrolment = false; // one of the person's enrolment photographs
    // Empty when no placement gave a face; otherwise frames[0] is a sample and a later entry
    // is an empty Mat when its moved frame showed no face.
    std::vector<cv::Mat> frames;
    FramePlacement placement; // where the face was found
    // With Options::embed: one entry a frame, the single embedding of its chip (empty where
    // the frame is), and frame 0's chip, which enrolment groups embed again with its mirror.
    std::vector<Embedding> embeddings;
    cv::Mat chip;

    bool detected() const { return !frames.empty(); }
};

// One person of the face set: every photograph, and the enrolment groups when the person has
// enough photographs with a face.
struct Person
{
    std::string name;
    std::vector<Photo> photos;
    std::vector<std::vector<cv::Mat>> groups;
    // With Options::embed: one entry a group sample, its chip's mirror-averaged embedding.
    std::vector<std::vector<Embedding>> groupEmbeddings;

    // Photographs in which no face was found.
    int missed() const;
    // Enrolled, with at least one genuine trial left.
    bool owner() const;
};

// Puts every photograph of a face set through the window's live path: placed in a 320 x 240
// frame with the face well above the detector's 90 px minimum, FaceDetector, makeSample; with
// Options::embed also FaceChip and the face-resnet's embedding of the chip.
class Capture
{
public:
    // `threads` cameras work on the people in turn, each with a detector of its own (and with
    // Options::embed a network of its own, read from the working directory).
    // Throws: std::runtime_error("cannot load face cascade: <path>"); what EmbeddingStage's
    //         construction throws.
    Capture(const Options& options, const std::string& faceCascade, const std::string& eyeCascade,
                int threads = 1);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Requires: photos of one person are listed together, each person's in a fixed order.
    // Ensures:  one entry a person in order of first appearance; the same photos and options
    //           give the same samples, whatever the thread count and the machine's load
    //           (OpenCV's own threads are off meanwhile: with them the cascade's result can
    //           depend on their timing). Shows a progress bar. With options.relight every
    //           photograph is relit across its face before its frames are cut, the first round
    //           of the enrolment groups included: enrolment unchanged takes the groups of a
    //           capture without relight.
    // Throws:   std::runtime_error("cannot read image: <path>") for an unreadable photograph.
    std::vector<Person> capture(const std::vector<FacePhoto>& photos);
    // Enrols the captured people anew under another enrolment scheme (which photographs are
    // enrolment photographs, how many groups): the trial samples stay as captured. The cameras
    // share the people out as in capture(), with the same result.
    // Requires: people = capture(photos).
    void reenrol(std::vector<Person>& people, const std::vector<FacePhoto>& photos, const Options& scheme);

    // Time of the detector (per frame) and of the sample cut (per face found).
    StageTime detectTime() const;
    StageTime sampleTime() const;
    // Time of the chip cut and the embeddings (all zero without Options::embed).
    EmbeddingStats embeddingStats() const;

private:
    struct Camera;

    Person capturePerson(Camera& camera, const std::vector<FacePhoto>& own, unsigned index,
                         std::atomic<long>& done) const;
    Photo capturePhoto(Camera& camera, const FacePhoto& photo, std::mt19937& random) const;
    void enrolPerson(Camera& camera, Person& person, const std::vector<FacePhoto>& own, unsigned index,
                     const Options& scheme) const;
    void addGroup(Camera& camera, Person& person, const std::vector<FacePhoto>& photos,
                  const std::vector<std::size_t>& sources, std::mt19937& random) const;
    static int enrolmentCount(int photoCount, const Options& scheme);
    static cv::Mat cut(Camera& camera, const cv::Mat& frame);
    // The embedding of the face the camera's detector found last in `frame`.
    static Embedding embedLast(Camera& camera, const cv::Mat& frame, bool withMirror);
    // Runs work(camera, p) for every person p < people, camera t taking the people t,
    // t + cameras, ...; a progress bar shows `done` out of `total`.
    void shareOut(std::size_t people, const std::string& label, long total, const std::atomic<long>& done,
                  const std::function<void(Camera&, std::size_t)>& work);
    // One stage's time summed over every camera.
    StageTime totalTime(StageTime Camera::*stage) const;

    Options options;
    std::vector<std::unique_ptr<Camera>> cameras;
};

} // namespace eval
