#pragma once

// The line every paced device stands for (9600 baud, 8N1), XMODEM's block, and the small
// conversions the benchmark's runs share.
#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <chrono>
#include <cstdint>

#include <sys/resource.h>

namespace programador::bench {

using Clock = std::chrono::steady_clock;

constexpr int kBlock = 132;
constexpr int kData = 128;
constexpr char kSoh = 0x01, kEot = 0x04, kAck = 0x06, kNak = 0x15;
constexpr std::int64_t kBaud = 9600;
constexpr std::int64_t kBitsPerByte = 10;   // 8N1: start bit, 8 data bits, stop bit

// The time k bytes take on the line, and how many whole bytes fit in a time.
inline Clock::duration lineTime(std::int64_t bytes)
{
    return std::chrono::nanoseconds(bytes * kBitsPerByte * 1'000'000'000 / kBaud);
}
inline std::int64_t bytesIn(Clock::duration time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time).count() * kBaud / (kBitsPerByte * 1'000'000'000);
}
inline double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}
inline double cpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec)
        + static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
inline int blocksOf(qsizetype bytes)
{
    return static_cast<int>((bytes + kData - 1) / kData);
}
inline QByteArray padded(const QByteArray& image)
{
    return image + QByteArray(blocksOf(image.size()) * kData - image.size(), '\0');
}

// An image of random bytes, the same for the same seed.
inline QByteArray randomImage(qsizetype bytes, quint32 seed)
{
    QByteArray image(bytes, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : image)
        c = static_cast<char>(random.bounded(256));
    return image;
}

// The bytes as the whole of a file.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace programador::bench
