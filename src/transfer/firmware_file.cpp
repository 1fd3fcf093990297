#include "firmware_file.h"

#include "file_names.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

// Closes the descriptor on every path out of the load.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

FirmwareFile::Result FirmwareFile::load(const QString& path, FirmwareImage& image, Cause& cause)
{
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer. The type is
    // checked on the open descriptor, so what is read is what was checked.
    const QByteArray native = nameToBytes(path);
    Descriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    const auto unreadable = [&cause](Cause why) {
        cause = why;
        return Result::Unreadable;
    };
    if (fd.get() < 0)
        return unreadable(fileCause(errno));

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return unreadable(fileCause(errno));
    if (S_ISDIR(st.st_mode))
        return unreadable(Cause::IsFolder);
    if (!S_ISREG(st.st_mode))
        return unreadable(Cause::NotRegularFile);
    // An interrupted copy or a failed build leaves an empty file: there is nothing to send.
    if (st.st_size == 0)
        return unreadable(Cause::EmptyFile);
    if (st.st_size > FirmwareImage::kMaxSendable) {
        cause = Cause::TooLarge;
        return Result::TooLarge;
    }

    const auto length = static_cast<std::int32_t>(st.st_size);
    std::int32_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd.get(), image.buffer.data() + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unreadable(fileCause(errno));
        if (n == 0)
            return unreadable(Cause::ReadFailed);   // the file shrank while being read
        done += static_cast<std::int32_t>(n);
    }
    std::fill(image.buffer.begin() + length, image.buffer.end(), std::uint8_t{0});
    image.largo_archivo = length;
    cause = Cause::None;
    return Result::Loaded;
}

std::int32_t FirmwareFile::blockCount(std::int32_t length)
{
    const std::int32_t blocks = (length + FirmwareImage::kBlockSize - 1) / FirmwareImage::kBlockSize;
    return std::max<std::int32_t>(1, blocks);
}

QByteArray FirmwareFile::sha256(const FirmwareImage& image)
{
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(image.buffer.data()), image.largo_archivo),
                                    QCryptographicHash::Sha256).toHex();
}

QString FirmwareFile::joinPath(const QString& directory, const QString& name)
{
    if (directory.endsWith(QLatin1Char('/')))
        return directory + name;
    return directory + QLatin1Char('/') + name;
}

} // namespace programador
