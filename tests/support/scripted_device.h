#pragma once

#include "scripted_line.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace programador::testing {

// A well-behaved device on a ScriptedLine, each step adjustable: some time after the port
// opens it sends its start-up announcement; some time after the "*" it sends NAK; after
// each 132-byte block it sends what reply(blockNumber) returns (ACK by default; empty: no
// reply). It keeps what it received.
class ScriptedDevice {
public:
    static constexpr char kNak = 0x15;
    static constexpr char kAck = 0x06;

    ScriptedDevice(ScriptedLine& line) : line_(line)
    {
        line_.onOpen = [this] {
            if (!announcement.isEmpty())
                line_.deliverAfter(announceDelay, announcement);
        };
        line_.onWrite = [this](const QByteArray& bytes) { received(bytes); };
    }

    QByteArray announcement = QByteArrayLiteral("++TA");
    qint64 announceDelay = 2500;      // after the open
    bool sendsNak = true;
    qint64 nakDelay = 300;            // after the "*"
    qint64 replyDelay = 20;           // after a block
    std::function<QByteArray(int block)> reply = [](int) { return QByteArray(1, kAck); };

    int answers = 0;                  // "*" received
    int eots = 0;
    QList<QByteArray> blocks;         // every 132-byte block received, in order
    std::function<void(int block)> onBlock;

    QByteArray data() const
    {
        QByteArray all;
        for (const QByteArray& b : blocks)
            all += b.mid(3, 128);
        return all;
    }

private:
    void received(const QByteArray& bytes)
    {
        if (bytes == "*") {
            ++answers;
            if (sendsNak)
                line_.deliverAfter(nakDelay, QByteArray(1, kNak));
        } else if (bytes == QByteArray(1, '\x04')) {
            ++eots;
        } else if (bytes.size() == 132) {
            blocks.append(bytes);
            const int block = static_cast<int>(blocks.size());
            if (onBlock)
                onBlock(block);
            const QByteArray answer = reply(block);
            if (!answer.isEmpty())
                line_.deliverAfter(replyDelay, answer);
        }
    }

    ScriptedLine& line_;
};

} // namespace programador::testing
