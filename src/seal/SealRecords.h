#pragma once

#include <QByteArray>

#include <vector>

// What the reader of the owner's profile hands root over the pipe: records, each a kind byte,
// the lengths of its name and its data (4 bytes each, host order), the name and the data.
struct SealRecord
{
    enum Kind : char { File = 'F', LeftOut = 'L', Refusal = 'E' };

    char kind = Refusal;
    QByteArray name;  // File: the relative path; LeftOut: "group-N"; Refusal: empty
    QByteArray data;  // File: its bytes; LeftOut: why; Refusal: the message
};

QByteArray encodeRecord(const SealRecord& record);

// Ensures: the records of `bytes`, in order.
// Throws:  CannotRun when the bytes end inside a record.
std::vector<SealRecord> decodeRecords(const QByteArray& bytes);
