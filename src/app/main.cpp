#include "alarm.h"
#include "event_loop_yield.h"
#include "port_numbering.h"
#include "qserial_port_line.h"
#include "system_devices.h"
#include "headless.h"
#include "image_dialog.h"
#include "main_window.h"
#include "qt_message_box.h"
#include "qt_spanish.h"

#include "file_names.h"
#include "interrupts.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <unistd.h>

// With arguments, the command line loads an image without a window; without, the window.
// The desktop entry starts it with --menu: the window, working in the operator's home folder
// (where PROGRAMADOR.INI is kept) whatever folder the launcher itself was in; its action
// "Banco de carga" with --banco: the same, with the bench window open in front of it;
// --banco --orden FILE opens it under that production order.
int main(int argc, char** argv)
{
    const bool bench = (argc == 2 || (argc == 4 && std::strcmp(argv[2], "--orden") == 0)) && std::strcmp(argv[1], "--banco") == 0;
    const bool fromMenu = bench || (argc == 2 && std::strcmp(argv[1], "--menu") == 0);
    if (argc > 1 && !fromMenu)
        return programador::runHeadless(argc, argv);
    // The order file as named from where the program was started.
    const QString orderFile = argc == 4 ? QDir::current().absoluteFilePath(programador::nameFromBytes(argv[3])) : QString();
    if (!programador::catchSignals())
        return 2;
    QApplication app(argc, argv);
    if (fromMenu && !QDir::setCurrent(QDir::homePath()))
        std::fprintf(stderr, "programador: no se puede entrar en la carpeta personal %s; se trabaja en %s\n",
                     qPrintable(QDir::homePath()), qPrintable(QDir::currentPath()));
    programador::installQtSpanish(app);
    programador::QtMessageBox messages;
    // The program's one serial line, COM1..COM4 on the machine's serial devices.
    programador::SystemDevices devices;
    programador::PortNumbering numbering(devices);
    programador::QSerialPortLine line([&numbering](int n) { return numbering.resolve(n); });
    programador::EventLoopYield events;

    // The bench's sounds, loaded once; it outlives the window that sounds them.
    programador::SoundAlarm alarm;
    programador::MainWindow window(messages, line, events, numbering, QDir::currentPath());
    window.benchWindow().alarm = &alarm;
    window.benchWindow().chooseImage = [](QWidget* parent) { return programador::chooseImageFile(parent, QDir::currentPath()); };
    window.benchWindow().chooseOrderFile = [](QWidget* parent) { return programador::chooseOrderFile(parent, QDir::currentPath()); };
    window.Form_Load();
    window.show();
    if (bench)
        window.banco_Click(orderFile);
    // A logout or a shutdown (SIGTERM, SIGHUP) and kill's SIGINT end the loads as "Cancelar"
    // does, with their rows; the second at once.
    QSocketNotifier interrupts(programador::signalsReadEnd(), QSocketNotifier::Read);
    QObject::connect(&interrupts, &QSocketNotifier::activated, [&window] {
        for (char number; ::read(programador::signalsReadEnd(), &number, 1) == 1;)
            if (number != SIGWINCH)
                window.interrupt(number);
    });
    programador::listen();
    const int status = app.exec();
    const bool leave = window.end();
    if (window.interruptedBy() != 0)
        programador::endBy(window.interruptedBy());
    if (leave)
        programador::leaveNow(status);
    return status;
}
