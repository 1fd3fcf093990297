// The program from the command line, as a production line runs it: the real binary as a
// child, its port a pseudo-terminal to the device harness with lrzsz rx. The device is
// switched on when the program says "Alimente el equipo".
#include "bench_output.h"
#include "device_harness.h"
#include "files.h"
#include "postgres_server.h"
#include "user_names.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace programador::testing;

namespace {

struct Run {
    QStringList args;         // "IMAGE" stands for the image, a file whose name is not UTF-8
    QByteArray ini = "2\r\n"; // PROGRAMADOR.INI in the working directory; COM2 is the device
    bool switchOn = true;
    // The first signal once the program waits for the device, or for the ACK of block k (below)
    // when there is one; each next one 200 ms later.
    QList<int> signalsSent = {};
    int status;               // 128 + n: ended by signal n
    QString said;             // standard error, lines joined by "|"; "..." ends a prefix
    DeviceFaults faults = {};
    bool closeStderr = false; // its standard error is closed once the device is switched on
    bool stranger = false;    // run by a user outside the dialout group (nobody, when the test is root)
    QString printed = {};     // a pattern for standard output, lines joined by "|"
    int boards = 1;           // boards switched on one after another, each once the one before is loaded
    int second = 0;           // DEV2, a second device: -1 never switched on; 1 with PORT's first board, 2 with its second
    // PORT's second board is pulled out once its start-up is read, while the test holds the
    // record's lock (from PORT's first "Alimente el equipo" until DEV2's load and the pull are over).
    bool pullSecond = false;
    // The test holds the record's lock from PORT's first "Alimente el equipo" to the program's end.
    bool holdRecord = false;
    QStringList rows = {};    // DIR/registro.csv's rows, in any order: "COM2|PORT|Programa listo|1953|0|||USER|"
    // "DB" in the arguments: a database of the test's own server, whose table cargas then holds
    // the rows, in the order they arrived; the server is away from board k being switched on
    // until the last board is loaded (0: never).
    int awayFrom = 0;
    QStringList recordSaid = {};   // the record's lines on standard error, in any place among the others
    QStringList printedRows = {};  // rows printed on standard error, in any order: "PORT|Programa listo"
    // DIR/orden.ini, IMAGE in it standing for the image's path and SHA for its SHA-256.
    QByteArray order = {};
};

} // namespace

Q_DECLARE_METATYPE(Run)

class TestCommandLine : public QObject {
    Q_OBJECT

    programador::testing::PostgresServer server_;
    int databases_ = 0;

private slots:
    void runs_data()
    {
        QTest::addColumn<Run>("run");
        // Not a terminal: a progress line at each tenth of the 1953 blocks.
        const QString sending = QString::fromUtf8("Alimente el equipo|Estableciendo conexión...|Iniciando protocolo XMODEM...|"
                                                  "Transmitiendo archivo...|");
        const QString done = sending + "bloque 196 de 1953|bloque 391 de 1953|bloque 586 de 1953|bloque 782 de 1953|"
            "bloque 977 de 1953|bloque 1172 de 1953|bloque 1368 de 1953|bloque 1563 de 1953|bloque 1758 de 1953|"
            "bloque 1953 de 1953|Programa listo";
        // Several devices at once: each line with its device's name first.
        const auto on = [](const QString& device, const QString& lines) { return device + ": " + lines.split('|').join("|" + device + ": "); };
        // A command line refused before any device is opened: its reason, then the usage.
        const auto refused = [](const QStringList& args, const QString& reason, const QByteArray& order = {}) {
            return Run{.args = args, .ini = "", .switchOn = false, .status = 64, .said = "programador: " + reason + "|uso: ...", .order = order};
        };
        // After "--" an argument is the image, whatever it looks like.
        QTest::newRow("an image named --help") << Run{{"--", "--help"}, "2\r\n", true, {}, 0, done};
        // Every failure with its cause, on standard error and in the row.
        QTest::newRow("device off") << Run{.args = {"--port", "1", "--log", "DIR/registro.csv", "IMAGE"}, .ini = "", .switchOn = false, .status = 1,
            .said = QString::fromUtf8("Alimente el equipo|programador: COM1 PORT: el equipo no se anunció|Error de comunicacion"),
            .rows = {QString::fromUtf8("COM1|PORT|Error de comunicacion|0|1|||USER|el equipo no se anunció")}};
        // The board, the order and who loaded it, in its row.
        QTest::newRow("a board's serial, its order and its operator") << Run{.args = {"--port", "2", "--serie", "PL-0042", "--orden", "OT-7",
            "--operador", QString::fromUtf8("Ana Pérez"), "--log", "DIR/registro.csv", "IMAGE"}, .ini = "", .status = 0, .said = done,
            .rows = {QString::fromUtf8("COM2|PORT|Programa listo|1953|0|PL-0042|OT-7|Ana Pérez|")}};
        // A serial number is one board's.
        const QString oneBoard = "--serie es el número de una placa: va con un solo equipo y sin --repeat";
        QTest::newRow("--serie with two devices") << refused({"--port", "2", "--port", "3", "--serie", "PL-1", "IMAGE"}, oneBoard);
        QTest::newRow("--serie with --repeat") << refused({"--repeat", "--serie", "PL-1", "IMAGE"}, oneBoard);
        QTest::newRow("an empty --orden") << refused({"--orden", " ", "IMAGE"}, "--orden necesita un texto");
        QTest::newRow("--operador twice") << refused({"--operador", "Ana", "--operador", "Luis", "IMAGE"}, "un solo --operador");
        // --port N is COMn as puertos.ini has it, up to COM16: here COM12's adapter, pulled out;
        // COM16 is the device by its variable.
        QTest::newRow("a COM number whose adapter is out") << Run{.args = {"--port", "12", "IMAGE"}, .ini = "", .switchOn = false, .status = 2,
            .said = QString::fromUtf8("programador: COM12 /dev/serial/by-id/usb-gone: desconectado, el dispositivo no está enchufado|Error en puerto serie")};
        QTest::newRow("COM16") << Run{{"--port", "16", "IMAGE"}, "", true, {}, 0, done};
        // The remedy for the user who runs it, where it can help; who the device belongs to where it cannot.
        QTest::newRow("no permission") << Run{{"--device=DIR/locked", "IMAGE"}, "", false, {}, 2, QString::fromUtf8(
            "programador: DIR/locked: sin permiso para abrir el puerto; el dispositivo es de root:root con permisos 000, "
            "y no del grupo dialout|Error en puerto serie"), {}, false, true};
        QTest::newRow("no permission, a dialout device") << Run{{"--device=DIR/dialout", "IMAGE"}, "", false, {}, 2, QString::fromUtf8(
            "programador: DIR/dialout: sin permiso para abrir el puerto; el usuario debe estar en el grupo dialout: "
            "sudo adduser nobody dialout, y volver a iniciar la sesión|Error en puerto serie"), {}, false, true};
        // The machine's own ports: up to COM16, the variable's, then the devices without one.
        QTest::newRow("--list") << Run{{"--list"}, "", false, {}, 0, "", {}, false, false,
                                       QString::fromUtf8("^(COM([1-9]|1[0-5])  [^|]+\\|)+COM12  /dev/serial/by-id/usb-gone  desconectado\\|"
                                                         "(COM1[3-5]  [^|]+\\|){3}COM16  [^|]+  \\(PROGRAMADOR_COM16\\)(\\|sin número  [^|]+)*$")};
        QTest::newRow("unreadable image") << Run{{"/no/such/image.bin"}, "", false, {}, 3,
                                                 "programador: /no/such/image.bin: no existe|Error en archivo"};
        QTest::newRow("empty image") << Run{{"empty.bin"}, "", false, {}, 3, QString::fromUtf8("programador: empty.bin: está vacío|Error en archivo")};
        QTest::newRow("--help with an image") << refused({"IMAGE", "--help"}, "--help va solo, sin otros argumentos");
        QTest::newRow("no COM17") << refused({"--port", "17", "IMAGE"}, "--port necesita un puerto de 1 a 16");
        QTest::newRow("a port with a sign") << refused({"--port=+2", "IMAGE"}, "--port necesita un puerto de 1 a 16");
        QTest::newRow("a port with a leading zero") << refused({"--port=09", "IMAGE"}, "--port necesita un puerto de 1 a 16");
        QTest::newRow("an unknown option") << refused({"-x", "IMAGE"}, "opción desconocida -x");
        QTest::newRow("an image too large") << Run{{"big.bin"}, "", false, {}, 3,
            QString::fromUtf8("programador: big.bin: tiene más de 249984 bytes, los 1953 bloques que caben en el equipo|Archivo demasiado grande")};
        // Nothing the program opens by name can block it.
        QTest::newRow("a record that is a FIFO") << refused({"--log", "DIR/fifo", "IMAGE"}, "DIR/fifo: no es un archivo común");
        // One failure, one line on standard error, however many operations fail after it.
        QTest::newRow("device gone") << Run{{"IMAGE"}, "2\r\n", true, {}, 2,
                                            sending + QString::fromUtf8("programador: COM2 PORT: el dispositivo se desconectó|Error en puerto serie"), {.hangUpInBlock = 3}};
        // A signal says so and ends the program by that signal, never as a device fault.
        QTest::newRow("a terminal closed (SIGHUP) while the device is off") << Run{{"IMAGE"}, "2\r\n", false, {SIGHUP}, 129, "Alimente el equipo|Interrumpido"};
        // The signal comes while block 2 waits for its ACK: the run ends once that block is
        // answered, before the next one.
        QTest::newRow("SIGTERM while sending") << Run{{"IMAGE"}, "2\r\n", true, {SIGTERM}, 143, sending + "Interrumpido", {.holdAckOfBlock = 2}};
        // The first signal waits for the block under way, which never gets its ACK (a time-out
        // would end "Error de comunicacion" after 10 s); the second ends the run at once.
        QTest::newRow("a second signal") << Run{{"IMAGE"}, "2\r\n", true, {SIGINT, SIGTERM}, 143, sending + "Interrumpido", {.silentFromBlock = 1}};
        // The device stops reading, and the loader waits for room: a signal then is no port error.
        QTest::newRow("SIGINT while a write waits for room") << Run{{"IMAGE"}, "2\r\n", true, {SIGINT}, 130, sending + "Interrumpido", {.floodAcks = true}};
        QTest::newRow("standard error closed") << Run{{"IMAGE"}, "2\r\n", true, {}, 0, "Alimente el equipo...", {}, true};
        // Several devices at once, each on its own line; board after board; a record of each load.
        QTest::newRow("two devices, one off") << Run{.args = {"--device", "PORT", "--device", "DEV2", "IMAGE"}, .ini = "", .status = 1,
            .said = on("PORT", done + "|Programa listo") + "|" + on("DEV2", "Alimente el equipo|el equipo no se anunció|Error de comunicacion|"
                                                                    "Error de comunicacion (...)") + "|Resumen:|1 listo, 1 con error", .second = -1};
        QTest::newRow("the same device twice") << refused({"--port", "2", "--device", "PORT", "IMAGE"}, "PORT nombrado dos veces");
        QTest::newRow("the same absent device twice") << refused({"--device", "dX", "--device", "DIR/dX", "IMAGE"}, "DIR/dX nombrado dos veces");
        // An adapter pulled out while the last load's row is still being written: that board's
        // load ends as a port failure and the device waits for its adapter; the other device,
        // the rows and the summary are untouched.
        QTest::newRow("an adapter pulled while its row is written") << Run{.args = {"--device", "PORT", "--device", "DEV2", "--repeat", "--log", "DIR/registro.csv", "IMAGE"},
            .ini = "", .signalsSent = {SIGINT}, .status = 130,
            .said = on("PORT", done + "|Alimente el equipo|el dispositivo se desconectó|Error en puerto serie|el dispositivo no existe|2 cargas, 1 lista")
                    + "|" + on("DEV2", done + "|Alimente el equipo|1 carga, 1 lista") + "|Resumen:|2 listos, 1 con error",
            .boards = 2, .second = 2, .pullSecond = true,
            .rows = {"|PORT|Programa listo|1953|0|||USER|", QString::fromUtf8("|PORT|Error en puerto serie|0|2|||USER|el dispositivo se desconectó"), "|DEV2|Programa listo|1953|0|||USER|"}};
        // The second signal while one row is being written (its file's lock held by another) and the
        // other waits behind it: each row is printed once, and neither reaches the file after.
        QTest::newRow("a second signal while the rows are written") << Run{.args = {"--device", "PORT", "--device", "DEV2", "--repeat", "--log", "DIR/registro.csv", "IMAGE"},
            .ini = "", .signalsSent = {SIGINT, SIGINT}, .status = 130,
            .said = on("PORT", done + "|Alimente el equipo|1 carga, 1 lista") + "|" + on("DEV2", done + "|Alimente el equipo|1 carga, 1 lista")
                    + "|programador: DIR/registro.csv: 2 filas no se pudieron escribir; son estas:|Resumen:|2 listos, 0 con error",
            .second = 1, .holdRecord = true, .printedRows = {"DEV2|Programa listo", "PORT|Programa listo"}};
        // The record in a database: the loads go on while the server is away, their rows wait
        // on this PC and arrive once each, in the order the loads started.
        QTest::newRow("a database away for two boards") << Run{.args = {"--port", "2", "--repeat", "--log", "DB", "IMAGE"}, .ini = "",
            .signalsSent = {SIGINT}, .status = 130,
            .said = done + "|" + done + "|" + done + "|Alimente el equipo|Resumen:|COM2 PORT: 3 cargas, 3 listas|3 listos, 0 con error",
            .boards = 3, .rows = {"COM2|PORT|Programa listo|1953|0|||USER|", "COM2|PORT|Programa listo|1953|0|||USER|", "COM2|PORT|Programa listo|1953|0|||USER|"}, .awayFrom = 2,
            .recordSaid = {"programador: DB: el servidor no responde (...); las filas esperan en SPOOL", "programador: DB: las filas llegan de nuevo al servidor"}};
        QTest::newRow("a database that refuses the role") << refused({"--log", "DB&user=nadie", "IMAGE"}, "DB&user=nadie: el servidor no deja entrar a este rol (...)");
        // An order: its image and name, its count over every device, and nothing sent with
        // another image.
        const QByteArray order = "[orden]\nnombre=OT-9\nimagen=IMAGE\nsha256=SHA\npuertos=2\n";
        QTest::newRow("an order of one board on its port") << Run{.args = {"--orden", "DIR/orden.ini", "--log", "DIR/registro.csv"}, .ini = "",
            .status = 0, .said = done + QString::fromUtf8("|programador: Orden completa|Resumen:|COM2 PORT: 1 carga, 1 lista|1 listo, 0 con error|"
                                                      "Orden OT-9: 1 lista · 0 con error · 100,0 % · 1 por hora · Orden completa"),
            .rows = {"COM2|PORT|Programa listo|1953|0||OT-9|USER|"}, .order = order + "cantidad=1\n"};
        QTest::newRow("an order of three boards on two devices") << Run{.args = {"--orden", "DIR/orden.ini", "--device", "PORT", "--device", "DEV2",
            "--log", "DIR/registro.csv"}, .ini = "", .status = 0,
            .said = on("PORT", done + "|" + done + "|2 cargas, 2 listas") + "|" + on("DEV2", done + "|Alimente el equipo|1 carga, 1 lista")
                    + "|Orden completa|Resumen:|3 listos, 0 con error|Orden OT-9: 3 listas · 0 con error · 100,0 % · 3 por hora · Orden completa",
            .boards = 2, .second = 1,
            .rows = {"|PORT|Programa listo|1953|0||OT-9|USER|", "|PORT|Programa listo|1953|0||OT-9|USER|", "|DEV2|Programa listo|1953|0||OT-9|USER|"},
            .order = order + "cantidad=3\n"};
        // Its one device's fixture fails: that device stops, and the order is not done.
        QTest::newRow("an order whose only device stops") << Run{.args = {"--orden", "DIR/orden.ini"}, .ini = "", .status = 1,
            .said = sending + QString::fromUtf8("programador: COM2 PORT: el dispositivo se desconectó|Error en puerto serie|programador: COM2 PORT: Revise el puesto (...)|"
                                                "Resumen:|COM2 PORT: 1 carga, 0 listas|0 listos, 1 con error|Orden OT-9: 0 listas · 1 con error · 0,0 % · 1 por hora"),
            .faults = {.hangUpInBlock = 1}, .order = order + "fallas_seguidas=1\n"};
        QTest::newRow("an image that is not the order's") << Run{.args = {"--orden", "DIR/orden.ini"}, .ini = "", .switchOn = false, .status = 3,
            .said = QString::fromUtf8("programador: DIR/versi\ufffdn.bin: su SHA-256 es bf75c36b6a58..., la orden OT-9 aprobó aaaaaaaaaaaa...|"
                                    "La imagen no es la de la orden"),
            .order = QByteArray(order).replace("SHA", QByteArray(64, 'a'))};
        QTest::newRow("an order file it cannot use") << refused({"--orden", "DIR/orden.ini"}, "DIR/orden.ini, línea 6: cantidad= debe ser un número de placas, de 1 a 1000000",
                                                                order + "cantidad=0\n");
        QTest::newRow("a record that cannot be written") << refused({"--log", "DIR", "IMAGE"}, "DIR: es una carpeta");
    }

    // Programs sharing one record, all at once: one header, and every row whole.
    void aRecordSharedByPrograms()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath("fw, \"1\".bin");
        QVERIFY(writeFile(image, QByteArray(1000, 'x')));
        QProcess programs[8];
        for (QProcess& program : programs)
            program.start(PROGRAMADOR_EXECUTABLE, {"--device", "/dev/no-such-tty", "--log", dir.filePath("shared.csv"), image});
        for (QProcess& program : programs)
            QVERIFY(program.waitForFinished(-1) && program.exitCode() == 2);
        const QList<QByteArray> rows = fileBytes(dir.filePath("shared.csv")).split('\n');
        QCOMPARE(rows.size(), 8 + 2);
        QVERIFY(rows[0].startsWith("inicio,puerto,") && rows.last().isEmpty());
        // Its name has a comma and quotes: one field, quoted, its quotes doubled.
        const QByteArray rest = ",,/dev/no-such-tty,,\"fw, \"\"1\"\".bin\",1000,"
            + QCryptographicHash::hash(QByteArray(1000, 'x'), QCryptographicHash::Sha256).toHex() + ",0,8,Error en puerto serie,2,";
        for (int i = 1; i <= 8; ++i)
            QVERIFY2(rows[i].contains(rest) && rows[i].endsWith(",el dispositivo no existe\r") && rows[i].count(',') == 16, rows[i].constData());
    }

    // A device's status line on a terminal, cut to its width so that it never wraps: the state
    // and the block count kept, the middle of a long by-id name elided.
    void statusLines_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("line");
        const QString byId = "COM2 /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        QTest::newRow("fits") << "COM2 /dev/ttyUSB0" << 80 << "COM2 /dev/ttyUSB0: Transmitiendo archivo... bloque 12 de 469";
        QTest::newRow("one column short") << "COM2 /dev/ttyUSB0" << 58 << "COM2\u2026v/ttyUSB0: Transmitiendo archivo... bloque 12 de 469";
        QTest::newRow("a by-id name in 80 columns") << byId << 80 << "COM2 /dev/s\u2026UART_A50285BI-if00-port0: Transmitiendo archivo... bloque 12 de 469";
        QTest::newRow("no room for the name") << byId << 30 << "\u2026 archivo... bloque 12 de 469";
        QTest::newRow("width unknown") << byId << 0 << byId + ": Transmitiendo archivo... bloque 12 de 469";
    }
    void statusLines()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(QString, line);
        const QString fitted = programador::BenchOutput::fitted(name, "Transmitiendo archivo... bloque 12 de 469", width);
        QCOMPARE(fitted, line);
        QVERIFY(width == 0 || fitted.size() < width);
    }

    // The desktop menu's programador --menu works in the home folder, wherever it was started.
    void theMenuStartsAtHome()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("home");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", dir.filePath("home"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(dir.path());
        program.start(PROGRAMADOR_EXECUTABLE, {"--menu"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("home/PROGRAMADOR.INI")), 120000);
        // A logout's SIGTERM ends the window, by that signal.
        QVERIFY(program.processId() > 0 && ::kill(pid_t(program.processId()), SIGTERM) == 0);
        QVERIFY(program.waitForFinished(-1));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        QCOMPARE(program.exitCode(), SIGTERM);
        QVERIFY(!QFile::exists(dir.filePath("PROGRAMADOR.INI")));
    }

    // A table that another session keeps locked: the program ends within moments of its load, the
    // row waits on the PC, and the next program sends it once the lock is gone.
    void aTableKeptLocked()
    {
        QTemporaryDir dir;
        QVERIFY(server_.ready() && server_.run("CREATE DATABASE bloqueada").isEmpty());
        const QString image = dir.filePath("fw.bin");
        QVERIFY(writeFile(image, QByteArray(1000, 'x')));
        const QString uri = server_.uri("bloqueada");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_STATE_HOME", dir.filePath("state"));
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        const auto load = [&] {
            QProcess program;
            program.setProcessEnvironment(environment);
            program.start(PROGRAMADOR_EXECUTABLE, {"--device", "/dev/no-such-tty", "--log", uri, image});
            program.waitForFinished(-1);
            return QString::fromUtf8(program.readAllStandardError()).replace(uri, "DB")
                .replace(QRegularExpression("/\\S*/programador/pendientes/[0-9a-f]{16}"), "SPOOL") + QString::number(program.exitCode());
        };
        QVERIFY(load().endsWith("Error en puerto serie\n2"));   // the table made, its first row in
        QProcess holder;   // a session that locks cargas, until its input ends
        holder.start("psql", {"-XAtq", uri});
        QVERIFY(holder.waitForStarted() && holder.write("BEGIN; LOCK TABLE cargas;\n") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(server_.run("SELECT count(*) FROM pg_locks WHERE relation = 'cargas'::regclass AND granted "
                                              "AND mode = 'AccessExclusiveLock'", "bloqueada").value(0), "1", 20000);
        QCOMPARE(load(), QString::fromUtf8("programador: /dev/no-such-tty: el dispositivo no existe\nError en puerto serie\n"
                                           "programador: DB: 1 fila espera en SPOOL; las enviará el próximo programa que se inicie con este destino\n2"));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(-1));
        QVERIFY(load().endsWith("Error en puerto serie\n2"));
        QCOMPARE(server_.run("SELECT count(DISTINCT id) FROM cargas", "bloqueada").value(0), "3");
        QCOMPARE(QDir(dir.filePath("state/programador/pendientes")).entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QVERIFY(QDir(dir.filePath("state/programador/pendientes")).entryList({"*/*.fila"}, QDir::Files).isEmpty());
    }

    void runs()
    {
        QFETCH(Run, run);
        QTemporaryDir dir;
        QByteArray image(249984, Qt::Uninitialized);   // 1953 blocks
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 13);
        const QByteArray latin1 = QFile::encodeName(dir.filePath("versi")) + "\xf3n.bin";
        const auto removeLatin1 = qScopeGuard([&latin1] { ::unlink(latin1.constData()); });   // QTemporaryDir cannot name it
        const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(::write(fd, image.constData(), image.size()) == image.size() && ::close(fd) == 0);
        QVERIFY(::link(latin1.constData(), QFile::encodeName(dir.filePath("--help")).constData()) == 0);
        const auto write = [&dir](const QString& name, const QByteArray& bytes) {
            QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(name)).path()) && writeFile(dir.filePath(name), bytes));
        };
        write("empty.bin", {}), write("locked", {}), write("dialout", {}), write("big.bin", QByteArray(249985, 'x'));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")), 0600) == 0);
        if (run.stranger && ::geteuid() != 0)
            QSKIP("acting as another user needs root");
        QVERIFY(!run.stranger || (::chown(QFile::encodeName(dir.filePath("dialout")), 0, ::getgrnam("dialout")->gr_gid) == 0
                                  && ::chmod(QFile::encodeName(dir.filePath("dialout")), 0660) == 0));
        write("config/programador/puertos.ini", "[puertos]\nCOM12=/dev/serial/by-id/usb-gone\n");
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("locked")), 0) == 0 && ::chmod(QFile::encodeName(dir.path()), 0711) == 0);
        if (!run.ini.isEmpty())
            write("PROGRAMADOR.INI", run.ini);
        if (!run.order.isEmpty())
            write("orden.ini", QByteArray(run.order).replace("IMAGE", latin1).replace(
                                   "SHA", QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
        DeviceHarness device(run.faults);
        std::optional<DeviceHarness> second;
        if (run.second)
            second.emplace();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* com : {"PROGRAMADOR_COM1", "PROGRAMADOR_COM2", "PROGRAMADOR_COM16"})
            environment.insert(com, device.path());
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        if (run.stranger) {   // where a coverage build may write its counts as that user
            QDir(dir.path()).mkdir("counts");
            ::chmod(QFile::encodeName(dir.filePath("counts")), 0777);
            environment.insert("GCOV_PREFIX", dir.filePath("counts"));
        }
        const QString database = QStringLiteral("carga%1").arg(++databases_);
        if (run.args.filter("DB").size() > 0)
            QVERIFY(server_.ready() && server_.run("CREATE DATABASE " + database).isEmpty());
        const QString uri = server_.uri(database);
        environment.insert("XDG_STATE_HOME", dir.filePath("state"));
        // PORT as the arguments name it. The adapter that is pulled out is named by a link of the
        // test's own, removed with the cable: the kernel gives a closed pseudo-terminal's name to
        // the next one any program opens, and the loader, looking for its adapter every second,
        // would find that one "de vuelta".
        const QString port = run.pullSecond ? dir.filePath("adaptador") : device.path();
        QVERIFY(port == device.path() || QFile::link(device.path(), port));
        // In one pass: a value is never read as a placeholder (a temporary folder's random name
        // may hold "DB" or "PORT").
        const QMap<QString, QString> values{{"DIR", dir.path()}, {"PORT", port}, {"DB", uri},
                                            {"DEV2", second ? second->path() : QString("DEV2")}};
        static const QRegularExpression placeholder("DIR|PORT|DEV2|DB");
        for (QString& arg : run.args) {
            QString out;
            qsizetype at = 0;
            for (auto it = placeholder.globalMatch(arg); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                out += arg.mid(at, m.capturedStart() - at) + values.value(m.captured());
                at = m.capturedEnd();
            }
            arg = out + arg.mid(at);
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(dir.path());
        // A shell puts the image's name in the arguments as the bytes it is.
        const QString named = "for a; do shift; [ \"$a\" = IMAGE ] && a=$(printf 'versi\\363n.bin'); set -- \"$@\" \"$a\"; done; exec \"$0\" \"$@\"";
        // Its standard error is a pipe of the test's own, so that the test can close it.
        int stderrPipe[2];
        QVERIFY(::pipe2(stderrPipe, O_CLOEXEC) == 0);
        program.setChildProcessModifier([&stderrPipe, &run] {
            ::dup2(stderrPipe[1], 2);
            if (run.stranger && ::geteuid() == 0)
                (void)!(::setgroups(0, nullptr) + ::setgid(65534) + ::setuid(65534));
        });
        program.start("/bin/sh", QStringList{"-c", named, PROGRAMADOR_EXECUTABLE} + run.args);
        QVERIFY(program.waitForStarted());
        ::close(stderrPipe[1]);
        ::fcntl(stderrPipe[0], F_SETFL, O_NONBLOCK);
        QByteArray said;
        const auto hear = [&] {
            char buf[4096];
            for (ssize_t n; stderrPipe[0] >= 0 && (n = ::read(stderrPipe[0], buf, sizeof buf)) > 0;)
                said.append(buf, n);
        };
        // PORT's cue to switch the next board on: with two devices, its own line.
        const QByteArray cue = (second ? QFile::encodeName(port) + ": " : QByteArray()) + "Alimente el equipo\n";
        const QByteArray secondCue = second ? QFile::encodeName(second->path()) + ": Alimente el equipo\n" : QByteArray();
        int switched = 0, signalled = 0, recordLock = -1;
        bool secondOn = false;
        QElapsedTimer sinceSignal;
        const auto rowsWritten = [&] {
            if (run.awayFrom > 0)
                return server_.run("SELECT count(*) FROM cargas", database).value(0).toInt();
            QFile record(dir.filePath("registro.csv"));
            return record.open(QIODevice::ReadOnly) ? int(record.readAll().count('\n')) - 1 : 0;
        };
        while (program.state() != QProcess::NotRunning) {
            program.waitForFinished(20);
            hear();
            // Each board is switched on once the program waits for it, the one before loaded.
            const int waits = int(said.count(cue));
            if (run.switchOn && switched < run.boards && waits > switched) {
                if ((run.pullSecond || run.holdRecord) && switched == 0) {   // the record opened: its rows now wait for the test
                    recordLock = ::open(QFile::encodeName(dir.filePath("registro.csv")), O_RDONLY | O_CLOEXEC);
                    QVERIFY(::flock(recordLock, LOCK_EX) == 0);
                }
                if (switched > 0) {
                    QVERIFY(device.finished() && device.received().left(image.size()) == image);
                    device.nextBoard();
                }
                if (run.awayFrom > 0 && switched + 1 == run.awayFrom)
                    QVERIFY(server_.stop());
                device.switchOn(), ++switched;
                if (run.pullSecond && switched == 2) {   // its name first, as an adapter's node goes
                    QVERIFY(QFile::remove(port));
                    device.pullCableOnceRead();
                }
                if (run.closeStderr)
                    ::close(std::exchange(stderrPipe[0], -1));
            }
            // DEV2 with PORT's board `second`, and only once DEV2 waits for its own board: a
            // start-up that reaches a line before the program opens it is not the run's, and the
            // board would never load.
            if (run.second > 0 && !secondOn && switched >= run.second && said.contains(secondCue)) {
                second->switchOn();
                secondOn = true;
            }
            // The server is back once the last board is loaded: the loads never waited for it.
            if (run.awayFrom > 0 && switched == run.boards && device.finished(0))
                QVERIFY(server_.start());
            // The record is let go once the other device has loaded and the pulled board has failed.
            if (recordLock >= 0 && run.pullSecond && second->finished(0) && said.contains(": Error en puerto serie\n"))
                ::close(std::exchange(recordLock, -1));
            const int blocks = run.faults.holdAckOfBlock + run.faults.silentFromBlock;
            const bool waiting = waits > (run.boards > 1 && !run.pullSecond ? run.boards : run.holdRecord ? 1 : 0)
                && device.heard().size() >= (blocks ? 1 + 132 * blocks : 0) && (!run.faults.floodAcks || device.stalled())
                && rowsWritten() == run.rows.size()
                && (run.second <= 0 || said.count(secondCue) == 2);
            if (signalled < run.signalsSent.size() && waiting && (!signalled || sinceSignal.elapsed() > 200)) {
                ::kill(program.processId(), run.signalsSent[signalled++]), sinceSignal.start();
                if (signalled == run.signalsSent.size())
                    device.release();
            }
        }
        hear();
        ::close(stderrPipe[0]);
        if (recordLock >= 0)
            ::close(recordLock);
        // Above 128: ended by that signal, as a shell sees an interrupted command.
        QCOMPARE(program.exitStatus() == QProcess::CrashExit ? 128 + program.exitCode() : program.exitCode(), run.status);
        QCOMPARE(program.exitStatus() == QProcess::CrashExit, run.status > 128);
        QString lines = QString::fromUtf8(said).trimmed().replace('\n', '|');
        if (second)   // first: /dev/pts/1 is also the start of /dev/pts/12
            lines.replace(second->path(), "DEV2");
        lines.replace(port, "PORT").replace(dir.path(), "DIR").replace(uri, "DB")
            .replace(QRegularExpression(" \\([^|]*\\)(;|\\|)"), " (...)\\1").replace(QRegularExpression("DIR/state/programador/pendientes/[0-9a-f]{16}"), "SPOOL");
        // Rows printed for copying into the record: their device and result, in any order.
        QStringList printedRows;
        for (const QString& line : lines.split('|').filter(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT"))) {
            printedRows << line.section(',', 2, 2) + "|" + line.section(',', 9, 9);
            lines.remove("|" + line);
        }
        printedRows.sort();
        QCOMPARE(printedRows, run.printedRows);
        QStringList recordSaid = lines.split('|').filter(QRegularExpression("^programador: DB"));
        if (run.awayFrom > 0) {
            for (const QString& line : recordSaid)
                lines.remove("|" + line);
            QCOMPARE(recordSaid, run.recordSaid);
        }
        if (second) {   // the two devices' lines interleave: each device's in its order, then the rest
            QStringList each[3];
            for (const QString& line : lines.split('|'))
                each[line.startsWith("PORT: ") ? 0 : line.startsWith("DEV2: ") ? 1 : 2] << line;
            lines = (each[0] + each[1] + each[2]).join('|');
        }
        const QString printed = QString::fromUtf8(program.readAllStandardOutput()).trimmed().replace('\n', '|');
        QVERIFY2(QRegularExpression(run.printed.isEmpty() ? "^$" : run.printed).match(printed).hasMatch(), qPrintable(printed));
        QVERIFY2(run.said.endsWith("...") ? lines.startsWith(run.said.chopped(3)) : lines == run.said, qPrintable(lines));
        // Read when no port is given, never written.
        QCOMPARE(fileBytes(dir.filePath("PROGRAMADOR.INI")), run.ini);
        if ((run.status == 0 || run.second || run.boards > 1) && run.switchOn && !run.pullSecond)
            QVERIFY(device.finished() && device.received().left(image.size()) == image);
        if (run.second > 0)
            QVERIFY(second->finished() && second->received().left(image.size()) == image);
        if (run.status > 128 && run.switchOn && run.boards == 1 && !run.faults.floodAcks && !run.holdRecord) {   // the port closed after whole blocks: no EOT
            const QByteArray heard = device.heardAll();
            QVERIFY2(heard.size() > 132 && (heard.size() - 1) % 132 == 0, heard.right(40).toHex().constData());
        }
        // The record: a row per load, field by field as the image and the run were; a CSV file
        // with a header, or the database's table in the order the rows arrived.
        const QByteArray sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
        QStringList loads;
        if (run.awayFrom > 0) {
            for (const QString& row : server_.run("SELECT coalesce(puerto, ''), dispositivo, resultado, bloques_enviados, estado, "
                                                  "coalesce(serie, ''), coalesce(orden, ''), operador, coalesce(causa, ''), imagen, bytes, "
                                                  "sha256, bloques_total, inicio < recibido FROM cargas ORDER BY recibido", database)) {
                QVERIFY2(row.endsWith(QString::fromUtf8("|versi\ufffdn.bin|249984|") + sha256 + "|1953|t"), qPrintable(row));
                loads << row.section('|', 0, 8).replace(port, "PORT").replace(programador::loginName(), "USER");
            }
            QCOMPARE(server_.run("SELECT count(DISTINCT id) FROM cargas", database).value(0), QString::number(run.rows.size()));
            QCOMPARE(server_.run("SELECT string_agg(inicio::text, '' ORDER BY recibido) = string_agg(inicio::text, '' ORDER BY inicio) FROM cargas", database).value(0), "t");
            QCOMPARE(loads, run.rows);
        }
        QFile record(dir.filePath("registro.csv"));
        const QList<QByteArray> rows = record.open(QIODevice::ReadOnly) ? record.readAll().split('\n') : QList<QByteArray>();
        QCOMPARE(rows.size(), (run.rows.isEmpty() && !run.holdRecord) || run.awayFrom ? 0 : run.rows.size() + 2);
        for (int i = 1; i < rows.size() - 1; ++i) {
            const QList<QByteArray> f = rows[i].split(',');
            QVERIFY2(f.size() == 16 && QDateTime::fromString(f[0], Qt::ISODate).isValid() && QString(f[0]).contains(QRegularExpression("[+-]\\d\\d:\\d\\d$|Z$"))
                         && f[3].isEmpty() && f[4] == "versi\xf3n.bin" && f[5] == "249984" && f[6] == sha256 && f[8] == "1953"
                         && f[11].toDouble() >= 0 && f[15].endsWith('\r'),
                     rows[i].constData());
            QString named = QFile::decodeName(f[2]);
            if (second)   // first: /dev/pts/1 is also the start of /dev/pts/12
                named.replace(second->path(), "DEV2");
            loads << QStringList{f[1], named.replace(port, "PORT"), f[9], f[7], f[10], QString::fromUtf8(f[12]), QString::fromUtf8(f[13]),
                                 QString::fromUtf8(f[14]).replace(programador::loginName(), "USER"), QString::fromUtf8(f[15].chopped(1))}.join('|');
        }
        loads.sort(), run.rows.sort();
        QCOMPARE(loads, run.rows);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
