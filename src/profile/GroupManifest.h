#pragma once

#include <QByteArray>
#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// What a group folder's manifest.txt says of the group (the layout is in GroupFolder.h), and
// the parsing of the two files a reader can trust without decoding images: the manifest and
// embeddings.bin. Both parse a buffer already read, so that a caller can hash or check the
// very bytes it parses.
struct GroupManifest
{
    static constexpr const char* kFileName = "manifest.txt";
    static constexpr const char* kEmbeddingsFileName = "embeddings.bin";
    // The manifest's first line.
    static constexpr const char* kKind = "visagio enrolment group";
    // Raised when the layout changes; a reader refuses any version it does not know. Format 1
    // has samples only, format 2 adds the chips and their embeddings.
    static constexpr int kSamplesOnlyFormat = 1;
    static constexpr int kChipsFormat = 2;
    // A manifest claiming more samples than this is damaged (a group holds 100 as collected).
    static constexpr int kMaxSamples = 10000;
    // The largest chip side a manifest may claim (the network's chip is 150).
    static constexpr int kMaxChipSide = 1024;

    int format = 0;
    int count = 0;
    int chipSide = 0;           // format 2
    QString embeddingModel;     // format 2: the SHA-256 of the weights that made the embeddings
    int embeddingSize = 0;      // format 2: always the network's embedding size
    QString chipAligner;        // format 2: what cut the chips (an "aligned" line); empty: none said
};

// Ensures: the manifest's fields; format 2 only with the network's embedding size, and with an
//          optional "aligned NAME" line after the embeddings line.
// Throws:  e_logic_argument("<what is wrong>") for text of another kind, an unknown format
//          version, another sample size, or a bad sample count, chip size, embeddings or aligned
//          line.
GroupManifest parseGroupManifest(const QByteArray& text, cv::Size sampleSize);

// Requires: manifest is of format 2.
// Ensures:  manifest.count embeddings of manifest.embeddingSize values each, every one finite.
// Throws:   e_logic_argument("embeddings.bin holds ...") for bytes of another length or a value
//           that is not finite.
std::vector<std::vector<float>> parseEmbeddings(const QByteArray& bytes, const GroupManifest& manifest);
