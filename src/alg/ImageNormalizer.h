#pragma once

#include <QImage>
#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// Evens out the lighting of a colour face image. The image is split into luma and two chroma
// planes (integer YCbCr), only the luma is processed, and the planes are recombined into a
// colour image of the same size. The main mode is a multi-scale retinex (ratio, product,
// reset, average over a pyramid of block means) on the logarithm of the luma; the others pass
// the luma through the logarithm and back, or equalise its histogram. A stand-alone service:
// nothing in the running pipeline calls it. One instance serves one thread at a time; its
// plane buffers are reused between calls.
class ImageNormalizer
{
public:
    enum Mode
    {
        ModeRetinex = 0,  // toLog, retinex, fromLog
        ModeLog = 1,      // toLog, fromLog
        ModeEqualize = 2, // histogram equalisation of the luma
    };                    // any other value leaves the luma as split

    // Ensures: every normalisation of this instance uses `mode`.
    explicit ImageNormalizer(int mode);

    // Requires: image is 8-bit BGR (CV_8UC3) or empty.
    // Ensures:  a new image of the same size and type holding the normalised colours;
    //           `iterations` is the retinex iteration count per pyramid level (retinex mode
    //           only). Logs the elapsed milliseconds.
    // Throws:   cv::Exception for an image that is not 8-bit BGR.
    cv::Mat normalize(const cv::Mat& image, int iterations);

    // Requires: image is in a 32-bit RGB format (or null).
    // Ensures:  the same for a Qt image: a new image of the source's size and format.
    QImage normalize(const QImage& image, int iterations);

    // Requires: image is in a 32-bit RGB format (or null).
    // Ensures:  a new image whose luma is shifted by amount x 128 (amount limited to [-1, 1]),
    //           each luma clamped to 0..255. Ignores the mode and logs nothing.
    QImage adjustBrightness(const QImage& image, float amount);

    // Number of halvings of the retinex pyramid for an image of this size: log2 of the largest
    // power of two dividing both dimensions (64 x 64 gives 6, 35 x 45 gives 0).
    static int pyramidDepth(int width, int height);

private:
    void allocatePlanes();
    void splitColour(const cv::Mat& image);
    void splitColour(const QImage& image);
    void splitPixel(int index, int red, int green, int blue);
    void mergeColour(cv::Mat& target) const;
    void mergeColour(QImage& target) const;
    void mergePixel(int index, int& red, int& green, int& blue) const;
    void processLuma(int iterations);
    void toLog();
    void fromLog();
    void equalize();
    void retinex(int iterations);

    std::vector<std::uint8_t> lumaPlane;
    std::vector<std::uint8_t> crPlane;
    std::vector<std::uint8_t> cbPlane;
    std::vector<float> logPlane;
    int height = 0;
    int width = 0;
    int mode;
};
