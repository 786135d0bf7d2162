// visagio-make-profile DIR KEY [KEY ...]: writes at DIR (which must not exist) a profile the
// check takes: the face-resnet with the liveness check on and, for the N-th KEY, group-N of a
// few samples with landmark-cut chips and random embeddings keyed by KEY (the SHA-256 of the
// network weights). The seal tests make their owner's profile with it, as that owner.
#include "Errors.h"
#include "MadeUpProfile.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: visagio-make-profile DIR KEY [KEY ...]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    try {
        QStringList keys;
        for (int i = 2; i < argc; ++i)
            keys << QString::fromLatin1(argv[i]);
        const bool written = writeMadeUpProfile(dir, keys);
        if (!written)
            std::perror(argv[1]);
        return written ? 0 : 1;
    } catch (const e_default& error) {
        std::fprintf(stderr, "%s\n", error.message().c_str());
        return 1;
    }
}
