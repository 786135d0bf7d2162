#include "Capture.h"
#include "scorers/EigenfacesScorer.h"
#include "FaceSet.h"
#include "scorers/FisherfacesScorer.h"
#include "scorers/LbphScorer.h"
#include "report/Metrics.h"
#include "scorers/RawVectorScorer.h"
#include "TrialProtocol.h"
#include "Session.h"
#include "scorers/VisagioScorer.h"
#include "FaceGeometry.h"
#include "FaceVector.h"
#include "FacedataIndex.h"
#include "ModelFiles.h"
#include "RunFolder.h"
#include "SampleCutter.h"
#include "TestData.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace eval;

namespace {

// A small face set: four speakers of Essex faces94 (consecutive frames of a speaking face, so
// their later frames are easy to tell from other people) with eight photographs each, and a
// fifth "person" whose only picture shows no face.
constexpr int kSpeakers = 4;
constexpr int kPhotosEach = 8;
constexpr int kForeignSpeakers = 3; // further speakers whose faces form Fisherfaces' second class
const char* const kNoFacePerson = "zz_no_face";

Options smallProtocol()
{
    Options options;
    options.seed = 7;
    options.groupSize = 20;
    options.framesPerPhoto = 3;
    options.maxSequenceFrames = 9;
    return options;
}

// Links the chosen photographs into people folders, as a user's own face set would be laid out.
std::string writeFaceSet(const QString& root, std::vector<FacePhoto>& foreignPhotos)
{
    const std::vector<FacePhoto> essex = FacedataIndex(facedataDir().toStdString()).essexPeople();
    std::map<std::string, int> taken;
    std::vector<std::string> order;
    for (const FacePhoto& photo : essex) {
        if (taken.count(photo.person) == 0)
            order.push_back(photo.person);
        const int person = static_cast<int>(order.size()) - 1;
        if (person >= kSpeakers + kForeignSpeakers || taken[photo.person] == kPhotosEach)
            continue;
        const int k = taken[photo.person]++;
        if (person >= kSpeakers) {
            foreignPhotos.push_back(photo);
            continue;
        }
        const QString folder = root + "/" + QString::fromStdString(photo.person);
        QDir().mkpath(folder);
        QFile::link(QString::fromStdString(photo.path), folder + QString("/%1.jpg").arg(k, 2, 10, QChar('0')));
    }
    QDir().mkpath(root + "/" + kNoFacePerson);
    cv::imwrite((root + "/" + kNoFacePerson + "/blank.png").toStdString(),
                cv::Mat(200, 180, CV_8UC3, cv::Scalar(90, 140, 200)));
    return root.toStdString();
}

std::vector<std::vector<float>> foreignVectors(const std::vector<FacePhoto>& photos)
{
    Capture capture(smallProtocol(), SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    const cv::Mat mask = createFaceMask(kSampleSize, 1);
    std::vector<std::vector<float>> vectors;
    for (const Person& person : capture.capture(photos))
        for (const cv::Mat& sample : person.groups.empty() ? std::vector<cv::Mat>() : person.groups.front()) {
            cv::Mat copy = sample.clone();
            vectors.push_back(maskedFaceVector(copy, mask));
        }
    return vectors;
}

// What the whole suite works on, made once: the face set, its capture and the methods.
struct Shared
{
    QTemporaryDir folder;
    std::string faceSet;
    std::vector<FacePhoto> photos;
    std::vector<Person> people;
    std::unique_ptr<VisagioScorer> visagio;
    std::vector<std::vector<float>> foreigns;
};

Shared& shared()
{
    static const std::unique_ptr<Shared> data = [] {
        auto made = std::make_unique<Shared>();
        QLoggingCategory::setFilterRules("default.debug=false");
        std::vector<FacePhoto> foreignPhotos;
        made->faceSet = writeFaceSet(made->folder.path() + "/people", foreignPhotos);
        made->photos = FaceSet::list(made->faceSet);
        Capture capture(smallProtocol(), SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
        made->people = capture.capture(made->photos);
        // The matcher's folder: the shipped model and an empty foreign base.
        const QString model = matcherModelPath(made->folder.path() + "/matcher");
        QDir().mkpath(QFileInfo(model).path());
        QFile::copy(sourceDir() + "/data/model/" + kModelPath, model);
        writeEmptyForeignBase(made->folder.path() + "/matcher");
        {
            ScopedWorkingDirectory inMatcherFolder(made->folder.path() + "/matcher");
            made->visagio = std::make_unique<VisagioScorer>();
        }
        made->foreigns = foreignVectors(foreignPhotos);
        return made;
    }();
    return *data;
}

std::size_t detectedTrials(const Person& person, bool genuine)
{
    std::size_t count = 0;
    for (const Photo& photo : person.photos)
        count += photo.detected() && !(genuine && photo.enrolment) ? 1 : 0;
    return count;
}

} // namespace

class EvalEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_FACEDATA();
        data = &shared();
    }

    Shared* data = nullptr;
};

TEST_F(EvalEndToEndTest, CaptureSplitsEachPersonAndCountsPhotosWithoutAFace)
{
    ASSERT_EQ(data->people.size(), static_cast<std::size_t>(kSpeakers + 1));
    for (int p = 0; p < kSpeakers; ++p) {
        const Person& person = data->people[static_cast<std::size_t>(p)];
        SCOPED_TRACE(person.name);
        ASSERT_EQ(person.photos.size(), static_cast<std::size_t>(kPhotosEach));
        EXPECT_EQ(person.missed(), 0);
        EXPECT_TRUE(person.owner());
        for (int k = 0; k < kPhotosEach; ++k) {
            const Photo& photo = person.photos[static_cast<std::size_t>(k)];
            EXPECT_EQ(photo.enrolment, k < kPhotosEach / 2) << k;
            ASSERT_EQ(photo.frames.size(), 3u);
            EXPECT_FALSE(photo.frames.front().empty());
        }
        ASSERT_EQ(person.groups.size(), 1u);
        ASSERT_EQ(person.groups.front().size(), 20u);
        for (const cv::Mat& sample : person.groups.front()) {
            EXPECT_EQ(sample.size(), kSampleSize);
            EXPECT_EQ(sample.type(), CV_8UC1);
        }
        // The group starts with the enrolment photographs as found, then moved copies.
        EXPECT_EQ(cv::norm(person.groups.front()[0], person.photos[0].frames[0], cv::NORM_INF), 0.0);
        EXPECT_GT(cv::norm(person.groups.front()[4], person.photos[0].frames[0], cv::NORM_INF), 0.0);
    }
    const Person& noFace = data->people.back();
    EXPECT_EQ(noFace.name, kNoFacePerson);
    EXPECT_EQ(noFace.missed(), 1);
    EXPECT_FALSE(noFace.owner());
    EXPECT_TRUE(noFace.groups.empty());
}

TEST_F(EvalEndToEndTest, SameSeedGivesTheSameSamplesOnAnyThreadCountAndAnotherSeedMovesThem)
{
    Capture again(smallProtocol(), SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade(), 2);
    const std::vector<Person> repeated = again.capture(data->photos);
    Options otherSeed = smallProtocol();
    otherSeed.seed = 8;
    Capture other(otherSeed, SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    const std::vector<Person> moved = other.capture(data->photos);
    ASSERT_EQ(repeated.size(), data->people.size());
    for (std::size_t p = 0; p < kSpeakers; ++p) {
        SCOPED_TRACE(data->people[p].name);
        EXPECT_TRUE(sameImages(repeated[p].groups.front(), data->people[p].groups.front()));
        EXPECT_TRUE(sameImages(repeated[p].photos[5].frames, data->people[p].photos[5].frames));
        EXPECT_FALSE(sameImages(moved[p].groups.front(), data->people[p].groups.front()));
        EXPECT_TRUE(sameImages({moved[p].photos[5].frames[0]}, {data->people[p].photos[5].frames[0]}));
    }
}

// Every owner meets every other detected photograph once, and every method tells the
// speakers apart.
TEST_F(EvalEndToEndTest, EveryMethodTellsTheSpeakersApart)
{
    RawVectorScorer raw;
    LbphScorer lbph;
    EigenfacesScorer eigenfaces;
    FisherfacesScorer fisherfaces(data->foreigns);
    const std::vector<Scorer*> scorers = {data->visagio.get(), &raw, &lbph, &eigenfaces, &fisherfaces};
    const TrialProtocol run(data->people, smallProtocol());
    std::size_t genuine = 0;
    std::size_t impostor = 0;
    for (const Person& owner : data->people) {
        genuine += owner.owner() ? detectedTrials(owner, true) : 0;
        for (const Person& other : data->people)
            impostor += !owner.owner() || &other == &owner ? 0 : detectedTrials(other, false);
    }
    EXPECT_EQ(run.ownerCount(), kSpeakers);
    EXPECT_EQ(genuine, static_cast<std::size_t>(kSpeakers * kPhotosEach / 2));
    for (Scorer* scorer : scorers) {
        SCOPED_TRACE(scorer->name());
        const MethodResult result = run.evaluate(*scorer, false);
        EXPECT_EQ(result.genuine.size(), genuine);
        EXPECT_EQ(result.impostor.size(), impostor);
        EXPECT_EQ(result.enrolTime.calls, kSpeakers);
        EXPECT_TRUE(result.ownerSequences.empty());
        const Metrics metrics(result.genuine, result.impostor);
        EXPECT_GT(metrics.areaUnderCurve(), 0.9);
        EXPECT_LT(metrics.equalErrorRate(), 0.2);
    }
}

TEST_F(EvalEndToEndTest, VisagioScoresAndLockSequencesFollowTheWindowOnAnyThreadCount)
{
    const TrialProtocol run(data->people, smallProtocol());
    const MethodResult result = run.evaluate(*data->visagio, true);
    ASSERT_TRUE(result.decisionThreshold.has_value());
    EXPECT_EQ(*result.decisionThreshold, static_cast<double>(0.99f));
    for (double score : result.genuine) {
        EXPECT_GT(score, 0.0);
        EXPECT_LE(score, 3.0);
    }
    // One sequence per owner and one per (owner, other person), the face-free person included.
    ASSERT_EQ(result.ownerSequences.size(), static_cast<std::size_t>(kSpeakers));
    EXPECT_EQ(result.impostorSequences.size(), static_cast<std::size_t>(kSpeakers * kSpeakers));
    for (const LockOutcome& outcome : result.ownerSequences) {
        EXPECT_EQ(outcome.ticks, 9);
        EXPECT_GE(outcome.faceTicks, 3);
    }
    int faceless = 0;
    for (const LockOutcome& outcome : result.impostorSequences)
        if (outcome.faceTicks == 0) {
            ++faceless;
            EXPECT_EQ(outcome.ticks, 3);
            EXPECT_FALSE(outcome.opened);
        }
    EXPECT_EQ(faceless, kSpeakers);

    // Owners shared over three threads, each with a scorer of its own, give the same figures.
    const QString folder = data->folder.path() + "/matcher";
    const TrialProtocol::ScorerFactory make = [&folder]() -> std::unique_ptr<Scorer> {
        ScopedWorkingDirectory inMatcherFolder(folder);
        return std::make_unique<VisagioScorer>();
    };
    const MethodResult shared = run.evaluate(make, true, 3);
    EXPECT_EQ(shared.genuine, result.genuine);
    EXPECT_EQ(shared.impostor, result.impostor);
    ASSERT_EQ(shared.impostorSequences.size(), result.impostorSequences.size());
    for (std::size_t k = 0; k < result.impostorSequences.size(); ++k) {
        EXPECT_EQ(shared.impostorSequences[k].openingTick, result.impostorSequences[k].openingTick) << k;
        EXPECT_EQ(shared.impostorSequences[k].peakConfidence, result.impostorSequences[k].peakConfidence) << k;
    }
    EXPECT_EQ(shared.enrolTime.calls, kSpeakers);
}

TEST_F(EvalEndToEndTest, SessionWritesTableCurvesAndPeople)
{
    QTemporaryDir out;
    SessionSettings settings;
    settings.split = "four Essex speakers";
    settings.photos = data->photos;
    settings.options = smallProtocol();
    settings.methods = {"visagio", "raw", "lbph", "fisherfaces"};
    settings.model = "test model";
    settings.outDir = out.path().toStdString();
    {
        ScopedWorkingDirectory inMatcherFolder(data->folder.path() + "/matcher");
        Session::run(settings);
    }
    std::ifstream summary(settings.outDir + "/eval-summary.md");
    const std::string text((std::istreambuf_iterator<char>(summary)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("| Visagio |"), std::string::npos);
    EXPECT_NE(text.find("| OpenCV LBPH |"), std::string::npos);
    EXPECT_NE(text.find("Fisherfaces skipped: the foreign-face base is empty"), std::string::npos);
    EXPECT_NE(text.find("zz_no_face 1/1"), std::string::npos);

    std::ifstream csv(settings.outDir + "/eval-roc.csv");
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "method,threshold,far,tar");
    std::map<std::string, std::vector<std::string>> rows;
    while (std::getline(csv, line))
        rows[line.substr(0, line.find("\",") + 1)].push_back(line);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& method : rows) {
        SCOPED_TRACE(method.first);
        EXPECT_NE(method.second.front().find(",0,0"), std::string::npos);
        EXPECT_NE(method.second.back().find(",-inf,1,1"), std::string::npos);
    }
    const cv::Mat picture = cv::imread(settings.outDir + "/eval-roc.png");
    EXPECT_EQ(picture.size(), cv::Size(760, 560));
    EXPECT_TRUE(std::filesystem::exists(settings.outDir + "/eval-people.csv"));
}
