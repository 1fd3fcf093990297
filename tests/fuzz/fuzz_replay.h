// What the two fuzzers share: a property that fails ends the run with its words, and, without
// libFuzzer, a main that replays every file of the given folders, then a fixed series of
// random inputs of up to `longest` bytes.
#pragma once

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace programador::testing {

inline void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
        std::abort();
    }
}

inline int replay(int argc, char** argv, std::uint32_t seed, std::size_t longest)
{
    int runs = 0;
    for (int a = 1; a < argc; ++a) {
        for (const QFileInfo& file : QDir(argv[a]).entryInfoList(QDir::Files)) {
            QFile f(file.filePath());
            const QByteArray input = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()), input.size());
            ++runs;
        }
    }
    std::mt19937 random(seed);
    for (int i = 0; i < 5000; ++i, ++runs) {
        std::vector<std::uint8_t> input(random() % longest);
        for (auto& b : input)
            b = std::uint8_t(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%s: %d inputs, every one as it should be\n", program_invocation_short_name, runs);
    return 0;
}

} // namespace programador::testing
