#include "closed_serial_line.h"
#include "event_loop_yield.h"
#include "main_window.h"
#include "qt_message_box.h"

#include <QApplication>
#include <QDir>

#include <memory>

namespace {

// The program's one serial line. The real port arrives with QSerialPortLine; until then
// every open fails and a load run ends through its error exit.
std::unique_ptr<programador::SerialLine> makeSerialLine()
{
    return std::make_unique<programador::ClosedSerialLine>();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    programador::QtMessageBox messages;
    const std::unique_ptr<programador::SerialLine> line = makeSerialLine();
    programador::EventLoopYield events;

    programador::MainWindow window(messages, *line, events, QDir::currentPath());
    window.Form_Load();
    window.show();
    return app.exec();
}
