// The settings file, one row per case: the directory before -> the port read or the save's
// result, the message, and the directory after, byte for byte.
#include "port_settings.h"
#include "recording_messages.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace programador;
using Files = QMap<QString, QByteArray>;   // name -> bytes, "<dir>" or "<fifo>"

namespace {

const QString kIni = QStringLiteral("PROGRAMADOR.INI");

struct Row {
    Files before;
    int save = 0;             // the port saved; 0: start-up reads the file
    QString obstacle = {};    // "read-only": the directory takes no new name (run unprivileged);
                              // "full": no file may grow (a full disk)
    int mode = 0644;          // of the files before
    int port = 0;             // what start-up read, or 1 when the save worked
    bool message = false;     // "Error de archivo", error icon
    Files after = {};         // the same as before when empty
};

Files snapshot(const QString& path)
{
    Files files;
    for (const QFileInfo& info : QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        QFile file(info.filePath());
        files[info.fileName()] = info.isDir() ? "<dir>" : !info.isFile() ? "<fifo>"
                                 : file.open(QIODevice::ReadOnly)        ? file.readAll() : "<unreadable>";
    }
    return files;
}

// Runs the step; a read-only directory holds only for an unprivileged user, so under root
// it runs in a child that has become "nobody". Returns port or save result, and message.
std::pair<int, bool> perform(const Row& row, const QString& dir)
{
    const auto step = [&]() -> std::pair<int, bool> {
        testing::RecordingMessages messages;
        PortSettings settings(messages, dir);
        int result = row.save;
        if (row.save == 0) {
            settings.lee_puerto();
            result = settings.puerto;
        } else {
            result = settings.guarda_puerto(std::int16_t(row.save)) ? 1 : 0;
        }
        const bool shown = messages.texts == QStringList{QStringLiteral("Error de archivo")}
            && messages.shown[0].icon == MessageIcon::Error;
        return {result, shown};
    };
    if (row.obstacle == "full") {
        rlimit old{}, none{0, RLIM_INFINITY};
        ::getrlimit(RLIMIT_FSIZE, &old);
        none.rlim_max = old.rlim_max;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &none);
        const auto result = step();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        return result;
    }
    if (row.obstacle != "read-only" || ::geteuid() != 0)
        return step();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        const auto [result, shown] = step();
        ::_exit(result * 2 + (shown ? 1 : 0));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WEXITSTATUS(status) / 2, WEXITSTATUS(status) % 2 == 1};
}

} // namespace

Q_DECLARE_METATYPE(Row)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void file_data()
    {
        QTest::addColumn<Row>("row");
        const auto row = [](const char* name, Row r) { QTest::newRow(name) << r; };
        const QByteArray one("1\r\n");
        // Start-up: only the first byte counts; a file that cannot be read is made with 1.
        row("missing", {.before = {}, .port = 1, .after = {{kIni, one}}});
        row("empty", {.before = {{kIni, ""}}, .port = 1, .after = {{kIni, one}}});
        row("3 CR LF", {.before = {{kIni, "3\r\n"}}, .port = 3});
        row("4 and letters", {.before = {{kIni, "4abc"}}, .port = 4});
        row("2 alone", {.before = {{kIni, "2"}}, .port = 2});
        row("space then 2", {.before = {{kIni, " 2"}}, .port = 1});
        row("1 then 2", {.before = {{kIni, "12"}}, .port = 1});
        row("5", {.before = {{kIni, "5\r\n"}}, .port = 1});
        row("another letter case", {.before = {{"programador.ini", "3\r\n"}}, .port = 3});
        row("a FIFO is not waited on", {.before = {{kIni, "<fifo>"}}, .port = 1});
        row("read-only directory", {.before = {}, .obstacle = "read-only", .port = 1});
        // Saving: the digit, CR, LF replace whatever the one settings file held.
        row("save 2", {.before = {{kIni, one}}, .save = 2, .port = 1, .after = {{kIni, "2\r\n"}}});
        row("save over a long file", {.before = {{kIni, "4 and more\r\nlines\r\n"}}, .save = 2, .port = 1, .after = {{kIni, "2\r\n"}}});
        row("save with no file", {.before = {}, .save = 4, .port = 1, .after = {{kIni, "4\r\n"}}});
        row("save in another letter case",
            {.before = {{"programador.ini", one}}, .save = 3, .port = 1, .after = {{"programador.ini", "3\r\n"}}});
        row("save beside both spellings", {.before = {{kIni, one}, {"programador.ini", one}}, .save = 3, .port = 1,
                                           .after = {{kIni, "3\r\n"}, {"programador.ini", one}}});
        // A save that fails says so and keeps the old file as it was.
        row("save over a directory", {.before = {{kIni, "<dir>"}}, .save = 2, .message = true});
        row("save on a full disk", {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "full", .message = true});
        row("save port 5", {.before = {{kIni, "3\r\n"}}, .save = 5, .message = true});
        row("save in place in a read-only directory",
            {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "read-only", .mode = 0666, .port = 1, .after = {{kIni, "2\r\n"}}});
        row("save in a read-only directory, read-only file",
            {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "read-only", .message = true});
    }

    void file()
    {
        QFETCH(Row, row);
        QTemporaryDir dir;
        for (auto [name, bytes] : row.before.asKeyValueRange()) {
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            QFile file(path);
            QVERIFY(bytes == "<dir>" ? QDir().mkdir(path) : bytes == "<fifo>" ? ::mkfifo(path, 0644) == 0
                    : file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            ::chmod(path, bytes == "<dir>" ? 0755 : row.mode);
        }
        ::chmod(QFile::encodeName(dir.path()), row.obstacle == "read-only" ? 0555 : 0755);

        const auto [result, shown] = perform(row, dir.path());
        ::chmod(QFile::encodeName(dir.path()), 0755);

        QCOMPARE(result, row.port);
        QCOMPARE(shown, row.message);
        QCOMPARE(snapshot(dir.path()), row.after.isEmpty() ? row.before : row.after);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
