#include "qserial_port_line.h"
#include "event_loop_yield.h"
#include "headless.h"
#include "main_window.h"
#include "qt_message_box.h"
#include "qt_spanish.h"

#include <QApplication>
#include <QDir>

#include <memory>

namespace {

// The program's one serial line, COM1..COM4 on the machine's serial devices.
std::unique_ptr<programador::SerialLine> makeSerialLine()
{
    return std::make_unique<programador::QSerialPortLine>();
}

} // namespace

// With arguments, the command line loads an image without a window; without, the window.
int main(int argc, char** argv)
{
    if (argc > 1)
        return programador::runHeadless(argc, argv);
    QApplication app(argc, argv);
    programador::installQtSpanish(app);
    programador::QtMessageBox messages;
    const std::unique_ptr<programador::SerialLine> line = makeSerialLine();
    programador::EventLoopYield events;

    programador::MainWindow window(messages, *line, events, QDir::currentPath());
    window.Form_Load();
    window.show();
    return app.exec();
}
