#include "ChipEer.h"

#include "FaceChip.h"
#include "FaceResnet.h"
#include "Parallel.h"
#include "SequentialOpenCv.h"
#include "report/Metrics.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

std::vector<float> average(const std::vector<float>& a, const std::vector<float>& b)
{
    std::vector<float> mean(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        mean[i] = 0.5f * (a[i] + b[i]);
    return mean;
}

double euclidean(const std::vector<float>& a, const std::vector<float>& b)
{
    return cv::norm(cv::Mat(a), cv::Mat(b), cv::NORM_L2);
}

double cosineDistance(const std::vector<float>& a, const std::vector<float>& b)
{
    const double dot = cv::Mat(a).dot(cv::Mat(b));
    return 1.0 - dot / (cv::norm(cv::Mat(a)) * cv::norm(cv::Mat(b)));
}

// What one thread needs to embed faces.
struct Worker
{
    explicit Worker(const ChipEer::Options& options)
        : net(QString::fromStdString(options.resnetFolder)), eyeChips(options.eyeCascade), boxChips(std::string()),
          landmarkChips(QString::fromStdString(options.landmarksFolder))
    {
    }

    // The embedding of the chip and its average with the mirror image's.
    void embed(const cv::Mat& chip, std::vector<float>& single, std::vector<float>& mirrored)
    {
        const auto start = std::chrono::steady_clock::now();
        single = net.embed(chip);
        cv::Mat flipped;
        cv::flip(chip, flipped, 1);
        mirrored = average(single, net.embed(flipped));
        embedTime += std::chrono::steady_clock::now() - start;
        embedCount += 2;
    }

    // The chip `chips` cuts, embedded when the face aligned it; otherwise the box chip's
    // embeddings already in `face`. Ensures: whether the face aligned it.
    template <typename Embeddings>
    bool embedAligned(FaceChip& chips, const cv::Mat& image, const cv::Rect& box, const Embeddings& face,
                      std::vector<float>& single, std::vector<float>& mirrored)
    {
        const cv::Mat chip = chips.cut(image, box);
        if (!chips.aligned()) {
            single = face.box;
            mirrored = face.boxMirrored;
            return false;
        }
        embed(chip, single, mirrored);
        return true;
    }

    FaceResnet net;
    FaceChip eyeChips;
    FaceChip boxChips;
    FaceChip landmarkChips;
    std::chrono::steady_clock::duration embedTime{};
    long embedCount = 0;
};

} // namespace

ChipEer::ChipEer(const std::vector<BoxedFace>& faces, const Options& options)
{
    embedAll(faces, options);
    drawPairs(faces, options);
}

void ChipEer::embedAll(const std::vector<BoxedFace>& faces, const Options& options)
{
    const eval::SequentialOpenCv sequential;
    std::vector<std::unique_ptr<Worker>> workers;
    for (int t = 0; t < std::max(options.threads, 1); ++t)
        workers.push_back(std::make_unique<Worker>(options));
    embeddings.assign(faces.size(), Embeddings());
    eval::Parallel::forEach(faces.size(), int(workers.size()), "embeddings", [&](std::size_t t, std::size_t i) {
        Worker& worker = *workers[t];
        Embeddings& face = embeddings[i];
        const cv::Mat image = readPhoto(faces[i].photo);
        worker.embed(worker.boxChips.cut(image, faces[i].box), face.box, face.boxMirrored);
        face.byEyes = worker.embedAligned(worker.eyeChips, image, faces[i].box, face, face.eyes, face.eyesMirrored);
        face.byLandmarks = worker.embedAligned(worker.landmarkChips, image, faces[i].box, face, face.landmarks,
                                               face.landmarksMirrored);
    });
    std::chrono::steady_clock::duration total{};
    long count = 0;
    for (const auto& worker : workers) {
        total += worker->embedTime;
        count += worker->embedCount;
    }
    if (count > 0)
        embedTime = std::chrono::duration<double, std::milli>(total).count() / count;
}

void ChipEer::drawPairs(const std::vector<BoxedFace>& faces, const Options& options)
{
    std::map<std::string, std::vector<int>> byPerson;
    for (std::size_t i = 0; i < faces.size(); ++i)
        byPerson[faces[i].photo.person].push_back(int(i));
    std::mt19937 random(options.seed);
    std::vector<const std::vector<int>*> people;
    for (const auto& [name, indices] : byPerson) {
        people.push_back(&indices);
        std::vector<Pair> pairs;
        for (std::size_t a = 0; a < indices.size(); ++a)
            for (std::size_t b = a + 1; b < indices.size(); ++b)
                pairs.emplace_back(indices[a], indices[b]);
        std::shuffle(pairs.begin(), pairs.end(), random);
        pairs.resize(std::min<std::size_t>(pairs.size(), std::size_t(std::max(options.genuinePerPerson, 0))));
        genuine.insert(genuine.end(), pairs.begin(), pairs.end());
    }
    if (people.size() < 2)
        return;
    std::uniform_int_distribution<std::size_t> person(0, people.size() - 1);
    while (int(impostor.size()) < options.impostorPairs) {
        const std::size_t a = person(random), b = person(random);
        if (a == b)
            continue;
        std::uniform_int_distribution<std::size_t> ofA(0, people[a]->size() - 1), ofB(0, people[b]->size() - 1);
        impostor.emplace_back((*people[a])[ofA(random)], (*people[b])[ofB(random)]);
    }
}

std::vector<ChipEer::Row> ChipEer::table() const
{
    // The first face of a pair stands for the enrolled one, the second for the probe.
    const Side box = [](const Embeddings& e) -> const std::vector<float>& { return e.box; };
    const Side boxMirrored = [](const Embeddings& e) -> const std::vector<float>& { return e.boxMirrored; };
    const Side eyes = [](const Embeddings& e) -> const std::vector<float>& { return e.eyes; };
    const Side eyesMirrored = [](const Embeddings& e) -> const std::vector<float>& { return e.eyesMirrored; };
    const Side landmarks = [](const Embeddings& e) -> const std::vector<float>& { return e.landmarks; };
    const Side landmarksMirrored = [](const Embeddings& e) -> const std::vector<float>& {
        return e.landmarksMirrored;
    };
    return {measure("box", box, box),
            measure("box, mirror both", boxMirrored, boxMirrored),
            measure("box, mirror enrolled", boxMirrored, box),
            measure("eyes|box", eyes, eyes),
            measure("eyes|box, mirror both", eyesMirrored, eyesMirrored),
            measure("eyes|box, mirror enrolled", eyesMirrored, eyes),
            measure("landmarks|box", landmarks, landmarks),
            measure("landmarks|box, mirror both", landmarksMirrored, landmarksMirrored),
            measure("landmarks|box, mirror enrolled", landmarksMirrored, landmarks)};
}

ChipEer::Row ChipEer::measure(const std::string& name, Side enrolled, Side probe) const
{
    // Scores for Metrics: higher means more alike, so distances enter negated.
    std::vector<double> cosine[2], euclid[2];
    for (int impostors = 0; impostors < 2; ++impostors) {
        for (const Pair& pair : impostors ? impostor : genuine) {
            const auto& a = enrolled(embeddings[pair.first]);
            const auto& b = probe(embeddings[pair.second]);
            cosine[impostors].push_back(-cosineDistance(a, b));
            euclid[impostors].push_back(-euclidean(a, b));
        }
    }
    return {name, eval::Metrics(cosine[0], cosine[1]).equalErrorRate(),
            eval::Metrics(euclid[0], euclid[1]).equalErrorRate()};
}

double ChipEer::eyeShare() const
{
    if (embeddings.empty())
        return 0;
    const auto byEyes = std::count_if(embeddings.begin(), embeddings.end(), [](const Embeddings& e) { return e.byEyes; });
    return double(byEyes) / embeddings.size();
}

double ChipEer::landmarkShare() const
{
    if (embeddings.empty())
        return 0;
    const auto aligned =
        std::count_if(embeddings.begin(), embeddings.end(), [](const Embeddings& e) { return e.byLandmarks; });
    return double(aligned) / embeddings.size();
}
