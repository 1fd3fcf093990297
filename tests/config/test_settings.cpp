// The settings file, one row per case: the directory before -> the port read or the save's
// result, the message, and the directory after, byte for byte.
#include "port_settings.h"
#include "recording_messages.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>


using namespace programador;
using Files = QMap<QString, QByteArray>;   // name -> bytes, "<dir>" or "<fifo>"

namespace {

const QString kIni = QStringLiteral("PROGRAMADOR.INI");

struct Row {
    Files before;
    int save = 0;             // the port saved; 0: start-up reads the file
    QString obstacle = {};    // "read-only": the directory takes no new name; "full": no file may grow
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
        if (info.isFile())
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        files[info.fileName()] = info.isDir() ? "<dir>" : !info.isFile() ? "<fifo>"
                                 : file.open(QIODevice::ReadOnly)        ? file.readAll() : "<unreadable>";
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

} // namespace

Q_DECLARE_METATYPE(Row)

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
        row("4 and letters", {.before = {{kIni, "4abc"}}, .port = 4});
        row("2 alone", {.before = {{kIni, "2"}}, .port = 2});
        row("space then 2", {.before = {{kIni, " 2"}}, .port = 1});
        row("1 then 2", {.before = {{kIni, "12"}}, .port = 1});
        row("5", {.before = {{kIni, "5\r\n"}}, .port = 1});
        row("another letter case", {.before = {{"programador.ini", "3\r\n"}}, .port = 3});
        row("a FIFO is not waited on", {.before = {{kIni, "<fifo>"}}, .port = 1});
        row("read-only directory", {.before = {}, .obstacle = "read-only", .port = 1});
        row("read-only directory, unreadable file", {.before = {{kIni, "3\r\n"}}, .obstacle = "read-only", .mode = 0, .port = 1});
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
            {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "read-only", .port = 1, .after = {{kIni, "2\r\n"}}});
        row("save in a read-only directory, read-only file",
            {.before = {{kIni, "3\r\n"}}, .save = 2, .obstacle = "read-only", .mode = 0444, .message = true});
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
