// The readers of what a person or another program writes for us, fuzzed: an order file,
// registro.ini, puertos.ini, a row of the spool and a destination URI. The input's first byte
// picks the reader (O, R, P, S, D, or any other byte by its value), the rest is what it reads. Whatever the bytes, a reader gives a clear
// refusal or a value it can use: never a crash, a hang, or a value read by half. What a reader
// keeps and writes back it reads back the same.
// Built with clang and libFuzzer by "make fuzz"; in the test build it replays its corpus and
// a fixed series of generated inputs.
#include "destination.h"
#include "fuzz_replay.h"
#include "load_row.h"
#include "numbering_file.h"
#include "order_file.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

using namespace programador;
using programador::testing::check;

namespace {

// A text a person can read in one line: no control character.
bool oneLine(const QString& text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// Where the readers that take a path find their file.
const QString& scratch()
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("archivo.ini"));
    return path;
}

void put(const QByteArray& bytes)
{
    QFile file(scratch());
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(), "the scratch file");
}

void orderFile(const QByteArray& bytes)
{
    const Order before{.name = QStringLiteral("antes"), .image = QStringLiteral("/antes.stb"), .sha256 = QByteArray(64, 'a')};
    Order order = before;
    QString refusal;
    if (!parseOrder(bytes, QStringLiteral("orden.ini"), QStringLiteral("/fabrica"), order, refusal)) {
        check(order == before, "a refused order file changed the order");
        check(refusal.startsWith(QLatin1String("orden.ini")) && refusal.size() > 20 && oneLine(refusal),
              "an order file refused without its reason");
        return;
    }
    check(!order.name.trimmed().isEmpty() && oneLine(order.name), "an order without a name to show");
    check(QDir::isAbsolutePath(order.image) && QDir::cleanPath(order.image) == order.image, "an order's image not a clean path");
    check(order.sha256.size() == 64 && std::all_of(order.sha256.cbegin(), order.sha256.cend(), [](char c) {
              return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
          }), "an order's SHA-256 not 64 hex digits");
    check(order.count >= 0 && order.count <= 1000000 && order.failuresInRow >= 1 && order.failuresInRow <= 100,
          "an order's count or failures out of range");
    for (qsizetype i = 0; i < order.ports.size(); ++i)
        check(order.ports[i] >= 1 && order.ports[i] <= kComNumbers && order.ports.indexOf(order.ports[i]) == i,
              "an order's ports out of range or twice");
    Order again;
    check(parseOrder(orderText(order), QStringLiteral("orden.ini"), QStringLiteral("/otra"), again, refusal) && again == order,
          "the order as \"Guardar orden...\" writes it reads back otherwise");
}

void recordSettings(const QByteArray& bytes)
{
    put(bytes);
    QString why;
    const RecordSettings settings = RecordSettings::read(scratch(), why);
    if (!why.isEmpty()) {
        check(settings == RecordSettings{} && oneLine(why), "registro.ini refused, and settings kept, or the reason unclear");
        return;
    }
    check(oneLine(settings.destination) && oneLine(settings.station), "registro.ini read into a control character");
    check(!settings.destination.contains(QChar::ReplacementCharacter) && !settings.station.contains(QChar::ReplacementCharacter),
          "registro.ini's bytes read as something else");
}

void numberingFile(const QByteArray& bytes)
{
    put(bytes);
    NumberingFile file(scratch());
    Cause cause = Cause::None;
    check(file.read(cause), "puertos.ini, a regular file, not read");
    NumberingFile::Values values;
    for (int s = 0; s < NumberingFile::Other; ++s) {
        values[s] = file.values(NumberingFile::Section(s));
        for (auto it = values[s].cbegin(); it != values[s].cend(); ++it)
            check(it.key() >= 1 && it.key() <= kComNumbers && !it.value().isEmpty(), "puertos.ini gave a number out of range");
    }
    QString detail;
    check(file.write(values, cause, detail), "puertos.ini not written back");
    QFile written(scratch());
    check(written.open(QIODevice::ReadOnly), "puertos.ini written and gone");
    const QByteArray once = written.readAll();
    NumberingFile again(scratch());
    check(again.read(cause) && again.by() == file.by(), "puertos.ini read back otherwise");
    for (int s = 0; s < NumberingFile::Other; ++s)
        check(again.values(NumberingFile::Section(s)) == values[s], "puertos.ini's numbers read back otherwise");
    check(again.write(values, cause, detail), "puertos.ini not written back twice");
    written.close();
    check(written.open(QIODevice::ReadOnly) && written.readAll() == once, "puertos.ini written twice, two files");
}

void spoolRow(const QByteArray& bytes)
{
    const std::optional<LoadRow> row = LoadRow::fromJson(bytes);
    if (!row)
        return;   // set aside by the spool, and said
    check(!row->id.isNull() && row->start.isValid(), "a spool row without its identity or start");
    const std::optional<LoadRow> again = LoadRow::fromJson(row->json());
    check(again && again->json() == row->json(), "a spool row written back reads otherwise");
}

void destination(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QString why;
    const std::optional<Destination> d = Destination::parse(text, why);
    if (!d) {
        check(!why.isEmpty(), "a destination refused without its reason");
        return;
    }
    if (!d->database) {
        check(d->keywords.isEmpty() && d->server.isEmpty(), "a file named as a database");
        return;
    }
    check(d->server.startsWith(QLatin1String("postgresql://")) && !d->keywords.isEmpty(), "a database with no server");
    for (const auto& [key, value] : d->keywords)
        check(!key.isEmpty() && !value.isEmpty() && !value.contains(QChar(0)), "a database's keyword without its value");
    QString whyAgain;
    const std::optional<Destination> again = Destination::parse(d->text, whyAgain);
    check(again && again->server == d->server && again->keywords == d->keywords, "a destination read twice, two servers");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    constexpr char kReaders[] = "ORPSD";
    const char* named = std::strchr(kReaders, data[0]);
    switch (data[0] != 0 && named ? named - kReaders : data[0] % 5) {
    case 0: orderFile(bytes); break;
    case 1: recordSettings(bytes); break;
    case 2: numberingFile(bytes); break;
    case 3: spoolRow(bytes); break;
    default: destination(bytes); break;
    }
    return 0;
}

#ifdef FUZZ_REPLAY
int main(int argc, char** argv)
{
    return programador::testing::replay(argc, argv, 20261211, 200);
}
#endif
