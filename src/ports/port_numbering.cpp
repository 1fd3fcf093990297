#include "port_numbering.h"

#include "file_names.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace programador {

namespace {

constexpr int kPorts = kComNumbers;
constexpr int kDialogPorts = 4;   // the port dialog's COM1..COM4, always shown
const QString kSlotLinks = QStringLiteral("/dev/serial/by-path/");

QString variable(int n)
{
    return QString::fromLocal8Bit(qgetenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(n)));
}

} // namespace

PortAssignment PortAssignment::given(const QString& path)
{
    PortAssignment port;
    port.state = State::Given;
    port.path = path;
    return port;
}

PortAssignment PortAssignment::fromVariable(int n)
{
    PortAssignment port;
    port.number = n;
    port.path = variable(n);
    port.state = port.path.isEmpty() ? State::Free : State::Variable;
    return port;
}

QString PortAssignment::named() const
{
    if (number == 0)
        return path;
    const QString com = QStringLiteral("COM%1").arg(number);
    if (state == State::Free)
        return com;
    return com + QLatin1Char(' ') + (state == State::Present ? device.path : path);
}

QString PortAssignment::adapterChange() const
{
    if (formerAdapter.isEmpty())
        return {};
    return QStringLiteral("otro adaptador: antes %1, ahora %2").arg(formerAdapter, device.serialNumber);
}

QString PortAssignment::describe() const
{
    switch (state) {
    case State::Given:
    case State::Variable:
        return path;
    case State::Present: {
        const QString shown = device.description.isEmpty() ? device.path : device.description + QStringLiteral(", ") + device.path;
        return formerAdapter.isEmpty() ? shown : shown + QStringLiteral(" (") + adapterChange() + QLatin1Char(')');
    }
    case State::Absent:
        return QStringLiteral("desconectado");
    case State::Free:
        break;
    }
    return QStringLiteral("libre");
}

PortNumbering::PortNumbering(DeviceList& devices, QString file) : devices_(devices), file_(std::move(file)) {}

QString PortNumbering::defaultFile()
{
    // QStandardPaths follows XDG_CONFIG_HOME, and ~/.config without it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/programador/puertos.ini");
}

void PortNumbering::say(const QString& line)
{
    if (!said_.contains(line))
        std::fprintf(stderr, "programador: %s\n", line.toUtf8().constData());
    said_.insert(line);
}

void PortNumbering::trouble(const QString& why)
{
    inMemory_ = true;
    say(why + QStringLiteral("; los números de puerto quedan en memoria durante esta ejecución"));
}

const SerialDevice* PortNumbering::deviceFor(const QString& name) const
{
    // The name as written: the device's by-id link, its /dev path, or another link to it.
    const QString target = QFileInfo(name).canonicalFilePath();
    for (const SerialDevice& device : present_) {
        if (name == device.stableName || name == device.path || target == device.path
            || (!device.slotName.isEmpty() && name == device.slotName))
            return &device;
    }
    return nullptr;
}

QString PortNumbering::nameOf(const SerialDevice& device) const
{
    return bySlot_ && !device.slotName.isEmpty() ? device.slotName : device.stableName;
}

void PortNumbering::read()
{
    // Read afresh each time: a person may have edited it since.
    if (inMemory_)
        return;
    const QString name = printableName(file_.path());
    Cause cause = Cause::None;
    if (!file_.read(cause))
        return trouble(reasonLine(name, cause));
    numbers_ = file_.values(NumberingFile::Numbers);
    seen_.clear();
    adapters_.clear();
    for (auto [section, kept] : {std::pair{NumberingFile::Seen, &seen_}, std::pair{NumberingFile::Adapters, &adapters_}}) {
        const QMap<int, QString> values = file_.values(section);
        for (auto [n, value] : values.asKeyValueRange()) {
            if (numbers_.contains(n))
                (*kept)[n] = value;
        }
    }
    const QString by = file_.by();
    bySlot_ = by == QLatin1String("ranura");
    if (!bySlot_ && !by.isEmpty() && by != QLatin1String("adaptador"))
        say(QStringLiteral("%1: se ignora por=%2: vale adaptador o ranura; los números siguen al adaptador").arg(name, by));
    for (const QString& key : file_.ignored())
        say(QStringLiteral("%1: se ignora %2: solo cuentan COM1 a COM16, una vez cada uno").arg(name, key));
    // What it says is used, but a file with lines that are not INI is a person's, half
    // written: it is not rewritten over them.
    if (file_.garbled())
        trouble(name + QStringLiteral(": tiene líneas que no son \"[sección]\", \"COMn=dispositivo\" ni comentarios; "
                                      "se deja como está"));
}

void PortNumbering::write()
{
    if (inMemory_)
        return;
    Cause cause = Cause::None;
    QString detail;
    if (!file_.write({numbers_, seen_, adapters_}, cause, detail))
        trouble(reasonLine(printableName(file_.path()), cause, detail));
}

void PortNumbering::refresh()
{
    read();
    const QMap<int, QString> numbersBefore = numbers_, seenBefore = seen_, adaptersBefore = adapters_;
    present_ = devices_.present();

    // The names of the devices present as "por" wants them now: by slot, the slot's; by
    // adapter, the adapter's instead of a slot's. A name a person wrote by hand is otherwise kept.
    // A number the device's new name already has is the one it keeps (the slot's, by slot):
    // the other goes free.
    for (auto it = numbers_.begin(); it != numbers_.end();) {
        const SerialDevice* device = deviceFor(it.value());
        if (!device || it.value() == nameOf(*device) || !(bySlot_ || it.value().startsWith(kSlotLinks))) {
            ++it;
        } else if (std::find(numbers_.cbegin(), numbers_.cend(), nameOf(*device)) != numbers_.cend()) {
            seen_.remove(it.key()), adapters_.remove(it.key());
            it = numbers_.erase(it);
        } else {
            it.value() = nameOf(*device);
            ++it;
        }
    }

    // When each absent device was last seen: the moment its absence was first noticed.
    const QString now = this->now().toString(Qt::ISODate);
    for (auto it = numbers_.cbegin(); it != numbers_.cend(); ++it) {
        if (deviceFor(it.value()))
            seen_.remove(it.key());
        else if (!seen_.contains(it.key()))
            seen_[it.key()] = now;
    }

    // The devices that have no number yet: built-in ports first, to their own numbers.
    QList<SerialDevice> newcomers;
    for (const SerialDevice& device : present_) {
        bool numbered = false;
        for (const QString& name : std::as_const(numbers_))
            numbered = numbered || deviceFor(name) == &device;
        if (!numbered)
            newcomers.append(device);
    }
    std::stable_sort(newcomers.begin(), newcomers.end(),
                     [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    unnumbered_.clear();
    for (int pass = 0; pass < 2; ++pass) {
        for (const SerialDevice& device : std::as_const(newcomers)) {
            const QString kernel = QFileInfo(device.path).fileName();
            const int own = kernel.startsWith(QLatin1String("ttyS")) ? kernel.mid(4).toInt() + 1 : 0;
            if (pass == 0) {
                if (own >= 1 && own <= kPorts && !numbers_.contains(own))
                    numbers_[own] = nameOf(device);
                continue;
            }
            if (std::find(numbers_.cbegin(), numbers_.cend(), nameOf(device)) != numbers_.cend())
                continue;   // numbered in the first pass
            int number = 0;
            for (int n = kPorts; n >= 1; --n)
                number = numbers_.contains(n) ? number : n;
            // All sixteen taken: the number of the absent device seen longest ago (the lower
            // number of two seen at the same time; a time that does not read as one counts as
            // the oldest).
            if (number == 0 && !seen_.isEmpty()) {
                const auto when = [](const QString& time) {
                    const QDateTime read = QDateTime::fromString(time, Qt::ISODate);
                    return read.isValid() ? read.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
                };
                number = std::min_element(seen_.cbegin(), seen_.cend(), [&](const QString& a, const QString& b) {
                             return when(a) < when(b);
                         }).key();
            }
            if (number == 0) {
                unnumbered_.append(device);
                continue;
            }
            numbers_[number] = nameOf(device);
            seen_.remove(number);
            adapters_.remove(number);
            formers_.remove(number);
        }
    }
    noteAdapters();
    if (numbers_ != numbersBefore || seen_ != seenBefore || adapters_ != adaptersBefore)
        write();
}

void PortNumbering::noteAdapters()
{
    if (!bySlot_)
        return;
    for (auto [n, name] : numbers_.asKeyValueRange()) {
        const SerialDevice* device = deviceFor(name);
        if (!device || device->slotName.isEmpty() || name != device->slotName || device->serialNumber.isEmpty())
            continue;   // absent, or not numbered by its slot, or an adapter with no serial number
        const QString before = adapters_.value(n);
        if (!before.isEmpty() && before != device->serialNumber)
            formers_[n] = before;
        adapters_[n] = device->serialNumber;
    }
}

PortAssignment PortNumbering::assignment(int n) const
{
    PortAssignment assignment = PortAssignment::fromVariable(n);
    if (assignment.state == PortAssignment::State::Variable)
        return assignment;
    if (numbers_.contains(n)) {
        assignment.path = numbers_[n];
        const SerialDevice* device = deviceFor(assignment.path);
        assignment.state = device ? PortAssignment::State::Present : PortAssignment::State::Absent;
        if (device) {
            assignment.device = *device;
            assignment.formerAdapter = formers_.value(n);
        }
    }
    return assignment;
}

PortAssignment PortNumbering::resolve(int n)
{
    if (variable(n).isEmpty())
        refresh();
    return assignment(n);
}

int PortNumbering::shown() const
{
    int highest = kDialogPorts;
    for (int n = kDialogPorts + 1; n <= kPorts; ++n)
        highest = assignment(n).state == PortAssignment::State::Free ? highest : n;
    return highest;
}

QStringList PortNumbering::listing() const
{
    QStringList lines;
    for (int n = 1, last = shown(); n <= last; ++n) {
        const PortAssignment port = assignment(n);
        QStringList parts{QStringLiteral("COM%1").arg(n)};
        switch (port.state) {
        case PortAssignment::State::Given:
        case PortAssignment::State::Variable:
            parts << port.path << QStringLiteral("(PROGRAMADOR_COM%1)").arg(n);
            break;
        case PortAssignment::State::Present:
            parts << port.path << port.device.description;
            if (port.device.path != port.path)
                parts << port.device.path;
            parts << port.adapterChange();
            break;
        case PortAssignment::State::Absent:
            parts << port.path << QStringLiteral("desconectado");
            break;
        case PortAssignment::State::Free:
            parts << QStringLiteral("libre");
            break;
        }
        parts.removeAll(QString());
        lines << parts.join(QStringLiteral("  "));
    }
    for (const SerialDevice& device : unnumbered_) {
        QStringList parts{QStringLiteral("sin número"), device.stableName, device.description};
        if (device.path != device.stableName)
            parts << device.path;
        parts.removeAll(QString());
        lines << parts.join(QStringLiteral("  "));
    }
    return lines;
}

} // namespace programador
