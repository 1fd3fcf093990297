// The settings file, one row per case: the directory before -> the port read or the save's
// result, the message, and the directory after, byte for byte. Then the port numbering:
// the devices present and the numbering file before -> what each COM number stands for,
// the file after, and what standard error said. Then the order file a line engineer writes:
// its bytes -> the order read, or the refusal that names its line.
#include "files.h"
#include "order_file.h"
#include "order_progress.h"
#include "port_numbering.h"
#include "port_settings.h"
#include "recording_messages.h"
#include "system_devices.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>


using namespace programador;
using Files = QMap<QString, QByteArray>;   // name -> bytes

namespace {

const QString kIni = QStringLiteral("PROGRAMADOR.INI");

struct Row {
    Files before;
    int save = 0;             // the port saved; 0: start-up reads the file
    QString obstacle = {};    // "read-only": the directory takes no new name; "full": no file may grow
    int port = 0;             // what start-up read, or 1 when the save worked
    bool message = false;     // "Error de archivo", error icon
    Files after = {};         // the same as before when empty
};

Files snapshot(const QString& path)
{
    Files files;
    for (const QFileInfo& info : QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        QFile file(info.filePath());
        files[info.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
    }
    return files;
}

// Reads or saves; a full disk is a file-size limit of zero around the step.
std::pair<int, bool> perform(const Row& row, const QString& dir)
{
    rlimit old{}, limit{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    limit = {row.obstacle == "full" ? 0 : old.rlim_cur, old.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    testing::RecordingMessages messages;
    PortSettings settings(messages, dir);
    if (row.save == 0)
        settings.lee_puerto();
    const int result = row.save == 0 ? settings.puerto : settings.guarda_puerto(std::int16_t(row.save)) ? 1 : 0;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return {result, messages.texts == QStringList{"Error de archivo"} && messages.shown[0].icon == MessageIcon::Error};
}

struct Numbered {
    QList<SerialDevice> present;
    QByteArray before = {};       // puertos.ini before; none when empty
    QString obstacle = {};        // "unreadable": the file; "read-only": its folder; "fifo": a FIFO in its place
    QByteArray variable = {};     // PROGRAMADOR_COM1
    QString listing;              // the lines of --list, joined by " | "
    QByteArray after = "=";       // the file after; "=": as it was
    QString said = {};            // standard error
};

struct OrderRow {
    QByteArray text;         // orden.ini, in a folder of its own (DIR)
    QString refusal = {};    // with DIR for the folder; empty: read as `order`
    Order order = {};
};

const QByteArray kSha = "8f434346648f6b96df89dda901c5176b10a6d83961dd3c1ac88b59b2dc327aa4";

// Loads of an order, a minute apart from 08:00 unless "@minute" says: "0+" row 0 ready, "1-" row
// 1 failed, "0x" row 0 interrupted, "r1" row 1 started again. What was kept before: `kept`.
struct ProgressRow {
    int count = 0, failuresInRow = 3;
    QByteArray kept;                 // the order's file before; empty: none
    QStringList steps;
    QString figures;                 // at the last step; for a refused file, the reason (FILE: its path)
    QList<int> stopped = {};
    QStringList changes = {};        // "step: stopped" or "step: complete", for the steps that change something
};

// The three fields every order has, then `more`.
QByteArray orderOf(const QByteArray& more)
{
    return "[orden]\nnombre=OT-118\nimagen=/srv/placa.stb\nsha256=" + kSha + "\n" + more;
}

struct Devices : DeviceList {
    QList<SerialDevice> present() override { return devices; }
    QList<SerialDevice> devices;
};

// An FT232R adapter at /dev/ttyUSBk, with its serial number in its by-id name.
SerialDevice ftdi(int k, const QString& serial)
{
    return {QStringLiteral("/dev/ttyUSB%1").arg(k), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0",
            "FT232R USB UART", "FTDI", serial};
}

// The device in USB port k of the fixture.
SerialDevice inSlot(SerialDevice device, int k)
{
    device.slotName = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(k);
    return device;
}

// Standard error while f runs.
template <typename F>
QByteArray stderrOf(F f)
{
    QTemporaryFile said;
    if (!said.open())
        return "<no file>";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(said.handle(), 2);
    f();
    std::fflush(stderr);
    ::dup2(saved, 2), ::close(saved);
    said.seek(0);
    return said.readAll();
}

} // namespace

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(Numbered)
Q_DECLARE_METATYPE(OrderRow)
Q_DECLARE_METATYPE(ProgressRow)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    // Root without the capabilities that override file permissions, like any other user:
    // the permission bits hold, so a read-only folder is one here too.
    void initTestCase()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[2] = {};
        QVERIFY(::syscall(SYS_capset, &header, none) == 0);
    }

    void file_data()
    {
        QTest::addColumn<Row>("row");
        const auto row = [](const char* name, Row r) { QTest::newRow(name) << r; };
        const QByteArray one("1\r\n");
        // Start-up: only the first byte counts; a file that cannot be read is made with 1.
        row("missing", {.before = {}, .port = 1, .after = {{kIni, one}}});
        row("empty", {.before = {{kIni, ""}}, .port = 1, .after = {{kIni, one}}});
        row("3 CR LF", {.before = {{kIni, "3\r\n"}}, .port = 3});
        row("another letter case", {.before = {{"programador.ini", "3\r\n"}}, .port = 3});
        // Saving: the digit, CR, LF replace whatever the one settings file held.
        row("save 2", {.before = {{kIni, one}}, .save = 2, .port = 1, .after = {{kIni, "2\r\n"}}});
        row("save in another letter case", {.before = {{"programador.ini", one}}, .save = 3, .port = 1, .after = {{"programador.ini", "3\r\n"}}});
        // A save that fails says so and keeps the old file as it was.
        row("save on a full disk", {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "full", .message = true});
        // A folder that takes no new file, where the file itself may be written: in place.
        row("save in place in a read-only directory", {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "read-only", .port = 1, .after = {{kIni, "2\r\n"}}});
    }

    void file()
    {
        QFETCH(Row, row);
        QTemporaryDir dir;
        for (auto [name, bytes] : row.before.asKeyValueRange())
            QVERIFY(testing::writeFile(dir.filePath(name), bytes));
        ::chmod(QFile::encodeName(dir.path()), row.obstacle == "read-only" ? 0555 : 0755);

        const auto [result, shown] = perform(row, dir.path());
        ::chmod(QFile::encodeName(dir.path()), 0755);

        QCOMPARE(result, row.port);
        QCOMPARE(shown, row.message);
        QCOMPARE(snapshot(dir.path()), row.after.isEmpty() ? row.before : row.after);
    }

    void numbering_data()
    {
        QTest::addColumn<Numbered>("row");
        const auto row = [](const char* name, Numbered r) { QTest::newRow(name) << r; };
        const SerialDevice uart{"/dev/ttyS1", "/dev/ttyS1", {}, {}, {}}, x2{"/dev/x2", "/dev/x2", {}, {}, {}};
        const QString a = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A-if00-port0", e = QString(a).replace("_A-", "_E-");
        const QString com1a = "COM1  " + a + "  FT232R USB UART  /dev/ttyUSB0", free = " | COM3  libre | COM4  libre";
        const QByteArray inA = "[puertos]\nCOM1=" + a.toUtf8() + "\n", four = inA + "COM2=/dev/x2\nCOM3=/dev/x3\nCOM4=/dev/x4\n";
        // COM1 to COM16 all given: COM4 to COM15 absent, or (present16) all here.
        QByteArray sixteen = four, seenMiddle;
        QString middle;
        QList<SerialDevice> present16{ftdi(0, "A"), ftdi(1, "E"), x2, {"/dev/x3", "/dev/x3", {}, {}, {}}};
        for (int n = 5; n <= 16; ++n)
            sixteen += QByteArray("COM%1=/dev/x%1\n").replace("%1", QByteArray::number(n));
        for (int n = 4; n <= 15; ++n) {
            middle += QString("COM%1  /dev/x%1  desconectado | ").arg(n);
            seenMiddle += QByteArray("COM%1=2026-12-08T10:00:00Z\n").replace("%1", QByteArray::number(n));
            present16 << SerialDevice{QString("/dev/x%1").arg(n), QString("/dev/x%1").arg(n), {}, {}, {}};
        }
        present16 << SerialDevice{"/dev/x16", "/dev/x16", {}, {}, {}};
        const QString slot3 = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0";
        const QString kept = "los números de puerto quedan en memoria durante esta ejecución\n", ignored = " en [puertos]: solo cuentan COM1 a COM16, una vez cada uno\n";
        // A new device takes the lowest free number, a built-in /dev/ttySk COM(k+1).
        row("a built-in UART and an adapter", {{ftdi(0, "A"), uart}, {}, {}, {}, com1a + " | COM2  /dev/ttyS1" + free, inA + "COM2=/dev/ttyS1\n"});
        // A number belongs to the device, by its by-id name, or by its path where it has none.
        row("the adapter back on another socket", {{ftdi(3, "A")}, "[puertos]\nCOM3=" + a.toUtf8() + "\n\n[vistos]\nCOM3=2026-01-01T00:00:00Z\n", {}, {},
            "COM1  libre | COM2  libre | COM3  " + a + "  FT232R USB UART  /dev/ttyUSB3 | COM4  libre", "[puertos]\nCOM3=" + a.toUtf8() + "\n\n[vistos]\n"});
        row("a hand-written path, rewritten only on a change", {{ftdi(0, "A")}, "; the bench's adapter\n[puertos]\nCOM3=/dev/ttyUSB0\n", {}, {},
            "COM1  libre | COM2  libre | COM3  /dev/ttyUSB0  FT232R USB UART | COM4  libre"});
        // Kept while absent, with the time it was last seen; a new device takes the next number
        // up to COM16, then the number of the one seen longest ago, or none while all are here.
        row("a fifth device", {{ftdi(0, "E"), x2}, four, {}, {},
            "COM1  " + a + "  desconectado | COM2  /dev/x2 | COM3  /dev/x3  desconectado | COM4  /dev/x4  desconectado | COM5  " + e + "  FT232R USB UART  /dev/ttyUSB0",
            four + "COM5=" + e.toUtf8() + "\n\n[vistos]\nCOM1=2026-12-08T10:00:00Z\nCOM3=2026-12-08T10:00:00Z\nCOM4=2026-12-08T10:00:00Z\n"});
        row("a seventeenth device", {{ftdi(0, "E"), x2}, sixteen + "\n[vistos]\nCOM3=2026-01-01T00:00:00Z\nCOM16=2025-06-01T00:00:00Z\n", {}, {},
            "COM1  " + a + "  desconectado | COM2  /dev/x2 | COM3  /dev/x3  desconectado | " + middle + "COM16  " + e + "  FT232R USB UART  /dev/ttyUSB0",
            QByteArray(sixteen).replace("/dev/x16", e.toUtf8()) + "\n[vistos]\nCOM3=2026-01-01T00:00:00Z\nCOM1=2026-12-08T10:00:00Z\n" + seenMiddle});
        row("a seventeenth device while all sixteen are here", {present16, sixteen, {}, {},
            com1a + " | COM2  /dev/x2 | COM3  /dev/x3 | " + QString(middle).replace("  desconectado", "") + "COM16  /dev/x16 | sin número  " + e + "  FT232R USB UART  /dev/ttyUSB1"});
        // By slot: a number stays with the USB port, and another adapter in it is said.
        row("by slot, a new adapter", {{inSlot(ftdi(0, "A"), 3)}, "[puertos]\npor=ranura\n", {}, {}, "COM1  " + slot3 + "  FT232R USB UART  /dev/ttyUSB0 | COM2  libre" + free,
            "[puertos]\npor=ranura\nCOM1=" + slot3.toUtf8() + "\n\n[adaptadores]\nCOM1=A\n"});
        row("by slot, another adapter in the slot", {{inSlot(ftdi(0, "E"), 3)}, "[puertos]\npor=Ranura\nCOM3=" + slot3.toUtf8() + "\n[adaptadores]\nCOM3=A\n", {}, {},
            "COM1  libre | COM2  libre | COM3  " + slot3 + "  FT232R USB UART  /dev/ttyUSB0  otro adaptador: antes A, ahora E | COM4  libre",
            "[puertos]\npor=Ranura\nCOM3=" + slot3.toUtf8() + "\n[adaptadores]\nCOM3=E\n"});
        row("by adapter, the same swap takes a new number", {{inSlot(ftdi(0, "E"), 3)}, "[puertos]\nCOM3=" + a.toUtf8() + "\n", {}, {},
            "COM1  " + e + "  FT232R USB UART  /dev/ttyUSB0 | COM2  libre | COM3  " + a + "  desconectado | COM4  libre",
            "[puertos]\nCOM3=" + a.toUtf8() + "\nCOM1=" + e.toUtf8() + "\n\n[vistos]\nCOM3=2026-12-08T10:00:00Z\n"});
        row("switched to by slot, the adapter's number goes with its slot", {{inSlot(ftdi(0, "A"), 3)}, "[puertos]\npor=ranura\nCOM2=" + a.toUtf8() + "\n", {}, {},
            "COM1  libre | COM2  " + slot3 + "  FT232R USB UART  /dev/ttyUSB0 | COM3  libre | COM4  libre",
            "[puertos]\npor=ranura\nCOM2=" + slot3.toUtf8() + "\n\n[adaptadores]\nCOM2=A\n"});
        row("switched back to by adapter", {{inSlot(ftdi(0, "A"), 3)}, "[puertos]\nCOM2=" + slot3.toUtf8() + "\n[adaptadores]\nCOM2=A\n", {}, {},
            "COM1  libre | COM2  " + a + "  FT232R USB UART  /dev/ttyUSB0 | COM3  libre | COM4  libre",
            "[puertos]\nCOM2=" + a.toUtf8() + "\n[adaptadores]\nCOM2=A\n"});
        row("por neither way", {{ftdi(0, "A")}, "[puertos]\npor=usb\n", {}, {}, com1a + " | COM2  libre" + free, "[puertos]\npor=usb\nCOM1=" + a.toUtf8() + "\n",
            "programador: FILE: se ignora por=usb: vale adaptador o ranura; los números siguen al adaptador\n"});
        // A person's lines stay in their order: comments, other keys and sections, a key or section
        // name in another letter case; a new key goes at the end of its section.
        row("a person's lines kept across a rewrite", {{ftdi(0, "E")}, "; el banco\n[puertos]\nCOM1=" + a.toUtf8() + " ; el del banco\n\n[otra]\nclave=valor\n", {}, {},
            "COM1  " + a + "  desconectado | COM2  " + e + "  FT232R USB UART  /dev/ttyUSB0" + free,
            "; el banco\n[puertos]\nCOM1=" + a.toUtf8() + " ; el del banco\nCOM2=" + e.toUtf8() + "\n\n[otra]\nclave=valor\n\n[vistos]\nCOM1=2026-12-08T10:00:00Z\n"});
        row("com4 in another letter case", {{ftdi(0, "A"), ftdi(1, "E")}, "[Puertos]\ncom4=" + a.toUtf8() + "\n", {}, {},
            "COM1  " + e + "  FT232R USB UART  /dev/ttyUSB1 | COM2  libre | COM3  libre | COM4  " + a + "  FT232R USB UART  /dev/ttyUSB0", "[Puertos]\ncom4=" + a.toUtf8() + "\nCOM1=" + e.toUtf8() + "\n"});
        row("COM17, COM05 and a repeated COM1 kept and said to be ignored", {{ftdi(0, "A"), x2}, "[puertos]\nCOM17=/dev/x5\nCOM05=/dev/x5\nCOM1=" + a.toUtf8() + "\ncom1=/dev/x1\n", {}, {}, com1a + " | COM2  /dev/x2" + free,
            "[puertos]\nCOM17=/dev/x5\nCOM05=/dev/x5\nCOM1=" + a.toUtf8() + "\ncom1=/dev/x1\nCOM2=/dev/x2\n",
            "programador: FILE: se ignora \"COM17\"" + ignored + "programador: FILE: se ignora \"COM05\"" + ignored + "programador: FILE: se ignora \"com1\"" + ignored});
        row("names in quotes, as QSettings writes them", {{{"/dev/x;2", "/dev/x;2", {}, {}, {}}}, "[puertos]\nCOM3=\"/dev/x 3;\\\\\"\n", {}, {},
            "COM1  /dev/x;2 | COM2  libre | COM3  /dev/x 3;\\  desconectado | COM4  libre", "[puertos]\nCOM3=\"/dev/x 3;\\\\\"\nCOM1=\"/dev/x;2\"\n\n[vistos]\nCOM3=2026-12-08T10:00:00Z\n"});
        // A file that cannot be used is left as it is; the numbering lives in memory.
        row("garbage lines", {{ftdi(0, "A")}, "esto no\n[puertos]\nCOM2=/dev/ttyS1\n", {}, {}, com1a + " | COM2  /dev/ttyS1  desconectado" + free, "=",
            "programador: FILE: tiene líneas que no son \"[sección]\", \"COMn=dispositivo\" ni comentarios; se deja como está; " + kept});
        row("unreadable", {{ftdi(0, "A")}, "[puertos]\nCOM2=/dev/ttyS1\n", "unreadable", {}, com1a + " | COM2  libre" + free, "=", "programador: FILE: sin permiso de lectura; " + kept});
        row("a FIFO in its place", {{ftdi(0, "A")}, {}, "fifo", {}, com1a + " | COM2  libre" + free, "<not a file>", "programador: FILE: no es un archivo común; " + kept});
        row("read-only folder", {{ftdi(0, "A")}, {}, "read-only", {}, com1a + " | COM2  libre" + free, "", "programador: FILE: sin permiso de escritura; " + kept});
        // Nothing changed: the file is not written again (it could not be, here).
        row("nothing to change, in a read-only folder", {{ftdi(0, "A")}, inA, "read-only", {}, com1a + " | COM2  libre" + free});
        row("the variable over the file", {{ftdi(0, "A")}, inA, {}, "/dev/pts/9", "COM1  /dev/pts/9  (PROGRAMADOR_COM1) | COM2  libre" + free});
    }

    void numbering()
    {
        QFETCH(Numbered, row);
        QTemporaryDir dir;
        const QString file = dir.filePath("programador/puertos.ini");
        if (!row.before.isEmpty() || !row.obstacle.isEmpty())   // else the folder is made with the file
            QDir(dir.path()).mkdir("programador");
        QVERIFY(row.before.isEmpty() || testing::writeFile(file, row.before));
        QVERIFY(row.obstacle != "fifo" || ::mkfifo(QFile::encodeName(file), 0644) == 0);
        ::chmod(QFile::encodeName(file), row.obstacle == "unreadable" ? 0 : 0644);
        ::chmod(QFile::encodeName(dir.filePath("programador")), row.obstacle == "read-only" ? 0555 : 0755);
        qputenv("PROGRAMADOR_COM1", row.variable);
        Devices devices;
        devices.devices = row.present;
        PortNumbering numbering(devices, file);
        numbering.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC); };
        const QByteArray said = stderrOf([&] { numbering.refresh(), numbering.refresh(); });   // said once
        ::chmod(QFile::encodeName(dir.filePath("programador")), 0755);
        ::chmod(QFile::encodeName(file), 0644);

        QCOMPARE(numbering.listing().join(" | "), row.listing);
        const QByteArray other = QFileInfo::exists(file) ? "<not a file>" : "";   // a FIFO is not opened: it would wait
        QCOMPARE(QFileInfo(file).isFile() ? testing::fileBytes(file) : other, row.after == "=" ? row.before : row.after);
        QCOMPARE(QString::fromUtf8(said).replace(file, "FILE"), row.said);
    }

    void orderFile_data()
    {
        QTest::addColumn<OrderRow>("row");
        const auto row = [](const char* name, OrderRow r) { QTest::newRow(name) << r; };
        const Order least{"OT-118", "/srv/placa.stb", kSha};
        const QString fields = "(nombre, imagen, sha256, cantidad, serie, puertos, fallas_seguidas)";
        row("every field, as an editor on Windows writes them",
            {"\xEF\xBB\xBF; released by quality\r\n[Orden]\r\nNombre = \" OT-118 lote 2 \"\r\nimagen=img/../placa.stb\r\n"
             "sha256=" + kSha.toUpper() + "\r\n# a comment\r\ncantidad=500\r\nserie=sí\r\npuertos=3, 1,16\r\nfallas_seguidas=5\r\n",
             {}, {" OT-118 lote 2 ", "DIR/placa.stb", kSha, 500, true, {3, 1, 16}, 5}});
        row("only what it must have", {orderOf("cantidad=\nserie=no\npuertos=\n"), {}, least});
        row("not readable", {"<folder>", "DIR/orden.ini: es una carpeta"});
        row("too long", {orderOf(QByteArray(64 * 1024, ';')), "DIR/orden.ini: mide más de 64 KiB; no es un archivo de orden"});
        row("no section", {"nombre=OT-118\n", "DIR/orden.ini, línea 1: nombre= está antes de [orden]"});
        row("empty", {"", "DIR/orden.ini: no tiene la sección [orden]"});
        row("another section", {orderOf("[puertos]\n"), "DIR/orden.ini, línea 5: [puertos] no es la sección de una orden: todo va en [orden]"});
        row("another section, a C1 control in it", {orderOf("[or\xc2\x87" "den]\n"),
            QString::fromUtf8("DIR/orden.ini, línea 5: [or\ufffdden] no es la sección de una orden: todo va en [orden]")});
        row("the section twice", {orderOf("[orden]\n"), "DIR/orden.ini, línea 5: [orden] ya se abrió en la línea 1"});
        row("a field twice", {orderOf("Nombre=otra\n"), "DIR/orden.ini, línea 5: nombre= ya se dio en la línea 2"});
        row("an unknown field", {orderOf("color=rojo\n"), "DIR/orden.ini, línea 5: color no es un campo de una orden " + fields});
        row("no equals sign", {orderOf("cantidad 5\n"), "DIR/orden.ini, línea 5: no se entiende; cada línea de una orden es campo=valor"});
        row("a NUL byte", {orderOf(QByteArray("serie=no\0", 9)), "DIR/orden.ini, línea 5: tiene un byte nulo; una orden es texto"});
        row("a name not UTF-8", {"[orden]\nnombre=versi\xf3n\n", "DIR/orden.ini, línea 2: nombre= no es texto UTF-8"});
        row("a blank name", {"[orden]\nnombre=\" \"\n", "DIR/orden.ini, línea 2: nombre= necesita el nombre de la orden"});
        row("a control character", {"[orden]\nnom\x1b[2Jbre=OT-118\n", "DIR/orden.ini, línea 2: tiene un carácter de control"});
        row("no image", {"[orden]\nnombre=OT-118\nimagen=\n", "DIR/orden.ini, línea 3: imagen= necesita la ruta de la imagen"});
        const QString sha = "DIR/orden.ini, línea 4: sha256= debe tener los 64 dígitos hexadecimales del SHA-256 de la imagen";
        row("a hash one digit short", {"[orden]\nnombre=a\nimagen=b\nsha256=" + kSha.left(63) + "\n", sha});
        row("a hash not hex", {"[orden]\nnombre=a\nimagen=b\nsha256=" + kSha.left(63) + "g\n", sha});
        row("no hash", {"[orden]\nnombre=a\nimagen=b\n", "DIR/orden.ini: falta sha256= (el SHA-256 de la imagen aprobada)"});
        const QString count = "DIR/orden.ini, línea 5: cantidad= debe ser un número de placas, de 1 a 1000000";
        for (const char* bad : {"0", "07", "-5", "1000001", "5 placas"})
            row(qPrintable(QStringLiteral("cantidad=%1").arg(bad)), {orderOf(QByteArray("cantidad=") + bad + "\n"), count});
        row("cantidad=1000000", {orderOf("cantidad=1000000\n"), {}, {"OT-118", "/srv/placa.stb", kSha, 1000000}});
        row("serie=tal vez", {orderOf("serie=tal vez\n"), "DIR/orden.ini, línea 5: serie= debe ser si o no"});
        const QString ports = "DIR/orden.ini, línea 5: puertos= debe dar números de COM de 1 a 16, separados por comas (1,2,3,4)";
        for (const char* bad : {"17", "1,,2", "0", "COM1"})
            row(qPrintable(QStringLiteral("puertos=%1").arg(bad)), {orderOf(QByteArray("puertos=") + bad + "\n"), ports});
        row("a port twice", {orderOf("puertos=2,3,2\n"), "DIR/orden.ini, línea 5: puertos= da COM2 dos veces"});
        for (const char* bad : {"0", "101"})
            row(qPrintable(QStringLiteral("fallas_seguidas=%1").arg(bad)),
                {orderOf(QByteArray("fallas_seguidas=") + bad + "\n"), "DIR/orden.ini, línea 5: fallas_seguidas= debe ser un número de 1 a 100"});
    }

    // Read from its file; what is read, written as "Guardar orden..." writes it, reads back the same.
    void orderFile()
    {
        QFETCH(OrderRow, row);
        QTemporaryDir dir;
        const QString path = dir.filePath("orden.ini");
        QVERIFY(row.text == "<folder>" ? QDir(dir.path()).mkdir("orden.ini") : testing::writeFile(path, row.text));
        Order order{"as it was"}, again;
        QString refusal;
        QCOMPARE(readOrder(path, order, refusal), row.refusal.isEmpty());
        QCOMPARE(refusal.replace(dir.path(), "DIR"), row.refusal);
        row.order.image.replace("DIR", dir.path());
        QCOMPARE(order, row.refusal.isEmpty() ? row.order : Order{"as it was"});
        QVERIFY(!row.refusal.isEmpty() || (parseOrder(orderText(order), "orden.ini", "/elsewhere", again, refusal) && again == order));
    }

    void orderProgress_data()
    {
        QTest::addColumn<ProgressRow>("row");
        const auto row = [](const char* name, ProgressRow r) { QTest::newRow(name) << r; };
        row("cantidad 3 over two rows: complete at the third, one board beyond",
            {3, 3, {}, {"0+", "1+", "0+", "1+"}, "4 listas · 0 con error · 100,0 % · 80 por hora · Orden completa · 1 más de la cantidad",
             {}, {"2: complete"}});
        row("a row stops at its third failure in a row, the other goes on",
            {0, 3, {}, {"0-", "0-", "1+", "0-", "1+"}, "2 listas · 3 con error · 40,0 % · 75 por hora", {0}, {"3: stopped"}});
        row("a ready board starts the count of failures again; an interrupted load is none",
            {0, 3, {}, {"0-", "0-", "0+", "0-", "0x", "0-"}, "1 lista · 4 con error · 20,0 % · 60 por hora"});
        row("a stopped row started again", {0, 2, {}, {"0-", "0-", "r0", "0-", "1-"}, "0 listas · 4 con error · 0,0 % · 60 por hora",
                                            {}, {"1: stopped"}});
        row("goes on from what was kept", {10, 3, "listas=7\ncon_error=2\n", {"0+"}, "8 listas · 2 con error · 80,0 % · 1 por hora · faltan 2"});
        row("the pace of the last hour", {0, 3, {}, {"0+@0", "1+@30", "0+@70", "1-@125"}, "3 listas · 1 con error · 75,0 % · 2 por hora"});
        row("a kept count that is none", {0, 3, "listas=siete\n", {}, "FILE: no es la cuenta de una orden; la orden no sigue su cuenta"});
    }

    // The order's count over the rows of a bench, kept for the next bench of the same order and
    // image only.
    void orderProgress()
    {
        QFETCH(ProgressRow, row);
        QTemporaryDir dir;
        const Order order{"OT-118", "/srv/placa.stb", kSha, row.count, false, {}, row.failuresInRow};
        OrderProgress progress(order, dir.filePath("ordenes"));
        if (!row.kept.isEmpty()) {
            QDir().mkpath(dir.filePath("ordenes"));
            QVERIFY(testing::writeFile(progress.file(), row.kept));
        }
        QString why;
        QCOMPARE(progress.read(why), !row.figures.startsWith("FILE"));
        if (!why.isEmpty()) {
            QCOMPARE(why.replace(progress.file(), "FILE"), row.figures);
            return;
        }
        const QDateTime eight(QDate(2026, 12, 11), QTime(8, 0), Qt::UTC);
        QDateTime at = eight;
        QStringList changes;
        for (qsizetype i = 0; i < row.steps.size(); ++i) {
            const QString step = row.steps[i];
            at = step.contains('@') ? eight.addSecs(60 * step.section('@', 1).toInt()) : eight.addSecs(60 * i);
            const int device = step.startsWith('r') ? step.mid(1, 1).toInt() : step.left(1).toInt();
            if (step.startsWith('r')) {
                progress.restart(device);
                continue;
            }
            const Verdict verdict = step[1] == '+' ? Verdict::Ready : step[1] == '-' ? Verdict::Failed : Verdict::Interrupted;
            const OrderProgress::Change change = progress.add(device, verdict, QStringLiteral("causa %1").arg(i), at);
            if (change != OrderProgress::Change::None)
                changes << QStringLiteral("%1: %2").arg(i).arg(change == OrderProgress::Change::Completed ? "complete" : "stopped");
        }
        QCOMPARE(progress.figures(at), row.figures);
        QCOMPARE(changes, row.changes);
        for (int device : {0, 1})
            QCOMPARE(progress.stopped(device), row.stopped.contains(device));
        QVERIFY(progress.trouble().isEmpty());
        OrderProgress again(order, dir.filePath("ordenes")), otherImage({"OT-118", "/srv/placa.stb", QByteArray(64, 'e')}, dir.filePath("ordenes"));
        QVERIFY(again.read(why) && otherImage.read(why));
        QCOMPARE(QList<int>({again.ready(), again.failed(), otherImage.ready()}), QList<int>({progress.ready(), progress.failed(), 0}));
    }

    // The machine's own devices, whatever they are: each one listed is there.
    void theMachinesDevices()
    {
        SystemDevices machine;
        for (const SerialDevice& device : machine.present())
            QVERIFY2(QFileInfo::exists(device.path) && QFileInfo::exists(device.stableName), qPrintable(device.stableName));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
