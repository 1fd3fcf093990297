#pragma once

#include "firmware_image.h"
#include "reasons.h"

#include <QString>

#include <cstdint>

namespace programador {

// Reading a firmware image file into the image buffer.
class FirmwareFile {
public:
    enum class Result {
        Loaded,       // the image is in the buffer, largo_archivo holds its length
        Unreadable,   // missing, not a regular file, no permission, empty, read error: see cause
        TooLarge,     // longer than can be sent whole (1953 blocks); the buffer is untouched; see cause
    };

    // Loads the file at path (a name as nameFromBytes keeps it) into image. Only regular files
    // are read (a FIFO, a device or a directory is refused at once, never blocking), and an
    // empty one is refused: it holds no firmware. The bytes after the image's end are cleared,
    // so the last block is padded with 0x00 whatever was loaded before. cause says why a file
    // was Unreadable.
    static Result load(const QString& path, FirmwareImage& image, Cause& cause);

    // The number of blocks an image of this length is sent in: at least one.
    static std::int32_t blockCount(std::int32_t length);

    // The SHA-256 of the loaded image, in hex, as the record keeps it.
    static QByteArray sha256(const FirmwareImage& image);

    // The directory path and a name in it, with one separator between them.
    static QString joinPath(const QString& directory, const QString& name);
};

} // namespace programador
