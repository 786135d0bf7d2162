#include "ChipEmbedder.h"

#include "PhotoFramer.h"
#include "ProgressBar.h"

ChipEmbedder::ChipEmbedder(const std::string& resnetFolder)
    : cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade()),
      net(QString::fromStdString(resnetFolder))
{
}

bool ChipEmbedder::embedFrame(const cv::Mat& frame, FaceEmbedding& face)
{
    if (cutter.cutFrame(frame).empty())
        return false;
    const cv::Mat chip = chips.cut(frame, cutter.lastFace());
    cv::Mat mirror;
    cv::flip(chip, mirror, 1);
    face.single = net.embed(chip);
    const std::vector<float> other = net.embed(mirror);
    face.mirrored = face.single;
    for (std::size_t i = 0; i < other.size(); ++i)
        face.mirrored[i] = 0.5f * (face.single[i] + other[i]);
    return true;
}

std::map<std::string, std::vector<FaceEmbedding>> ChipEmbedder::embedPhotos(const std::vector<FacePhoto>& photos,
                                                                           const std::string& label, int& missed)
{
    std::map<std::string, std::vector<FaceEmbedding>> people;
    missed = 0;
    ProgressBar progress(label, long(photos.size()));
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const cv::Mat image = PhotoFramer::load(photos[i].path);
        FramePlacement placement;
        FaceEmbedding face;
        if (cutter.findPlacement(photos[i], image, placement) &&
            embedFrame(PhotoFramer::compose(image, placement), face))
            people[photos[i].person].push_back(face);
        else
            ++missed;
        progress.update(long(i + 1));
    }
    progress.finish();
    return people;
}
