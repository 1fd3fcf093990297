#include "csv_file.h"

#include "file_names.h"
#include "load_row.h"
#include "reasons.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

// The file's lock, held while a row goes in: two programs never write at once, and the size
// noted under it is the size the row is appended at.
class Locked {
public:
    explicit Locked(int fd) : fd_(fd)
    {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~Locked() { ::flock(fd_, LOCK_UN); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    int fd_;
};

} // namespace

CsvFile::~CsvFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool CsvFile::open(const QString& path, QString& why)
{
    path_ = path;
    // O_NONBLOCK: a FIFO must not hold the program in open(2) until a reader comes (with no
    // reader, the open fails at once with ENXIO, as it does for a socket). The type is
    // checked on the open descriptor, so what is written is what was checked.
    // Read too where it may be, to see whether the file ends inside a row.
    const QByteArray name = nameToBytes(path);
    const int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(name.constData(), O_RDWR | flags, 0644);
    if (fd_ < 0 && errno == EACCES)
        fd_ = ::open(name.constData(), O_WRONLY | flags, 0644);
    int error = errno;
    struct stat st {};
    Cause cause = Cause::None;
    if (fd_ < 0)
        cause = error == ENXIO ? Cause::NotRegularFile : writeCause(error);
    else if (::fstat(fd_, &st) != 0)
        cause = writeCause(error = errno);
    else if (!S_ISREG(st.st_mode))
        cause = Cause::NotRegularFile;
    // Writes to the file block as writes to a file do.
    else if (::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        cause = writeCause(error = errno);
    // A new file gets its header now, so that a file that cannot take it is said at once.
    else if ((error = append(nullptr, [](const std::function<int()>& step) { return step(); })) != 0)
        cause = writeCause(error);
    if (cause == Cause::None) {
        readHeader();
        return true;
    }
    why = reasonLine(printableName(path), cause, systemText(error));
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return false;
}

void CsvFile::readHeader()
{
    // The first line, as far as a header of any sensible length goes; a file opened for writing
    // alone is taken to have today's.
    QByteArray first(4096, '\0');
    const ssize_t n = ::pread(fd_, first.data(), static_cast<size_t>(first.size()), 0);
    if (n <= 0)
        return;
    first.truncate(n);
    const qsizetype end = first.indexOf('\n');
    if (end < 0)
        return;
    QList<QByteArray> header = first.left(end).trimmed().split(',');
    for (QByteArray& name : header)
        name = name.trimmed();
    // A first line that names none of the row's columns is no header of this program's: the rows
    // go as today's are.
    const QList<QByteArray> known = LoadRow::csvColumns();
    if (std::any_of(header.cbegin(), header.cend(), [&known](const QByteArray& name) { return known.contains(name); }))
        columns_ = header;
}

QList<QByteArray> CsvFile::missing() const
{
    QList<QByteArray> missing;
    for (const QByteArray& column : LoadRow::csvColumns())
        if (!columns_.contains(column))
            missing << column;
    return missing;
}

int CsvFile::append(const LoadRow* row, const Commit& commit)
{
    const Locked lock(fd_);
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return errno;
    QByteArray bytes;
    char last = '\n';
    if (st.st_size == 0) {
        // Emptied since it was opened, or new: its header is today's.
        bytes = LoadRow::csvHeader();
        columns_ = LoadRow::csvColumns();
    } else if (::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        bytes = "\r\n";   // the file ends inside a row that another program or a crash tore
    }
    if (row)
        bytes += row->csv(columns_);
    const int error = commit([&] {
        qsizetype done = 0;
        int error = 0;
        while (done < bytes.size() && error == 0) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n == 0)
                error = ENOSPC;
            else if (errno != EINTR)
                error = errno;
        }
        // All there or not there: what part of it reached the file goes again.
        if (error != 0 && done > 0 && ::ftruncate(fd_, st.st_size) == 0)
            ::fdatasync(fd_);
        return error;
    });
    if (error != 0)
        return error;
    // What write(2) gave the kernel is in the file for every reader, and stays there when this
    // process ends; the flush makes it outlive the machine.
    return bytes.isEmpty() || ::fdatasync(fd_) == 0 ? 0 : errno;
}

} // namespace programador
