// The two windows offscreen, as the operator uses them: each row is a sequence of actions,
// and after each one what the operator saw: every message box (icon and text) with the
// window behind it, the window at the moments a transfer answers the device ("@*") and
// sends its first block ("@B1"), and the window once the action is over.
#include "device_harness.h"
#include "bench_row.h"
#include "files.h"
#include "image_dialog.h"
#include "main_window.h"
#include "qt_message_box.h"
#include "qt_spanish.h"
#include "record.h"
#include "recording_messages.h"
#include "user_names.h"
#include "virtual_line.h"

#include <QCryptographicHash>
#include <QAbstractProxyModel>
#include <QFileSystemModel>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <map>


#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace programador;
using namespace programador::testing;

namespace {

const QString kHelp = QStringLiteral(
    "Con el equipo sin energía, conecte el cable al conector RS232 y al puerto serie elegido en la PC, configure el "
    "puerto a utilizar en Configurar puerto serie, seleccione el archivo de firmware a cargar (*.stb o *.bin), "
    "oprima el botón 'Cargar Firmware' y alimente el equipo");
const QString kNoFile = QStringLiteral("No hay archivo seleccionado...");

using Steps = QList<std::pair<QString, QString>>;   // action -> what the operator saw

struct Flow {
    Steps steps;
    int puerto = 1;                     // afterwards, in force and in the settings file
    QByteArray ini = "1\r\n";
    QByteArray registro = {};           // registro.ini for this PC, DIR standing for the folder
    // The bench's devices: COMn is a link, ~/comn, to a device harness with these faults.
    QList<DeviceFaults> bench = {};
};

// The volumes, mounted and unmounted as the row says.
struct Drives : DriveSource {
    QStringList roots() override { return mounted; }
    QStringList mounted;
};

// The serial devices, plugged in and pulled out as the row says: a built-in UART and an
// adapter, which the numbering file gives COM3.
const SerialDevice kAdapter{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A-if00-port0", "FT232R USB UART", {}, {}};
struct Devices : DeviceList {
    QList<SerialDevice> present() override { return plugged; }
    QList<SerialDevice> plugged{{"/dev/ttyS0", "/dev/ttyS0", {}, {}, {}}, kAdapter};
};

// What the bench sounds, said among what the operator sees.
struct HeardAlarm : Alarm {
    void sound(What what, bool audible, QWidget*) override
    {
        *seen << QStringLiteral("%1 %2").arg(audible ? "sound" : "silent", what == What::Failed ? "falla" : what == What::RowStopped ? "puesto" : "orden");
    }
    QStringList* seen = nullptr;
};

// The program's window on virtual time, a scripted device behind its line.
struct Rig {
    explicit Rig(const QByteArray& registro = {})
    {
        QDir(dir.path()).mkdir("home");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        QDir(dir.path()).mkpath("config/programador");
        QVERIFY(registro.isEmpty() || writeFile(dir.filePath("config/programador/registro.ini"), QByteArray(registro).replace("DIR", QFile::encodeName(dir.path()))));
        drives.mounted = QStringList{"/", dir.filePath("home")};
        QVERIFY(writeFile(dir.filePath("puertos.ini"), "[puertos]\nCOM3=" + kAdapter.stableName.toUtf8() + "\n"));
        window = std::make_unique<MainWindow>(messages, line, line, numbering, dir.path(), [this] { ended = true; },
                                              Twips(96), &drives);
        line.ticks = &window->ticks();
        window->timers().Timer1.stop();   // only virtual ticks count here
        window->timers().Timer2.stop();
        window->Form_Load();
        window->show();
        window->openDirectory(dir.path());
        alarm.seen = &seen;
        window->benchWindow().alarm = &alarm;
        window->benchWindow().chooseImage = [this](QWidget*) {
            seen << "chooser";
            return dir.filePath("fw.bin");
        };
        messages.onShow = [this] {
            const auto& shown = messages.shown.last();
            const char* icons[] = {"-", "I", "W", "E"};
            const char* buttons[] = {"", "yn", "yN"};   // N: No the default
            seen << icons[int(shown.icon)] + QString(buttons[int(shown.buttons)]) + ":"
                    + QString(shown.text + (shown.reason.isEmpty() ? "" : " [" + shown.reason + "]")).replace(dir.path(), "~") + " " + state();
        };
        line.onEvent = [this](const VirtualLine::Event& e) {
            if (e.name == "*" || e.name == "B1")
                seen << "@" + e.name + " " + state();
            // Every block carries fw.bin's bytes as they are on disk, the last one padded with zeros.
            QFile file(dir.filePath("fw.bin"));
            if (e.name.startsWith('B') && file.open(QIODevice::ReadOnly) && e.bytes.mid(3, 128) != file.readAll().mid(128 * (e.name.mid(1).toInt() - 1), 128).leftJustified(128, '\0'))
                seen << "wrong bytes in " + e.name;
            if (e.name == interruptAt && interrupt)
                interrupt();
        };
    }

    QString state()
    {
        MainWindowUi& ui = window->ui();
        QStringList out;
        const auto enabled = [&](const QString& all, auto... members) {
            QStringList on;
            ((members->isEnabled() ? on << members->objectName() : on), ...);
            out << (on.size() == sizeof...(members) ? QStringList{all} : on);
        };
        if (ended)
            return QStringLiteral("ended");
        if (ui.isEnabled())   // a disabled window takes no click on its menus either
            enabled(QStringLiteral("menus"), ui.ayuda, ui.configurar, ui.banco, ui.salir);
        enabled(QStringLiteral("load"), ui.Command1);
        enabled(QStringLiteral("cancel"), ui.Command2);
        enabled(QStringLiteral("lists"), ui.Drive1, ui.Dir1, ui.File1);
        if (ui.Label1->isVisible())
            out << "status:'" + ui.Label1->text() + "'";
        if (ui.ProgressBar1->isVisible())
            out << QStringLiteral("bar:%1/%2").arg(ui.ProgressBar1->value()).arg(ui.ProgressBar1->maximum());
        if (ui.Label2->text() != kNoFile)
            out << "file:'" + QString(ui.Label2->text()).replace(dir.path(), "~") + "'";
        if (!ui.isEnabled())
            out << QStringLiteral("locked");
        if (ui.RecordLine->isVisible())
            out << "record:'" + QString(ui.RecordLine->caption()).replace(dir.path(), "~") + "'";
        if (PortDialogUi* dialog = window->portDialogUi(); dialog && dialog->isVisible()) {
            out << QStringLiteral("dialog:");
            QStringList details;
            for (int n = 1; n <= 4; ++n) {
                out.last() += dialog->option(n)->isChecked() ? dialog->option(n)->text() : QString();
                details << dialog->detail(n)->text().replace('\n', ' ');
            }
            out << "{" + details.join(" | ") + "}";
        }
        out.removeAll(QString());
        return out.join(' ') + (bench().isEmpty() ? QString() : " / " + bench());
    }

    void act(const QString& action)
    {
        MainWindowUi& ui = window->ui();
        const QStringList words = action.split(' ');
        PortDialogUi* dialog = window->portDialogUi();
        line.repair();
        interruptAt = words.value(1).section('@', 1);
        interrupt = nullptr;
        if (words[0] == "click") {
            const QListWidgetItem* item = ui.File1->findItems(words[1], Qt::MatchExactly).value(0);
            QVERIFY(item);
            QTest::mouseClick(ui.File1->viewport(), Qt::LeftButton, {}, ui.File1->visualItemRect(item).center());
        } else if (words[0] == "list") {
            QStringList names{QString(window->filePath()).replace(dir.path(), "~") + ":"};
            for (int i = 0; i < ui.File1->count(); ++i)
                names << (ui.File1->item(i)->isSelected() ? "*" : "") + ui.File1->item(i)->text();
            seen << names.join(' ');
        } else if (words[0] == "open") {
            const QList<QListWidgetItem*> items = ui.Dir1->findItems(words[1], Qt::MatchEndsWith);
            QVERIFY(!items.isEmpty());
            emit ui.Dir1->itemActivated(items.last());
        } else if (words[0] == "drive") {   // picked in the drive list's popup
            ui.Drive1->setCurrentIndex(words[1].toInt());
            emit ui.Drive1->activated(words[1].toInt());
        } else if (words[0] == "key") {
            QTest::keyClick(ui.File1, words[1] == "Down" ? Qt::Key_Down : words[1] == "Up" ? Qt::Key_Up : Qt::Key_E);
        } else if (words[0] == "F10") {   // then Enter on the menu bar's first command
            QTest::keyClick(&ui, Qt::Key_F10);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else if (words[0] == "write") {   // the file rebuilt, or created, with that many bytes
            QVERIFY(writeFile(dir.filePath(words[1]), QByteArray(words[2].toInt(), 'y')));
        } else if (words[0] == "remove") {
            QFile::remove(dir.filePath(words[1]));
        } else if (words[0] == "banco") {   // from the menu, or as --banco --orden FILE opens it
            words.size() > 1 ? window->banco_Click(dir.filePath(words[1])) : ui.banco->trigger();
        } else if (words[0] == "orden") {   // orden.ini for fw.bin as it is now, with these fields
            QVERIFY(writeFile(dir.filePath("orden.ini"), "[orden]\nnombre=OT-9\nimagen=fw.bin\nsha256="
                                                             + QCryptographicHash::hash(fileBytes(dir.filePath("fw.bin")), QCryptographicHash::Sha256).toHex()
                                                             + "\n" + words.mid(1).join('\n').toUtf8() + "\n"));
        } else if (words[0] == "guardar") {   // "Guardar orden...", the file named in its dialog
            window->benchWindow().chooseOrderFile = [this, words](QWidget*) { return dir.filePath(words[1]); };
            QTest::mouseClick(window->benchWindow().ui()->SaveOrder, Qt::LeftButton);
        } else if (words[0] == "cat") {   // a file's lines
            QFile file(dir.filePath(words[1]));
            seen << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed().replace('\n', " | ").replace(dir.path(), "~") : "none");
        } else if (words[0] == "reanudar") {   // a row stopped for its fixture started again
            const BenchRowUi& row = window->benchWindow().ui()->rows[words[1].right(1).toInt() - 1];
            QTest::mouseClick(row.Restart, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(bench().contains(QRegularExpression(words[1] + "x- [^|]*'Alimente el equipo'")), 30000);
        } else if (words[0] == "iniciar" || words[0] == "detener" || words[0] == "cerrar" || words[0] == "press") {
            // A button clicked, or a key pressed: "press Return@Start" on the focused button,
            // "press Alt+I", "press Escape"; a last word "yes" answers the question.
            BenchWindowUi* bench = window->benchWindow().ui();
            const qsizetype asked = messages.shown.size();
            const QString yes = words.last();
            messages.answer = yes == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
            const QString key = words.value(1).section('@', 0, 0), focus = words.value(1).section('@', 1);
            const std::map<QString, QString> effects{{"Return@Start", "iniciar"}, {"Alt+I", "iniciar"}, {"Alt+D", "detener"},
                                                     {"Escape", "cerrar"}, {"Alt+C", "cerrar"}};
            const QString effect = words[0] != "press" ? words[0] : effects.count(words[1]) ? effects.at(words[1]) : QString();
            if (words[0] != "press") {
                QTest::mouseClick(words[0] == "iniciar" ? bench->Start : words[0] == "detener" ? bench->Stop : bench->Close, Qt::LeftButton);
            } else {
                // The Alt letters are the active window's, as the window manager makes the bench.
                bench->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(bench));
                if (!focus.isEmpty())
                    bench->findChild<QPushButton*>(focus)->setFocus();
                QWidget* target = bench->focusWidget() ? bench->focusWidget() : bench;
                if (key.startsWith("Alt+"))   // as the window system gives it
                    QTest::keyClick(bench->windowHandle(), Qt::Key(Qt::Key_A + key.back().unicode() - 'A'), Qt::AltModifier);
                else
                    QTest::keyClick(target, key == "Return" ? Qt::Key_Return : Qt::Key_Escape);
                // An Alt letter presses its button for a moment, as a click would look (closing
                // is waited for below).
                const QList<QPushButton*> buttons = bench->findChildren<QPushButton*>();
                if (effect != "cerrar")
                    QTRY_VERIFY_WITH_TIMEOUT(std::none_of(buttons.cbegin(), buttons.cend(), [](const QPushButton* b) { return b->isDown(); }), 5000);
            }
            // Until every started row waits for its board, or every run has ended; a load held
            // under way goes on.
            if (effect == "iniciar")
                QTRY_VERIFY_WITH_TIMEOUT(!this->bench().contains(QRegularExpression("x- [^|]*'Detenido'")), 30000);
            if (effect == "detener" && words.value(1) != "held")
                QTRY_VERIFY_WITH_TIMEOUT(bench->Start->isEnabled(), 30000);
            // Until it has closed, or asked (and, told yes, closed).
            if (effect == "cerrar")
                QTRY_VERIFY_WITH_TIMEOUT(!window->benchWindow().ui() || (messages.shown.size() > asked && yes != "yes"), 30000);
        } else if (words[0] == "boards") {   // every device's next board at once, and every one loaded
            for (auto& [n, device] : harness) {
                device->nextBoard();
                device->switchOn();
            }
            for (auto& [n, device] : harness)
                QTRY_VERIFY_WITH_TIMEOUT(device->finished(0), 60000);
            QTRY_VERIFY_WITH_TIMEOUT(!bench().contains("'0 listas"), 30000);
        } else if (words[0] == "rewrite") {   // the image changed on disk, and the bench told of it
            const QString before = window->benchWindow().ui()->Image->text();
            QVERIFY(writeFile(dir.filePath(words[1]), QByteArray(words[2].toInt(), 'z')));
            QTRY_VERIFY_WITH_TIMEOUT(window->benchWindow().ui()->Image->text() != before, 30000);
        } else if (words[0] == "board") {   // COMn's next board is switched on, and loaded
            DeviceHarness& device = *harness[words[1].right(1).toInt()];
            QVERIFY(device.finished(0) || device.heard().isEmpty() || words.value(2) == "fails");
            const QString counts = bench();
            device.nextBoard();
            device.switchOn();
            if (words.value(2) == "fails")   // its device hangs up in block 1: the load fails, its adapter is gone
                QTRY_VERIFY_WITH_TIMEOUT(bench() != counts && bench().contains(QRegularExpression(words[1] + "x- [^|]*'(Desconectado|Revise el puesto)'")), 30000);
            else if (words.value(2) != "held")   // its block 2 waits for release: the load stays under way
                QTRY_VERIFY_WITH_TIMEOUT(bench() != counts && device.finished(0) && bench().contains(QRegularExpression(words[1] + "x- [^|]*'(Alimente el equipo|Escanee la placa)'|'Detenido'")), 30000);
            else
                QTRY_VERIFY_WITH_TIMEOUT(device.heard().size() >= 1 + 2 * 132, 30000);
        } else if (words[0] == "early") {   // COMn's board switched on before its serial is scanned: not answered
            DeviceHarness& device = *harness[words[1].right(1).toInt()];
            device.nextBoard();
            device.switchOn();
            QTRY_VERIFY_WITH_TIMEOUT(bench().contains(QRegularExpression(words[1] + "x- [^|]*'Escanee la placa primero'")), 30000);
            QCOMPARE(device.heardAll(), QByteArray());
        } else if (words[0] == "trace") {   // the order typed in, and the serial numbers asked for
            BenchWindowUi* bench = window->benchWindow().ui();
            QTest::keyClicks(bench->Order, words[1]);
            bench->AskSerial->click();
        } else if (words[0] == "scan") {   // a scanner: the serial typed where the focus is, then Return
            BenchWindowUi* bench = window->benchWindow().ui();
            QWidget* focused = bench->focusWidget();
            const auto row = std::find_if(bench->rows.cbegin(), bench->rows.cend(), [focused](const BenchRowUi& r) { return r.Serial == focused; });
            QVERIFY(row != bench->rows.cend());
            const QString before = row->State->text();
            QTest::keyClicks(focused, words[1]);
            QTest::keyClick(focused, Qt::Key_Return);
            // Until the row says what became of it: refused at once, or waiting for its board.
            QTRY_VERIFY_WITH_TIMEOUT(row->State->text() != before, 30000);
        } else if (words[0] == "release") {   // the held ACK goes out; the runs end
            harness[words[1].right(1).toInt()]->release();
            QTRY_VERIFY_WITH_TIMEOUT(window->benchWindow().ui()->Start->isEnabled(), 30000);
        } else if (words[0] == "heard") {   // what COMn's device heard: the "*", whole blocks, an EOT
            const QByteArray heard = harness[words[1].right(1).toInt()]->heardAll();
            seen << QStringLiteral("%1 heard %2 blocks%3%4").arg(words[1]).arg((heard.size() - 1) / 132)
                        .arg((heard.size() - 1) % 132 == 0 ? "" : " and a part", heard.endsWith('\x04') ? " and EOT" : "");
        } else if (words[0] == "pull" || words[0] == "back") {   // COMn's adapter pulled out, plugged back
            const int n = words[1].right(1).toInt();
            if (words[0] == "pull") {
                // Its name first, as an adapter's node goes: the pseudo-terminal's own name may be
                // given to the next one any program opens.
                QFile::remove(dir.filePath(QStringLiteral("com%1").arg(n)));
                harness[n]->pullCable();
            } else {
                plug(n, faults[n]);
            }
            // A row stopped for its fixture stays so.
            QTRY_VERIFY_WITH_TIMEOUT(bench().contains(QRegularExpression(words[1] + "x- [^|]*'" + (words[0] == "pull" ? "Desconectado" : "(Alimente el equipo|Revise el puesto)"))), 30000);
        } else if (words[0] == "record") {   // the rows as they are on disk: port, device, image, result, blocks, status,
                                             // the serial and the order when given, and the cause when there is one;
                                             // the operator by the full name
            if (Record* record = window->record().record())
                record->flush();
            QStringList rows;
            for (const QByteArray& row : fileBytes(dir.filePath(words.value(1, "registro.csv"))).split('\n').mid(1)) {
                const QList<QByteArray> f = row.split(',');
                const QString cause = QString::fromUtf8(f.value(15)).remove(QLatin1Char('\r'));
                const QString board = f.value(12).isEmpty() && f.value(13).isEmpty() ? QString() : "|" + f[12] + "|" + f[13];
                if (f.size() == 16 && QString::fromUtf8(f[14]) == fullName())
                    rows << QStringList{f[1], QString(f[2]).replace(dir.path(), "~"), f[4], f[9], f[7], f[10]}.join('|') + board
                            + (cause.isEmpty() ? QString() : "|" + cause);
                else if (!row.isEmpty())   // every line shows: one that is no whole row too
                    rows << "torn:" + QString::fromUtf8(row);
            }
            if (words.value(2) == "sorted")   // rows that came at once, in any order
                rows.sort();
            seen << rows.join(" ; ");
        } else if (words[0] == "full" || words[0] == "room") {   // the disk takes nothing more, or takes again
            const rlimit limit{words[0] == "full" ? rlim_t(QFileInfo(dir.filePath("registro.csv")).size()) : RLIM_INFINITY, RLIM_INFINITY};
            std::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        } else if (words[0] == "registro") {   // registro.ini rewritten while the window is open, with more lines
            QVERIFY(writeFile(dir.filePath("config/programador/registro.ini"), "[registro]\ndestino=" + QFile::encodeName(dir.filePath(words[1])) + "\n"
                                                                                   + words.mid(2).join('\n').toUtf8() + "\n"));
        } else if (words[0] == "slow" || words[0] == "fast") {   // the record's rows wait for a lock the test holds, or go
            if (words[0] == "slow") {
                recordLock = ::open(QFile::encodeName(dir.filePath("registro.csv")), O_RDONLY | O_CLOEXEC);
                QVERIFY(::flock(recordLock, LOCK_EX) == 0);
            } else {
                ::close(std::exchange(recordLock, -1));
                window->record().record()->flush();
            }
        } else if (words[0] == "end") {   // the program ends, the bench open, the lock let go as it ends
            ::close(std::exchange(recordLock, -1));
            window->end();
        } else if (words[0] == "signal") {   // SIGTERM, as a logout sends it: the loads end, the program too
            window->interrupt(SIGTERM);
            for (auto& [n, device] : harness)
                device->release();
            QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
        } else if (words[0] == "unblock") {   // the folder in the file's place taken away
            QVERIFY(QDir(dir.path()).rmdir(words[1]));
        } else if (words[0] == "block") {   // a folder in the file's place: it can be neither read nor replaced
            QFile::remove(dir.filePath(words[1]));
            QDir(dir.path()).mkdir(words[1]);
        } else if (words[0].endsWith("mount")) {   // "mount usb", "unmount usb"
            drives.mounted.removeAll(dir.filePath(words[1]));
            drives.mounted << (words[0] == "mount" ? QStringList{dir.filePath(words[1])} : QStringList());
            drives.changed();
        } else if (words[0].endsWith("plug")) {   // the adapter: "plug", "unplug"
            devices.plugged.removeAll(kAdapter);
            devices.plugged << (words[0] == "plug" ? QList<SerialDevice>{kAdapter} : QList<SerialDevice>());
            if (devices.changed)
                devices.changed();
        } else if (words[0] == "drives") {
            QStringList shown;
            for (int i = 0; i < ui.Drive1->count(); ++i)
                shown << (i == ui.Drive1->currentIndex() ? "*" : "") + ui.Drive1->itemText(i).replace(dir.path(), "~");
            seen << shown.join(' ') + " in " + QString(window->dirPath()).replace(dir.path(), "~");
        } else if (words[0] == "load") {   // plain, "enter", "silent", "refused", "mute@Bk", "cancel@E", "close@E"
            const QString how = words.value(1).section('@', 0, 0);
            line.device.sends = how == "silent" ? decltype(line.device.sends)() : line.device.sends;
            line.device.replies.clear();   // "mute": from block k on, no answer to any block
            for (int k = how == "mute" ? interruptAt.mid(1).toInt() : 0; k > 0 && k < 40; ++k)
                line.device.replies[k] = QByteArray();
            line.failOn = how == "refused" ? QStringLiteral("open") : QString();
            if (how == "cancel" || how == "close" || how == "signal")
                interrupt = [this, &ui, how] {
                    how == "close" ? void(ui.close()) : how == "signal" ? window->interrupt(SIGTERM) : QTest::mouseClick(ui.Command2, Qt::LeftButton);
                };
            how == "enter" ? QTest::keyClick(ui.Command1, Qt::Key_Return) : QTest::mouseClick(ui.Command1, Qt::LeftButton);
        } else if (words[0] == "salir" || words[0] == "ayuda") {
            messages.answer = words.value(1) == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
            (words[0] == "salir" ? ui.salir : ui.ayuda)->trigger();
        } else if (words[0] == "configurar") {
            ui.configurar->trigger();
        } else {   // "COMn aceptar" or "COMn cancelar", "refused" when the port cannot be opened
            line.failOn = words.value(2) == "refused" ? QStringLiteral("open") : QString();
            QTest::mouseClick(dialog->option(words[0].right(1).toInt()), Qt::LeftButton);
            QPushButton* button = words[1] == "aceptar" ? dialog->Command1 : dialog->Command2;
            words.value(2) == "enter" ? QTest::keyClick(button, Qt::Key_Return) : QTest::mouseClick(button, Qt::LeftButton);
        }
        QCoreApplication::processEvents();   // what the window left for the event loop
        // What the record says of the rows so far, unless the test holds them back: its rows
        // written, and its word of them, which comes to the window as an event, delivered.
        if (Record* record = window->record().record(); record && recordLock < 0) {
            record->flush();
            QCoreApplication::processEvents();
        }
    }

    ~Rig()
    {
        window.reset();   // the bench's runs end before their devices go
        for (int n = 1; n <= kComNumbers; ++n)
            qunsetenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(n));
    }

    // The bench's device behind COMn: a harness, reached through the link ~/comn.
    void plug(int n, const DeviceFaults& faults = {})
    {
        const QString link = dir.filePath(QStringLiteral("com%1").arg(n));
        harness[n] = std::make_unique<DeviceHarness>(faults);
        this->faults[n] = faults;
        QFile::remove(link);
        QVERIFY(QFile::link(harness[n]->path(), link));
        harness[n]->unlinkOnHangUp(link);
        qputenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(n), QFile::encodeName(link));
    }

    // "Banco de carga" as the operator sees it: the image, the buttons that may be pressed, then
    // a row a port: its box, device, state, progress, counts and last result.
    QString bench()
    {
        BenchWindowUi* ui = window->benchWindow().ui();
        if (!ui || !ui->isVisible())
            return QString();
        QStringList out;
        // An order's line, and its figures (the boards an hour go with the clock).
        if (!ui->OrderLine->isHidden())
            out << "order:'" + QString(ui->OrderLine->text()).replace(dir.path(), "~") + "'";
        if (!ui->Figures->isHidden())
            out << "figures:'" + QString(ui->Figures->text()).replace(QRegularExpression("\\d+ por hora"), "N por hora") + "'";
        out << QString(ui->Image->text()).replace(dir.path(), "~");
        for (QPushButton* button : {ui->Choose, ui->Clear, ui->Start, ui->Stop, ui->Close})
            out << (button->isEnabled() ? QString(button->text()).remove('&') : QString());
        out.removeAll(QString());
        // The order, the operator when it is not the user's full name, and the scanning, when given.
        if (!ui->Order->text().isEmpty() || ui->Operator->text() != fullName() || ui->AskSerial->isChecked())
            out << QStringLiteral("orden:'%1'%2%3").arg(ui->Order->text(), ui->Operator->text() != fullName() ? " operador:'" + ui->Operator->text() + "'" : "",
                                                       ui->AskSerial->isChecked() ? " serie" : "");
        for (const BenchRowUi& row : ui->rows) {
            out << QStringLiteral("%1%2%3 %4 '%5' %6/%7 '%8' '%9'")
                       .arg(row.Use->text(), row.Use->isChecked() ? "x" : "", row.Use->isEnabled() ? "" : "-",
                            QString(row.Device->text()).replace(dir.path(), "~"), row.State->text())
                       .arg(row.Progress->value()).arg(row.Progress->maximum())
                       .arg(QString(row.Counts->text()).replace('\n', ' '), QString(row.Last->text()).replace('\n', " / "));
            if (!row.Restart->isHidden())
                out.last() += " [Reanudar]";
            // The serial field, when shown: "[]" to type in, "[=PL-1]" given, "*" with the focus.
            if (!row.Serial->isHidden())
                out.last() += QStringLiteral(" [%1%2]%3").arg(row.Serial->isReadOnly() ? "=" : "", row.Serial->text(),
                                                             ui->focusWidget() == row.Serial ? "*" : "");
        }
        // In front of the main window, as its transient: said only when it is not.
        if (!ui->windowHandle() || ui->windowHandle()->transientParent() != window->ui().windowHandle())
            out << "not in front of the main window";
        if (ui->RecordLine->isVisible())
            out << "record:'" + QString(ui->RecordLine->text()).replace(dir.path(), "~") + "'";
        return "bench: " + out.join(" | ");
    }

    QTemporaryDir dir;
    std::map<int, std::unique_ptr<DeviceHarness>> harness;
    std::map<int, DeviceFaults> faults;   // each device's, the next board plugged in too
    RecordingMessages messages;
    VirtualLine line;
    Drives drives;
    Devices devices;
    PortNumbering numbering{devices, dir.filePath("puertos.ini")};
    std::unique_ptr<MainWindow> window;
    QStringList seen;
    HeardAlarm alarm;
    QString interruptAt;
    std::function<void()> interrupt;
    bool ended = false;
    int recordLock = -1;   // the record file's lock, while the test holds it
};

} // namespace

Q_DECLARE_METATYPE(Flow)

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    // Qt's own buttons in Spanish, as the program has them.
    void initTestCase() { QVERIFY(installQtSpanish(*qApp)); }

    void flows_data()
    {
        QTest::addColumn<Flow>("flow");
        const auto flow = [](const char* name, Flow f) { QTest::newRow(name) << f; };
        const QString idle = QStringLiteral("menus lists");
        const QString ready = QStringLiteral("menus load lists file:'Archivo: ~/fw.bin'");
        const QString fw = QStringLiteral(" file:'Archivo: ~/fw.bin'");
        const QString sending = "@* cancel status:'Estableciendo conexi\u00f3n...'" + fw
            + " / @B1 cancel status:'Transmitiendo archivo...' bar:1/3" + fw;

        const QString pipe = "W:Error en archivo [pipe.bin: no es un archivo com\u00fan]";
        // The remedy names the user who runs the program.
        const QString refused = QString::fromUtf8("sin permiso para abrir el puerto; el usuario debe estar en el grupo dialout: "
                                                  "sudo adduser %1 dialout, y volver a iniciar la sesión").arg(::getpwuid(::geteuid())->pw_name);
        const QString latin1 = QStringLiteral("versi\ufffdn.stb");   // its name's bytes are Latin-1
        flow("choosing images", {{
            // The first arrow key in the list selects its first file.
            {"key Down", "W:Archivo demasiado grande [big.bin: tiene m\u00e1s de 249984 bytes, los 1953 bloques que caben en el equipo] lists / menus lists file:''"},
            {"list", "~: big.bin empty.STB fw.bin pipe.bin " + latin1 + " / menus lists file:''"},
            {"click fw.bin", ready},
            {"click pipe.bin", pipe + " lists" + fw + " / menus lists file:''"},
            {"key e", "W:Error en archivo [empty.STB: est\u00e1 vac\u00edo] lists file:'' / menus lists file:''"},
            {"click " + latin1, "menus load lists file:'Archivo: ~/" + latin1 + "'"},
            // The list follows the folder, and what was chosen stays chosen.
            {"click fw.bin", ready},
            {"write new.bin 10", ready},
            {"remove big.bin", ready},
            {"list", "~: empty.STB *fw.bin new.bin pipe.bin " + latin1 + " / " + ready},
            {"open sub", "menus load lists" + fw},
            {"drive 1", "menus load lists" + fw},
            {"list", "~/home: / menus load lists" + fw},
            // Volumes come and go; when the one on show goes, the lists go to the root.
            {"mount usb", "menus load lists" + fw},
            {"drives", "/ *~/home ~/usb in ~/home / menus load lists" + fw},
            {"drive 2", "menus load lists" + fw},
            {"unmount usb", "menus load lists" + fw},
            {"drives", "*/ ~/home in / / menus load lists" + fw},
        }});
        // "Cargar Firmware" sends the file as it is on disk at the press. (A device that stays
        // silent, and "Cancelar", end as the record's flow below shows, each with its row.)
        flow("sending, and each exit", {{
            {"click fw.bin", ready},
            {"load enter", sending + " / I:Programa listo cancel status:'Transmitiendo archivo...' bar:3/3" + fw + " / " + ready},
            {"load refused", "W:Error en puerto serie [COM1: " + refused + "]" + fw + " / " + ready},
            {"write fw.bin 129", ready},
            {"load", QString(sending).replace("bar:1/3", "bar:1/2") + " / I:Programa listo cancel status:'Transmitiendo archivo...' bar:2/2" + fw + " / " + ready},
            {"write fw.bin 249985", ready},
            {"load", "W:Archivo demasiado grande [fw.bin: tiene m\u00e1s de 249984 bytes, los 1953 bloques que caben en el equipo] lists" + fw + " / menus lists file:''"},
            {"write fw.bin 384", "menus lists file:''"},
            {"click fw.bin", ready},
            {"load close@B1", sending + " / ended"},
        }});
        flow("help and leaving", {{
            {"ayuda", "I:" + kHelp + " " + idle + " / " + idle},
            {"F10", "I:" + kHelp + " " + idle + " / " + idle},
            {"salir yes", QString::fromUtf8("-yn:Est\u00e1 seguro? ") + idle + " / ended"},
        }});
        // Beside each number, what it stands for, as devices come and go.
        const QString ports = "{/dev/ttyS0 | libre | FT232R USB UART, /dev/ttyUSB0 | libre}";
        flow("choosing a port", {{
            {"configurar", "locked dialog:COM1 " + ports},
            {"COM2 aceptar refused", "E:Error en puerto serie [COM2: " + refused + "] locked dialog:COM2 " + ports + " / locked dialog:COM2 " + ports},
            {"unplug", "locked dialog:COM2 {/dev/ttyS0 | libre | desconectado | libre}"},
            {"plug", "locked dialog:COM2 " + ports},
            {"COM4 aceptar enter", idle},
            {"configurar", "locked dialog:COM4 " + ports},
            {"COM3 aceptar", idle},
            // The dialog opens on the port saved.
            {"configurar", "locked dialog:COM3 " + ports},
            {"COM1 cancelar", idle},
        }, 3, "3\r\n"});
        // Every load makes its row in the record set for this PC; a record that cannot be written
        // is one line of the window, not a message box, until rows go in again.
        const QString done = sending + " / I:Programa listo cancel status:'Transmitiendo archivo...' bar:3/3" + fw + " / " + ready;
        const QString rows = QString::fromUtf8("COM1|/dev/ttyS0|fw.bin|Programa listo|3|0 ; COM1|/dev/ttyS0|fw.bin|Error de comunicacion|0|1|"
                                               "el equipo no se anunció ; COM1|/dev/ttyS0|fw.bin|Error de comunicacion|2|1|"
                                               "el equipo dejó de responder en el bloque 2 de 3");
        const QString trouble = QString::fromUtf8(" record:'Registro: no se pudo escribir; 1 fila está solo en la memoria'");
        // registro.ini is read again at each "Cargar Firmware"; a signal ends the load with its row.
        const QString notice = QString::fromUtf8(" record:'Registro: ~/otro.csv: desde ahora las filas van aquí'");
        flow("a record of every load", {{
            {"click fw.bin", ready},
            {"load", done},
            {"load silent", "W:Error de comunicacion cancel status:'Alimente el equipo'" + fw + " / " + ready},
            {"load mute@B2", sending + " / W:Error de comunicacion cancel status:'Transmitiendo archivo...' bar:2/3" + fw + " / " + ready},
            {"record", rows + " / " + ready},
            {"full", ready},
            {"load", done + trouble},
            {"record", rows + " / " + ready + trouble},
            {"room", ready},   // the kept row goes in at the record's next try
            {"load cancel@B2", sending + " / " + ready},
            {"record", rows + " ; COM1|/dev/ttyS0|fw.bin|Programa listo|3|0 ; COM1|/dev/ttyS0|fw.bin|Interrumpido|2|130|detenida por el operador / " + ready},
            {"registro otro.csv", ready},
            {"load", QString(done).replace(fw, fw + notice)},
            {"load signal@B2", QString(sending).replace(fw, fw + notice) + " / ended"},
            {"record otro.csv", QString::fromUtf8("COM1|/dev/ttyS0|fw.bin|Programa listo|3|0 ; COM1|/dev/ttyS0|fw.bin|Interrumpido|2|143|"
                                                  "detenida por la señal SIGTERM / ended")},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n"});
        // A record that cannot be used is tried again at the next load, and used once it can be.
        const QString folder = " record:'Registro: ~/home: es una carpeta'";
        const QString now = QString::fromUtf8(" record:'Registro: ~/home: desde ahora las filas van aquí'");
        flow("a record that cannot be used", {{
            {"click fw.bin", ready + folder},
            {"load", QString(done).replace(fw, fw + folder)},
            {"unblock home", ready + folder},
            {"load", QString(done).replace(fw, fw + now)},
            {"record home", "COM1|/dev/ttyS0|fw.bin|Programa listo|3|0 / " + ready + now},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/home\n"});
        // "Banco de carga" beside the locked main window: the image, the buttons that may be
        // pressed, then a row a port (box and whether it may change, device, state, progress,
        // counts, last result).
        const QString image = "file:'Archivo: ~/fw.bin' locked / bench: Imagen: fw.bin, 384 bytes, SHA-256 "
            + QCryptographicHash::hash(QByteArray(384, 'x'), QCryptographicHash::Sha256).toHex().left(12);
        const auto bench = [&image](bool running, const QStringList& rows) {
            QStringList all{image, running ? "Detener | Cerrar" : "Elegir imagen... | Borrar cuentas | Iniciar | Cerrar"};
            for (const QString& row : rows)
                all << QString(row).replace("COMn", running ? "-" : "");
            for (const char* other : {"COM3COMn desconectado", "COM4COMn libre"})
                all << QString(other).replace("COMn", running ? "-" : "") + " 'Detenido' 0/3 '0 listas, 0 con error' ''";
            return all.join(" | ");
        };
        const QString none = "0/3 '0 listas, 0 con error' ''";
        // A row waiting for its next board shows an empty bar.
        const QString one = "0/3 '1 lista, 0 con error' 'Programa listo'", two = "0/3 '2 listas, 0 con error' 'Programa listo'";
        const QString three = "0/3 '3 listas, 0 con error' 'Programa listo'";
        const auto withTrouble = [&trouble](const QString& shown) {
            return QString(shown).replace("locked / bench", "locked" + trouble + " / bench") + " |" + trouble;
        };
        // COM1's and COM2's rows: both waiting for their boards, or both stopped, with these counts.
        const auto waitingFor = [&bench](const QString& com1, const QString& com2) {
            return bench(true, {"COM1xCOMn ~/com1 'Alimente el equipo' " + com1, "COM2xCOMn ~/com2 'Alimente el equipo' " + com2});
        };
        const auto stoppedWith = [&bench](const QString& com1, const QString& com2) {
            return bench(false, {"COM1xCOMn ~/com1 'Detenido' " + com1, "COM2xCOMn ~/com2 'Detenido' " + com2});
        };
        // Closing while the bench runs asks first: No keeps it as it was, Yes closes it.
        const QString ask = "WyN:\u00bfDetener las cargas y cerrar el banco? ";
        const auto keptOpen = [&ask](const QString& shown) { return ask + shown + " / " + shown; };
        const auto closedFrom = [&ask, &ready](const QString& shown) { return ask + shown + " / " + ready; };
        // At the bench: the adapter out (COM3 desconectado), fw.bin chosen; then "Banco de carga"
        // opened, and started.
        const Steps toTheBench{{"unplug", idle}, {"click fw.bin", ready}};
        const Steps benchOpen = toTheBench + Steps{{"banco", stoppedWith(none, none)}};
        const Steps benchStarted = benchOpen + Steps{{"iniciar", waitingFor(none, none)}};
        // Two devices, two boards each, one waiting while the other loads; the rows in the record.
        flow("the bench", {benchStarted + Steps{
            // Every row waits for its board: closing asks all the same, and No keeps it.
            {"cerrar", keptOpen(waitingFor(none, none))},
            {"board COM1", waitingFor(one, none)},
            {"board COM2", waitingFor(one, one)},
            {"board COM1", waitingFor(two, one)},
            {"board COM2", waitingFor(two, two)},
            {"detener", stoppedWith(two, two)},
            {"record", "COM1|~/com1|fw.bin|Programa listo|3|0 ; COM2|~/com2|fw.bin|Programa listo|3|0 ; "
                       "COM1|~/com1|fw.bin|Programa listo|3|0 ; COM2|~/com2|fw.bin|Programa listo|3|0 / " + stoppedWith(two, two)},
            // The record's trouble where the bench's operator looks; closing the program with its row
            // only in memory asks first.
            {"full", stoppedWith(two, two)},
            {"iniciar", waitingFor(two, two)},
            {"board COM1", withTrouble(waitingFor(three, two))},
            {"cerrar yes", closedFrom(withTrouble(waitingFor(three, two))) + trouble},
            {"salir yes", "-yn:Est\u00e1 seguro? " + ready + trouble + " / Wyn:\u00bfCerrar el programa? 1 fila del registro est\u00e1 solo en la "
                          "memoria y se perder\u00e1. [~/registro.csv: no se pudo escribir (" + QString::fromLocal8Bit(strerror(EFBIG))
                              + "); las cargas siguen y sus filas quedan en la memoria hasta que el archivo las tome] " + ready + trouble + " / ended"},
            {"room", "ended"},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", {{}, {}}});
        // Each board scanned into its row before its start-up is answered: the focus goes on to the
        // next row that waits for a serial, a serial another row holds is refused, a board switched
        // on before its scan is not answered; the serial beside the result and in the row, with the
        // order, which the bench keeps for the next time.
        const auto scanning = [&](const QString& com1, const QString& com2) {
            return bench(true, {"COM1xCOMn ~/com1 " + com1, "COM2xCOMn ~/com2 " + com2})
                .replace("Cerrar | COM1", "Cerrar | orden:'OT-7' serie | COM1")
                .replace("'Detenido' " + none, "'Detenido' " + none + " [=]");
        };
        const QString loaded1 = "0/3 '1 lista, 0 con error' 'PL-1: Programa listo'", loaded2 = "0/3 '1 lista, 0 con error' 'PL-2: Programa listo'";
        const QString nextScanned = scanning("'Alimente el equipo' " + loaded1 + " [=PL-1]", "'Escanee la placa' " + loaded2 + " []*");
        flow("the bench that scans", {benchOpen + Steps{
            {"trace OT-7", stoppedWith(none, none).replace("Cerrar | COM1", "Cerrar | orden:'OT-7' serie | COM1")},
            {"iniciar", scanning("'Escanee la placa' " + none + " []*", "'Escanee la placa' " + none + " []")},
            {"early COM1", scanning("'Escanee la placa primero' " + none + " []*", "'Escanee la placa' " + none + " []")},
            {"scan PL-1", scanning("'Alimente el equipo' " + none + " [=PL-1]", "'Escanee la placa' " + none + " []*")},
            {"scan PL-1", scanning("'Alimente el equipo' " + none + " [=PL-1]", "'PL-1 ya está en COM1' " + none + " [PL-1]*")},
            {"scan PL-2", scanning("'Alimente el equipo' " + none + " [=PL-1]", "'Alimente el equipo' " + none + " [=PL-2]*")},
            {"board COM1", scanning("'Escanee la placa' " + loaded1 + " []*", "'Alimente el equipo' " + none + " [=PL-2]")},
            {"board COM2", scanning("'Escanee la placa' " + loaded1 + " []*", "'Escanee la placa' " + loaded2 + " []")},
            // The next board's serial: each board its own, and one that was loaded is free again.
            {"scan PL-1", nextScanned},
            {"record", "COM1|~/com1|fw.bin|Programa listo|3|0|PL-1|OT-7 ; COM2|~/com2|fw.bin|Programa listo|3|0|PL-2|OT-7 / " + nextScanned},
            // "Cerrar" clicked has the focus.
            {"cerrar yes", closedFrom(scanning("'Alimente el equipo' " + loaded1 + " [=PL-1]", "'Escanee la placa' " + loaded2 + " []"))},
            {"banco", stoppedWith(loaded1, loaded2).replace("Cerrar | COM1", "Cerrar | orden:'OT-7' serie | COM1")},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", {{}, {}}});
        // The record slow to take a row (a lock held): "Detener", a second "Iniciar" and "Cerrar"
        // while it is written; the row goes in once, and no bench that is gone is called.
        flow("the bench with a slow record", {benchStarted + Steps{
            {"slow", waitingFor(none, none)},
            {"board COM1", waitingFor(one, none)},
            {"detener", stoppedWith(one, none)},
            {"iniciar", waitingFor(one, none)},
            {"fast", waitingFor(one, none)},
            {"board COM1", waitingFor(two, none)},
            {"slow", waitingFor(two, none)},
            {"board COM2", waitingFor(two, one)},
            {"cerrar yes", closedFrom(waitingFor(two, one))},
            {"fast", ready},
            {"record", "COM1|~/com1|fw.bin|Programa listo|3|0 ; COM1|~/com1|fw.bin|Programa listo|3|0 ; COM2|~/com2|fw.bin|Programa listo|3|0 / " + ready},
            // Opened again, the counts of the shift are still there.
            {"banco", stoppedWith(two, one)},
            {"iniciar", waitingFor(two, one)},
            {"slow", waitingFor(two, one)},
            {"board COM2", waitingFor(two, two)},
            {"end", "file:'Archivo: ~/fw.bin' locked"},
            {"record", "COM1|~/com1|fw.bin|Programa listo|3|0 ; COM1|~/com1|fw.bin|Programa listo|3|0 ; COM2|~/com2|fw.bin|Programa listo|3|0 ; "
                       "COM2|~/com2|fw.bin|Programa listo|3|0 / file:'Archivo: ~/fw.bin' locked"},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", {{}, {}}});
        // COM1's load held under way, its block 2 waiting for its ACK.
        const QString held = "COM1xCOMn ~/com1 'Transmitiendo archivo...' 2/3 '0 listas, 0 con error' ''";
        // A logout's SIGTERM while a board loads: the load ends "Interrumpido", with its row, and the program ends.
        flow("the bench ended by a signal", {benchStarted + Steps{
            {"board COM1 held", bench(true, {held, "COM2xCOMn ~/com2 'Alimente el equipo' " + none})},
            {"signal", "ended"},
            {"record", QString::fromUtf8("COM1|~/com1|fw.bin|Interrumpido|2|143|detenida por la señal SIGTERM / ended")},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", {{.holdAckOfBlock = 2}, {}}});
        // An adapter gone and back; closing while a load is under way asks first; "Detener" during
        // a load ends it as "Cancelar" does, without EOT, and the rows are ready to start again.
        const QString stopped = "COM1xCOMn ~/com1 'Detenido' 0/3 '0 listas, 0 con error, 1 interrumpida' 'Interrumpido / detenida por el operador'";
        const QString restarted = bench(true, {QString(stopped).replace("'Detenido'", "'Alimente el equipo'"), "COM2xCOMn ~/com2 'Alimente el equipo' " + one});
        flow("the bench stopped", {benchStarted + Steps{
            {"pull COM2", bench(true, {"COM1xCOMn ~/com1 'Alimente el equipo' " + none, "COM2xCOMn ~/com2 'Desconectado' " + none})},
            {"back COM2", waitingFor(none, none)},
            {"board COM2", waitingFor(none, one)},
            {"board COM1 held", bench(true, {held, "COM2xCOMn ~/com2 'Alimente el equipo' " + one})},
            {"cerrar", keptOpen(bench(true, {held, "COM2xCOMn ~/com2 'Alimente el equipo' " + one}))},
            {"detener held", bench(true, {held, "COM2xCOMn ~/com2 'Alimente el equipo' " + one})},
            {"release COM1", bench(false, {stopped, "COM2xCOMn ~/com2 'Detenido' " + one})},
            {"heard COM1", "COM1 heard 2 blocks / " + bench(false, {stopped, "COM2xCOMn ~/com2 'Detenido' " + one})},
            {"iniciar", restarted},
            {"cerrar yes", closedFrom(restarted)},
        }, 1, "1\r\n", {}, {{.holdAckOfBlock = 2}, {}}});
        // A production order over two rows: its image, its name in each row, its ports ticked and
        // fixed; a row whose boards fail twice in a row stops alone, in red, until "Reanudar"; the
        // third board ready completes it and the row waiting stops; each failure, the stop and
        // the end sound. Opened again, from the menu, it is the same order, complete.
        // Under an order its line and figures come first, its name after the buttons; its ports
        // are ticked and fixed, and only a complete order lets another image be chosen.
        const auto underOrder = [&bench](const QString& figures, bool running, const QStringList& rows, const QString& buttons = "Borrar cuentas | Iniciar") {
            QString shown = bench(running, rows).replace("bench: Imagen", "bench: order:'Orden OT-9: 3 placas de fw.bin' | figures:'" + figures + "' | Imagen")
                                .replace("Cerrar | COM1", "Cerrar | orden:'OT-9' | COM1");
            return running ? shown : shown.replace("Elegir imagen... | Borrar cuentas | Iniciar", buttons).replace("COM3 desc", "COM3- desc").replace("COM4 libre", "COM4- libre");
        };
        // COM2's counts and last result after k failed boards, and the row stopped for them.
        const auto lost = [](int k) { return QString("'0 listas, %1 con error' 'Error en puerto serie / el dispositivo se desconectó'").arg(k); };
        const auto toCheck = [](int k) { return QString("'Revise el puesto' 0/3 '0 listas, %1 con error' 'el dispositivo se desconectó'").arg(k); };
        const QString feed = "'Alimente el equipo' 0/3 ";
        // Both rows while the bench runs the order: COM1's state and counts, then COM2's.
        const auto loading = [&underOrder](const QString& figures, const QString& com1, const QString& com2) {
            return underOrder(figures, true, {"COM1x- ~/com1 " + com1, "COM2x- ~/com2 " + com2});
        };
        const QString complete = underOrder("3 listas · 4 con error · 42,9 % · N por hora · Orden completa", false,
                                            {"COM1x- ~/com1 'Detenido' " + three, "COM2x- ~/com2 " + toCheck(4)}, "Elegir imagen... | Borrar cuentas");
        const QString fourth = "3 listas · 4 con error · 42,9 % · faltan 1";
        const QString failed = "COM2|~/com2|fw.bin|Error en puerto serie|1|2||OT-9|el dispositivo se desconectó ; ";
        const QString listo = "COM1|~/com1|fw.bin|Programa listo|3|0||OT-9 ; ";
        // A production order over two rows: its image, its name in each row; a row whose boards
        // fail twice in a row (its device hangs up in block 1, and is plugged in again) stops
        // alone, in red, and does not open its device again until "Reanudar", which starts its
        // count afresh; the third board ready completes it and the row waiting stops; each
        // failure, the stop and the end sound. Opened again from the menu, it is the same order,
        // complete.
        flow("the bench under an order", {{
            {"unplug", idle},
            {"click fw.bin", ready},
            {"orden cantidad=3 fallas_seguidas=2 puertos=1,2", ready},
            {"banco orden.ini", underOrder("0 listas · 0 con error · faltan 3", false, {"COM1x- ~/com1 'Detenido' " + none, "COM2x- ~/com2 'Detenido' " + none})},
            {"iniciar", loading("0 listas · 0 con error · faltan 3", feed + none.mid(4), feed + none.mid(4))},
            {"board COM2 fails", "sound falla / " + loading("0 listas · 1 con error · 0,0 % · N por hora · faltan 3", feed + none.mid(4), "'Desconectado' 0/3 " + lost(1))},
            {"back COM2", loading("0 listas · 1 con error · 0,0 % · N por hora · faltan 3", feed + none.mid(4), feed + lost(1))},
            {"board COM1", loading("1 lista · 1 con error · 50,0 % · N por hora · faltan 2", feed + one.mid(4), feed + lost(1))},
            {"board COM2 fails", "sound puesto / " + loading("1 lista · 2 con error · 33,3 % · N por hora · faltan 2", feed + one.mid(4), toCheck(2) + " [Reanudar]")},
            // The other row goes on.
            {"board COM1", loading("2 listas · 2 con error · 50,0 % · N por hora · faltan 1", feed + two.mid(4), toCheck(2) + " [Reanudar]")},
            {"back COM2", loading("2 listas · 2 con error · 50,0 % · N por hora · faltan 1", feed + two.mid(4), toCheck(2) + " [Reanudar]")},
            {"reanudar COM2", loading("2 listas · 2 con error · 50,0 % · N por hora · faltan 1", feed + two.mid(4), feed + lost(2))},
            {"board COM2 fails", "sound falla / " + loading("2 listas · 3 con error · 40,0 % · N por hora · faltan 1", feed + two.mid(4), "'Desconectado' 0/3 " + lost(3))},
            {"back COM2", loading("2 listas · 3 con error · 40,0 % · N por hora · faltan 1", feed + two.mid(4), feed + lost(3))},
            {"board COM2 fails", "sound puesto / " + loading("2 listas · 4 con error · 33,3 % · N por hora · faltan 1", feed + two.mid(4), toCheck(4) + " [Reanudar]")},
            {"board COM1", "sound orden / " + complete},
            {"record", failed + listo + failed + listo + failed + failed + "COM1|~/com1|fw.bin|Programa listo|3|0||OT-9 / " + complete},
            {"cerrar", ready},
            {"banco", QString(complete).replace(" · N por hora", "").replace(toCheck(4), "'Detenido' 0/3 " + lost(4))},
            // The same order and image with a larger count goes on from what it has; with
            // sonido=no its end is silent.
            {"cerrar", ready},
            {"registro registro.csv sonido=no", ready},
            {"orden cantidad=4 puertos=1", ready},
            {"banco orden.ini", underOrder(fourth, false, {"COM1x- ~/com1 'Detenido' " + three, "COM2- ~/com2 'Detenido' 0/3 " + lost(4)}).replace("3 placas", "4 placas")},
            {"iniciar", underOrder(fourth, true, {"COM1x- ~/com1 " + feed + three.mid(4), "COM2- ~/com2 'Detenido' 0/3 " + lost(4)}).replace("3 placas", "4 placas")},
            {"board COM1", "silent orden / " + underOrder("4 listas · 4 con error · 50,0 % · N por hora · Orden completa", false,
                                                         {"COM1x- ~/com1 'Detenido' 0/3 '4 listas, 0 con error' 'Programa listo'", "COM2- ~/com2 'Detenido' 0/3 " + lost(4)},
                                                         "Elegir imagen... | Borrar cuentas").replace("3 placas", "4 placas")},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", {{}, {.hangUpInBlock = 1}}});
        // An order file with a fault runs nothing; an image that is not the order's is refused
        // with both hashes. Without an order, the image last loaded and changed since is said,
        // and loaded only once chosen again.
        const auto sized = [&bench](int bytes, bool running, const QString& com1) {
            const QByteArray image = QByteArray(bytes, 'y');
            return bench(running, {"COM1xCOMn ~/com1 " + com1, "COM2COMn libre 'Detenido' 0/3 '0 listas, 0 con error' ''"})
                .replace("384 bytes, SHA-256 " + QCryptographicHash::hash(QByteArray(384, 'x'), QCryptographicHash::Sha256).toHex().left(12),
                         QString("%1 bytes, SHA-256 ").arg(bytes) + QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().left(12))
                .replace("0/3", QString("0/%1").arg(bytes / 128));
        };
        const QString approved = QCryptographicHash::hash(QByteArray(384, 'x'), QCryptographicHash::Sha256).toHex().left(12);
        const QString twoBoards = "order:'Orden OT-9: 2 placas de fw.bin' | figures:'0 listas · 0 con error · faltan 2' | Imagen";
        const QString idle128 = sized(128, false, "'Detenido' 0/1 '0 listas, 0 con error' ''");
        const QString named = QString(idle128).replace("Cerrar | COM1", "Cerrar | orden:'OT-10' serie | COM1");
        const QString ordered256 = sized(256, false, "'Detenido' 0/2 '0 listas, 0 con error' ''").replace("bench: Imagen", "bench: " + twoBoards)
                                       .replace("Cerrar | COM1", "Cerrar | orden:'OT-9' | COM1").replace("Elegir imagen... | ", "");
        const QString running256 = sized(256, true, "'Alimente el equipo' 0/2 '0 listas, 0 con error' ''");
        flow("an order that cannot run, and an image changed since its last load", {{
            {"unplug", idle},
            {"click fw.bin", ready},
            {"orden cantidad=0", ready},
            {"banco orden.ini", bench(false, {"COM1x ~/com1 'Detenido' " + none, "COM2 libre 'Detenido' " + none})
                                    .replace("bench: Imagen", "bench: order:'~/orden.ini, línea 5: cantidad= debe ser un número de placas, de 1 a 1000000' | Imagen")
                                    .replace("Elegir imagen... | Borrar cuentas | Iniciar", "Borrar cuentas")},
            {"cerrar", ready},
            {"orden cantidad=2", ready},
            {"write fw.bin 256", ready},
            {"banco orden.ini", ordered256},
            {"iniciar", "W:La imagen no es la de la orden [fw.bin: su SHA-256 es " + QCryptographicHash::hash(QByteArray(256, 'y'), QCryptographicHash::Sha256).toHex().left(12)
                            + "..., la orden OT-9 aprobó " + approved + "...] " + ordered256 + " / " + ordered256},
            {"cerrar", ready},
            // From the menu: the order refused is not the bench's.
            {"banco", sized(256, false, "'Detenido' 0/2 '0 listas, 0 con error' ''")},
            {"iniciar", running256},
            {"cerrar yes", "WyN:\u00bfDetener las cargas y cerrar el banco? " + running256 + " / " + ready},
            {"write fw.bin 128", ready},
            {"banco", QString(idle128).replace(" | Elegir", "; la imagen cambió desde la última carga | Elegir").replace("Borrar cuentas | Iniciar", "Borrar cuentas")},
            {"press Alt+E", "chooser / " + idle128},
            // "Guardar orden...": the bench as it stands, once the order has a name.
            {"guardar orden2.ini", "W:Escriba el nombre de la orden " + idle128 + " / " + idle128},
            {"trace OT-10", named},
            {"guardar orden2.ini", named},
            {"cat orden2.ini", "[orden] | nombre=OT-10 | imagen=~/fw.bin | sha256=" + QCryptographicHash::hash(QByteArray(128, 'y'), QCryptographicHash::Sha256).toHex()
                                   + QString::fromUtf8(" | ; cantidad=500 termina la orden con 500 placas \"Programa listo\"; sin ella no tiene límite | serie=si | "
                                                       "puertos=1 | fallas_seguidas=3 / ") + named},
            // A folder that cannot take it: said, and nothing written.
            {"guardar pipe.bin/orden3.ini", "W:Error en archivo [orden3.ini: una parte de la ruta no es una carpeta] " + named + " / " + named},
        }, 1, "1\r\n", {}, {{}}});
        // The bench from its keyboard: Return on the focused button, the Alt letters, Escape
        // (asking while it runs, as "Cerrar" does), the counts cleared.
        const QString waiting = bench(true, {"COM1xCOMn ~/com1 'Alimente el equipo' " + none, "COM2xCOMn ~/com2 'Alimente el equipo' " + none});
        const QString stoppedIdle = bench(false, {"COM1xCOMn ~/com1 'Detenido' " + none, "COM2xCOMn ~/com2 'Detenido' " + none});
        // The bench once fw.bin is rebuilt, 256 bytes of 'z': its size and hash, two blocks a board.
        const auto rebuilt = [&image](QString shown) {
            return shown.replace(image.section(' ', -1), QCryptographicHash::hash(QByteArray(256, 'z'), QCryptographicHash::Sha256).toHex().left(12))
                .replace("384 bytes", "256 bytes").replace("0/3", "0/2");
        };
        flow("the bench from the keyboard", {benchOpen + Steps{
            {"press Return@Choose", "chooser / " + stoppedIdle},
            {"press Alt+E", "chooser / " + stoppedIdle},
            {"press Return@Start", waiting},
            {"press Escape", keptOpen(waiting)},
            {"press Alt+D", stoppedIdle},
            {"press Alt+I", waiting},
            {"board COM1", waitingFor(one, none)},
            // The image rebuilt while the bench runs is said; "Iniciar" then loads the new one.
            {"rewrite fw.bin 256", waitingFor(one, none).replace(" | Detener", QString::fromUtf8("; la imagen cambió en el disco; Detener e Iniciar para usarla | Detener"))},
            {"press Alt+D", stoppedWith(one, none)},
            {"press Alt+B", stoppedIdle},
            {"press Alt+I", rebuilt(waiting)},
            {"press Alt+C yes", closedFrom(rebuilt(waiting))},
            {"banco", rebuilt(stoppedIdle)},
            {"press Escape", ready},
        }, 1, "1\r\n", {}, {{}, {}}});
        // Eight rows loading at once, a board each, every row's in the record.
        const auto eight = [&image](const QString& state, const QString& counts) {
            QStringList all{image, state == "Detenido" ? "Elegir imagen... | Borrar cuentas | Iniciar | Cerrar" : "Detener | Cerrar"};
            for (int n = 1; n <= 8; ++n)
                all << QString("COM%1x%2 ~/com%1 '%3' %4").arg(n).arg(state == "Detenido" ? "" : "-", state, counts);
            return all.join(" | ");
        };
        QStringList eightRows;
        for (int n = 1; n <= 8; ++n)
            eightRows << QString("COM%1|~/com%1|fw.bin|Programa listo|3|0").arg(n);
        flow("eight rows", {toTheBench + Steps{
            {"banco", eight("Detenido", none)},
            {"iniciar", eight("Alimente el equipo", none)},
            {"boards", eight("Alimente el equipo", one)},
            {"detener", eight("Detenido", one)},
            {"record registro.csv sorted", eightRows.join(" ; ") + " / " + eight("Detenido", one)},
        }, 1, "1\r\n", "[registro]\ndestino=DIR/registro.csv\n", QList<DeviceFaults>(8)});
        // A port that cannot be saved is in force all the same; the dialog stays until left.
        flow("a port that cannot be saved", {{
            {"configurar", "locked dialog:COM1 " + ports},
            {"block PROGRAMADOR.INI", "locked dialog:COM1 " + ports},
            {"COM2 aceptar", "E:Error de archivo locked dialog:COM2 " + ports + " / locked dialog:COM2 " + ports},
            {"COM2 cancelar", idle},
        }, 2, ""});
    }

    void flows()
    {
        QFETCH(Flow, flow);
        const rlimit room{RLIM_INFINITY, RLIM_INFINITY};   // whatever a flow before left
        ::setrlimit(RLIMIT_FSIZE, &room);
        Rig rig(flow.registro);
        for (int n = 1; n <= flow.bench.size(); ++n)
            rig.plug(n, flow.bench[n - 1]);
        QVERIFY(writeFile(rig.dir.filePath("fw.bin"), QByteArray(384, 'x')));
        QVERIFY(writeFile(rig.dir.filePath("empty.STB"), {}));
        QVERIFY(writeFile(rig.dir.filePath("big.bin"), QByteArray(249985, 'x')));
        QDir(rig.dir.path()).mkdir("sub");
        ::mkfifo(QFile::encodeName(rig.dir.filePath("pipe.bin")), 0600);
        const QByteArray latin1Name = QFile::encodeName(rig.dir.filePath("versi")) + "\xf3n.stb";
        const auto removeLatin1 = qScopeGuard([&latin1Name] { ::unlink(latin1Name.constData()); });   // QTemporaryDir cannot name it
        const int latin1 = ::open(latin1Name, O_CREAT | O_WRONLY, 0644);
        QVERIFY(::write(latin1, "x", 1) == 1 && ::close(latin1) == 0);
        rig.window->openDirectory(rig.dir.path());
        QCoreApplication::processEvents();   // the window shown, the file list takes the focus
        for (const auto& [action, expected] : flow.steps) {
            rig.seen.clear();
            rig.act(action);
            rig.seen << rig.state();
            const QString seen = rig.seen.join(" / ");
            QVERIFY2(seen == expected, qPrintable(action + "\n   saw: " + seen + "\n  want: " + expected));
        }
        QCOMPARE(rig.window->settings().puerto, flow.puerto);
        QCOMPARE(fileBytes(rig.dir.filePath("PROGRAMADOR.INI")), flow.ini);
    }

    // The windows as designed, in twips; the file line grows to the right, and a path too long
    // for the window is elided in the middle where the file list ends.
    void geometry()
    {
        MainWindowUi ui{Twips(96)};
        QCOMPARE(ui.centralWidget()->size(), QSize(458, 344));
        QCOMPARE(ui.Command1->geometry(), QRect(8, 248, 193, 33));
        const QRect designed = ui.Label2->geometry();
        ui.Label2->setText(kNoFile + "!");
        QVERIFY(ui.Label2->pos() == QPoint(136, 168) && ui.Label2->width() > designed.width());
        const QString path = "Archivo: /" + QString(40, 'd') + "/" + QString(40, 'e') + "/fw.bin";
        ui.Label2->setText(path);
        QVERIFY2(ui.Label2->geometry().right() < 449 && ui.Label2->text().startsWith("Archivo: /dd")
                     && ui.Label2->text().contains(QChar(0x2026)) && ui.Label2->text().endsWith("/fw.bin"),
                 qPrintable(ui.Label2->text()));
        QCOMPARE(ui.Label2->toolTip(), path);
        PortDialogUi dialog;
        QCOMPARE(dialog.size(), QSize(290, 185));
        QCOMPARE(MountedDrives().roots().value(0), "/");   // the machine's own volumes, the root first
        QCOMPARE(dialog.Command2->geometry(), QRect(170, 136, 52, 23));
    }

    // "Banco de carga" on the screens of a line, at the longest of what its rows show: every
    // control in the window, every text whole, and the rows scrolled only where they cannot fit.
    void theBenchOnEveryScreen_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QSize>("room");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("sixteen rows, 1024 x 768") << 16 << QSize(1024, 768) << false;
        QTest::newRow("four rows, 1024 x 768") << 4 << QSize(1024, 768) << false;
        QTest::newRow("four rows, 1024 x 768 at twice the scale") << 4 << QSize(512, 384) << true;
        QTest::newRow("sixteen rows, 1366 x 768 at twice the scale") << 16 << QSize(683, 384) << true;
    }

    void theBenchOnEveryScreen()
    {
        QFETCH(int, rows);
        QFETCH(QSize, room);
        QFETCH(bool, scrolls);
        BenchWindowUi ui;
        ui.showRows(rows);
        ui.Image->setText("Imagen: firmware-placa-principal-v2.13.stb, 249984 bytes, SHA-256 b0207bce77c0; "
                          "la imagen cambió en el disco; Detener e Iniciar para usarla");
        // Under an order, its line and its figures above.
        ui.OrderLine->setText("Orden OT-2026-118: 500 placas de firmware-placa-principal-v2.13.stb");
        ui.Figures->setText(QString::fromUtf8("1000 listas · 200 con error · 83,3 % · 120 por hora · faltan 999"));
        ui.OrderLine->show();
        ui.Figures->show();
        DeviceCounts counts{.loads = 1300, .ready = 1000, .failed = 200, .interrupted = 100, .last = {}};
        counts.last.exit = LoadExit::Failure;
        counts.last.reason = QString::fromUtf8("COM16 /dev/ttyUSB15: el equipo no respondió");
        std::vector<BenchRow> shown;
        for (const BenchRowUi& row : ui.rows) {
            shown.emplace_back(row, counts);
            PortAssignment port{.number = 16, .state = PortAssignment::State::Present, .path = "/dev/serial/by-path/x",
                                .device = {"/dev/ttyUSB15", {}, "FT232R USB UART", {}, "FT9ZK3A1", {}}, .formerAdapter = "A50285BI"};
            shown.back().showPort(port);
            shown.back().showBlocks(1953);
            shown.back().started();
            shown.back().status("Iniciando protocolo XMODEM...");
            shown.back().progress(1953);
        }
        ui.resize(ui.fittedSize(QRect(QPoint(0, 0), room)));
        ui.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ui));
        QCoreApplication::processEvents();
        QVERIFY2(ui.width() <= room.width() && ui.height() <= room.height(), qPrintable(QString("%1 x %2").arg(ui.width()).arg(ui.height())));
        for (QPushButton* button : {ui.Choose, ui.SaveOrder, ui.Clear, ui.Start, ui.Stop, ui.Close}) {
            const QRect inWindow(button->mapTo(&ui, QPoint(0, 0)), button->size());
            QVERIFY2(ui.rect().contains(inWindow) && button->sizeHint().width() <= button->width(), qPrintable(button->text()));
        }
        // Whole: a wrapped text in its height, a state on its line, the bar's words in the bar.
        const auto whole = [](const QLabel* label) {
            return label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                     : label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
        };
        for (const QLabel* label : {ui.Image, ui.OrderLine, ui.Figures})
            QVERIFY2(whole(label), qPrintable(label->text()));
        for (const BenchRowUi& row : ui.rows) {
            for (const QLabel* label : {row.Device, row.State, row.Counts, row.Last})
                QVERIFY2(whole(label), qPrintable(row.Use->text() + ": " + label->text()));
            QVERIFY2(row.Progress->fontMetrics().horizontalAdvance(row.Progress->text()) < row.Progress->width(), qPrintable(row.Progress->text()));
            QCOMPARE(row.Progress->text(), "bloque 1953 de 1953");
            QCOMPARE(row.Counts->text(), "1000 listas, 200 con error,\n100 interrumpidas");
            QVERIFY(row.Device->text().contains("otro adaptador: antes A50285BI, ahora FT9ZK3A1"));
        }
        QCOMPARE(ui.Rows->verticalScrollBar()->isVisible(), scrolls);
    }

    // "Elegir imagen..." in the program's Spanish: its labels, the kind and the date of each entry.
    void theImageDialog()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("versiones");
        QVERIFY(writeFile(dir.filePath("fw.bin"), "x"));
        const auto dialog = imageDialog(nullptr, dir.path());
        QStringList words;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            words << label->text();
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
            words << button->text();
        QVERIFY2(words.contains("Nombre del archivo:") && words.contains("Archivos de tipo:") && words.contains("Buscar en:")
                     && words.filter(QRegularExpression("fichero|Folder|File", QRegularExpression::CaseInsensitiveOption)).isEmpty(),
                 qPrintable(words.join(" | ")));
        QAbstractProxyModel* list = dialog->proxyModel();
        QVERIFY(list);
        const auto* files = static_cast<QFileSystemModel*>(list->sourceModel());
        const auto shown = [&](const QString& name, int column) {
            return list->data(list->mapFromSource(files->index(dir.filePath(name), column))).toString();
        };
        QTRY_COMPARE(shown("versiones", 2), QString("Carpeta"));
        QCOMPARE(shown("fw.bin", 2), "Archivo BIN");
        QCOMPARE(shown("fw.bin", 3), QLocale(QLocale::Spanish, QLocale::Spain).toString(QFileInfo(dir.filePath("fw.bin")).lastModified(), QLocale::ShortFormat));
        QCOMPARE(list->headerData(3, Qt::Horizontal).toString(), "Modificado");
    }

    // The boxes as built, never shown: titled "Telvarin", the text as written, the icon and
    // the buttons asked for, in Spanish.
    void messageBoxes()
    {
        for (const auto& [icon, buttons, qtIcon, texts, preset] :
             {std::tuple{MessageIcon::Information, MessageButtons::Ok, QMessageBox::Information, QStringList{"Aceptar"}, QString("Aceptar")},
              std::tuple{MessageIcon::Warning, MessageButtons::Ok, QMessageBox::Warning, QStringList{"Aceptar"}, QString("Aceptar")},
              std::tuple{MessageIcon::Error, MessageButtons::Ok, QMessageBox::Critical, QStringList{"Aceptar"}, QString("Aceptar")},
              std::tuple{MessageIcon::None, MessageButtons::YesNo, QMessageBox::NoIcon, QStringList{"&S\u00ed", "&No"}, QString("&S\u00ed")},
              std::tuple{MessageIcon::Warning, MessageButtons::YesNoDefaultNo, QMessageBox::Warning, QStringList{"&S\u00ed", "&No"}, QString("&No")}}) {
            const auto box = QtMessageBox::build(QStringLiteral("<b>Est\u00e1</b>"), icon, buttons, "<i>a.bin</i>: no existe");
            QStringList shown;
            for (QAbstractButton* button : box->buttons())
                shown << button->text();
            QCOMPARE(shown, texts);
            QCOMPARE(box->defaultButton()->text(), preset);   // what Return answers
            // The reason line below the text; a file name in either is shown as it is.
            QVERIFY(box->windowTitle() == "Telvarin" && box->text() == QStringLiteral("<b>Est\u00e1</b>") && box->icon() == qtIcon
                    && box->textFormat() == Qt::PlainText && box->informativeText() == "<i>a.bin</i>: no existe"
                    && box->findChild<QLabel*>("qt_msgbox_informativelabel")->textFormat() == Qt::PlainText);
            QCOMPARE(QtMessageBox::answerFor(QMessageBox::Yes, buttons), texts.size() == 1 ? MessageAnswer::Ok : MessageAnswer::Yes);
            QCOMPARE(QtMessageBox::answerFor(0, buttons), texts.size() == 1 ? MessageAnswer::Ok : MessageAnswer::No);
        }
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
