#pragma once

#include "GaussianRbm.h"
#include "ModelCalibration.h"
#include "RandomSource.h"

#include <QImage>
#include <QObject>
#include <opencv2/core.hpp>

#include <cstddef>
#include <vector>

// The face verification engine: the owner's enrolled sample groups, the feature model, the
// base of other people's faces and the trained template. A face is masked to its ellipse,
// its light normalised when the model's calibration asks for it, and standardised into a
// face vector (faceVector; the foreign faces likewise); the model turns that into 200
// features, and a face scores 90 / (s d + 30) for its weighted distance d to the nearest
// template feature vector; s is set at every training from the distances of the foreign faces
// to the template, so that the threshold accepts about the same share of strangers however
// varied the enrolment.
//
// Files, relative to the working directory (RunFolder.h): the model, its calibration beside it
// (the model's path + ".calibration") and the foreign faces "glasgow/" and "feret/" (with
// "coords.txt") under the foreign-face folder.
class FaceMatcher : public QObject
{
    Q_OBJECT

public:
    // Whether the constructor reads the foreign base too, or leaves it to readForeignBase()
    // (so that a caller can tell a failure of the model from one of the foreign faces).
    enum class ForeignBase { Read, Later };

    // Ensures: the model is loaded (logging "rbm: ..."), the mask drawn for 3 channels and,
    //          with ForeignBase::Read, readForeignBase() done.
    // Throws:  e_failure_open / e_failure_read of the model file; e_logic_argument("incorrect
    //          RBM configuration") unless the model has width * height visible and 200 hidden
    //          units; the errors of readForeignBase().
    FaceMatcher(int width, int height, ForeignBase foreignBase = ForeignBase::Read);

    FaceMatcher(const FaceMatcher&) = delete;
    FaceMatcher& operator=(const FaceMatcher&) = delete;

    // Ensures: the group is appended; its images share their pixels with the matcher's copy.
    void addGroup(const std::vector<cv::Mat>& group);
    // Ensures: the group at `index` is removed, the others keep their order.
    // Throws:  e_logic_range("Out of range") for an index outside 0 ... groupCount() - 1.
    void removeGroup(int index);
    // Ensures: copies of the group lists; their images share pixels with the matcher's.
    std::vector<std::vector<cv::Mat>> groups() const;
    int groupCount() const;

    // Rebuilds the template from every sample of every group (masking them in place), about
    // half of the vectors mirrored left to right at random. With no groups nothing changes.
    // Throws: std::logic_error("training error: incorrect image size") for a sample that is
    //         not width x height; the template is then unchanged.
    void train();
    // Rebuilds the template from the given own face vectors: their features, per feature the
    // weight |mean| / spread of the owner's values, and the cohort scale. Logs per feature the
    // foreign and the owner statistics and the weight ("quality"), then "average quality", and
    // "cohort scale" when the scale is computed (foreign faces and a calibration at hand).
    // Requires: every vector holds width * height values.
    void createTemplate(std::vector<std::vector<float>>& ownVectors);

    // Ensures: the score 90 / (s d + 30) in (0, 3], d the weighted distance to the nearest
    //          template feature vector (logged as "verify d"); 0 for an empty image. The
    //          image's pixels are masked in place.
    // Throws:  std::logic_error("incorrect image size") unless the image is width x height.
    float verify(cv::Mat image);

    // Requires: image 8-bit, width x height, any channel count (only channel 0 is read).
    // Ensures:  the face vector of the image as the model expects it (faceVector); its pixels
    //           outside the face ellipse become 0 (in place) and the mask follows the image's
    //           channel count.
    // Throws:   std::logic_error("incorrect image size") unless the image is width x height.
    std::vector<float> imageToVector(cv::Mat image);
    // The face vector of a photograph crop as the foreign base makes it (background trimming
    // draws from the matcher's random source).
    std::vector<float> imageToVector(const QImage& image, bool trimBackground, int threshold);

    // Ensures: the mask is redrawn, width x height with `channels` channels.
    void createMask(int channels);
    // Ensures: the foreign base is read (loadForeigns), and only then the random source seeded
    //          from the time: the base repeats on every start, training draws from here on.
    // Throws:  the errors of loadForeigns().
    void readForeignBase();
    // Appends the faces of the foreign base that the random source selects.
    // Throws: std::logic_error("loading foreign faces: unsupported size") unless 35 x 45.
    void loadForeigns();

    // Restarts the random source from `seed` (repeatable training in tests and tools).
    void seedRandom(unsigned seed);

    const std::vector<std::vector<float>>& templateFeatures() const;
    const std::vector<float>& qualities() const;
    // The distance scale s of the current template (1 before training, without foreign faces
    // or without the model's calibration).
    float cohortScale() const;
    std::size_t foreignCount() const;
    const std::vector<std::vector<float>>& foreignVectors() const;
    const GaussianRbm& model() const;
    const cv::Mat& faceMask() const;

signals:
    void trainProgress(float progress);

private:
    void loadModel();
    void loadFirstForeignSet();
    void loadSecondForeignSet();
    std::vector<std::vector<float>> ownFaceVectors();
    void mirrorAtRandom(std::vector<std::vector<float>>& vectors);
    void mirror(std::vector<float>& vector) const;
    void computeFeatures(const std::vector<std::vector<float>>& vectors);
    void weighFeatures();
    void scaleByCohort();

    int width;
    int height;
    std::vector<std::vector<cv::Mat>> samples;
    cv::Mat mask;
    std::vector<std::vector<float>> foreigns;
    GaussianRbm rbm;
    std::vector<float> quality;
    std::vector<std::vector<float>> templateVectors;
    ModelCalibration calibration;
    float scale = 1.0f;
    RandomSource random;
};
