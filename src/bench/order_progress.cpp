#include "order_progress.h"

#include "file_names.h"
#include "reasons.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

namespace programador {

namespace {

constexpr qint64 kHourSeconds = 3600;

// A count as the file keeps it: digits only; -1 for anything else.
int count(const QByteArray& text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; }) ? n : -1;
}

} // namespace

OrderProgress::OrderProgress(Order order, QString folder) : order_(std::move(order)), folder_(std::move(folder)) {}

QString OrderProgress::file() const
{
    // One file for each order and image: the same order released again with another image
    // starts its count afresh.
    const QByteArray key = QCryptographicHash::hash(order_.name.toUtf8() + '\n' + order_.sha256, QCryptographicHash::Sha256);
    return folder_ + QStringLiteral("/") + QString::fromLatin1(key.toHex().left(16)) + QStringLiteral(".ini");
}

bool OrderProgress::read(QString& why)
{
    QByteArray bytes;
    const Cause cause = readRegularFile(file(), bytes);
    if (cause == Cause::NotFound)
        return true;
    if (cause != Cause::None) {
        why = reasonLine(printableName(file()), cause);
        return false;
    }
    int ready = -1, failed = -1;
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals).trimmed(), value = line.mid(equals + 1).trimmed();
        if (equals > 0 && key == "listas")
            ready = count(value);
        else if (equals > 0 && key == "con_error")
            failed = count(value);
    }
    if (ready < 0 || failed < 0) {
        why = printableName(file()) + QStringLiteral(": no es la cuenta de una orden; la orden no sigue su cuenta");
        return false;
    }
    ready_ = ready;
    failed_ = failed;
    return true;
}

OrderProgress::Change OrderProgress::add(int row, Verdict verdict, const QString& cause, const QDateTime& at)
{
    if (verdict == Verdict::Interrupted)
        return Change::None;
    const bool wasComplete = complete();
    Change change = Change::None;
    if (verdict == Verdict::Ready) {
        ++ready_;
        failures_.remove(row);
        change = complete() && !wasComplete ? Change::Completed : Change::None;
    } else {
        ++failed_;
        QStringList& causes = failures_[row];
        causes << cause;
        change = causes.size() == order_.failuresInRow ? Change::RowStopped : Change::None;
    }
    if (!first_.isValid())
        first_ = at;
    ended_ << at;
    ended_.removeIf([&at](const QDateTime& t) { return t.secsTo(at) >= kHourSeconds; });
    keep();
    return change;
}

bool OrderProgress::keep()
{
    const QByteArray bytes = "; what programador has counted of the order " + order_.name.toUtf8() + " with the image "
        + order_.sha256.left(12) + "; reopening the order goes on from here\n[cuenta]\nlistas=" + QByteArray::number(ready_)
        + "\ncon_error=" + QByteArray::number(failed_) + '\n';
    // Written beside the file and renamed into place, so a failure leaves the last count whole.
    QDir().mkpath(folder_);
    QSaveFile out(file());
    errno = 0;
    const bool written = out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush() && out.commit();
    const int error = errno;
    trouble_ = written ? QString() : reasonLine(printableName(file()), writeCause(error), systemText(error));
    return written;
}

int OrderProgress::perHour(const QDateTime& now) const
{
    const auto boards = std::count_if(ended_.cbegin(), ended_.cend(), [&now](const QDateTime& t) { return t.secsTo(now) < kHourSeconds; });
    const qint64 span = first_.isValid() ? first_.secsTo(now) : 0;
    if (span >= kHourSeconds || span < 60)
        return static_cast<int>(boards);
    return qRound(static_cast<double>(boards) * kHourSeconds / static_cast<double>(span));
}

QString OrderProgress::figures(const QDateTime& now) const
{
    QStringList parts{counted(ready_, QStringLiteral("lista"), QStringLiteral("listas")),
                      QStringLiteral("%1 con error").arg(failed_)};
    if (ready_ + failed_ > 0) {
        const double yield = 100.0 * ready_ / (ready_ + failed_);
        parts << QLocale(QLocale::Spanish).toString(yield, 'f', 1) + QStringLiteral(" %");
    }
    if (!ended_.isEmpty())
        parts << QStringLiteral("%1 por hora").arg(perHour(now));
    if (complete()) {
        parts << QStringLiteral("Orden completa");
        if (beyond() > 0)
            parts << counted(beyond(), QStringLiteral("más de la cantidad"), QStringLiteral("más de la cantidad"));
    } else if (order_.count > 0) {
        parts << QStringLiteral("faltan %1").arg(left());
    }
    return parts.join(QStringLiteral(" · "));
}

} // namespace programador
