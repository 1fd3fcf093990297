#pragma once

// The real main window on virtual time: a scripted line and device behind it, the
// message boxes recorded. The window owns its tick counters, so the clock and the line
// are made after it and reached through two forwarders.
#include "main_window.h"
#include "recording_messages.h"
#include "scripted_device.h"
#include "scripted_line.h"
#include "virtual_time.h"

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace programador::testing {

class ForwardingYield : public EventYield {
public:
    void yield(bool mayBlock) override { target->yield(mayBlock); }
    EventYield* target = nullptr;
};

class ForwardingLine : public SerialLine {
public:
    void setPortNumber(std::int16_t port) override { target->setPortNumber(port); }
    void setSettings(const QString& settings) override { target->setSettings(settings); }
    void setInputLength(std::int16_t length) override { target->setInputLength(length); }
    void open() override { target->open(); }
    void close() override { target->close(); }
    bool isOpen() const override { return target->isOpen(); }
    void write(const QByteArray& bytes) override { target->write(bytes); }
    int bytesWaiting() override { return target->bytesWaiting(); }
    QByteArray read() override { return target->read(); }
    SerialLine* target = nullptr;
};

struct WindowRig {
    WindowRig()
    {
        window = std::make_unique<MainWindow>(messages, forwardLine, forwardYield, dir.path(), [this] { ++ended; },
                                              Twips(96));
        clock = std::make_unique<VirtualTime>(window->ticks());
        line = std::make_unique<ScriptedLine>(*clock);
        forwardYield.target = clock.get();
        forwardLine.target = line.get();
        window->Form_Load();
        window->show();
    }

    MainWindowUi& ui() { return window->ui(); }

    QString writeImage(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

    // Shows the test directory in the lists, as an operator opening it would.
    void browseToImages() { window->openDirectory(dir.path()); }

    // Clicks a name in File1; false when the list does not show it.
    bool clickFile(const QString& name)
    {
        const QList<QListWidgetItem*> found = ui().File1->findItems(name, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        ui().File1->scrollToItem(found.first());
        const QRect rect = ui().File1->visualItemRect(found.first());
        QTest::mouseClick(ui().File1->viewport(), Qt::LeftButton, {}, rect.center());
        return true;
    }

    QTemporaryDir dir;
    RecordingMessages messages;
    ForwardingYield forwardYield;
    ForwardingLine forwardLine;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<VirtualTime> clock;
    std::unique_ptr<ScriptedLine> line;
    int ended = 0;
};

inline QByteArray patternBytes(int n, int seed)
{
    QByteArray bytes(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 13 + seed) & 0xFF);
    return bytes;
}

} // namespace programador::testing
