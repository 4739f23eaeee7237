#pragma once

// Helpers for tests that run the host link against a printer played on a pseudo-terminal.

#include "links/fphostcontrol.h"
#include "links/hosttypes.h"
#include "tests/links/ptyprinter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost::testing {

inline std::string Hex(std::string_view bytes)
{
    std::string text;
    char digits[4];
    for (const char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
        if (!text.empty())
            text += ' ';
        text += digits;
    }
    return text;
}

// Runs the event loop until `done` holds or `timeout` passes; returns `done()`.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    return done();
}

// Every event of one link as a line ("write 02 21 03 ...", "ack", "error EFP_E_ReadTimeOut"),
// with the time it was raised.
struct EventLog
{
    std::vector<std::string> Lines;
    std::vector<std::chrono::steady_clock::time_point> Times;
    int Ends = 0; // final answers and errors

    explicit EventLog(TFPHostControl& link)
    {
        auto add = [this](std::string line) {
            Lines.push_back(std::move(line));
            Times.push_back(std::chrono::steady_clock::now());
        };
        QObject::connect(&link, &TFPHostControl::OnOpen, [add](auto*) { add("open"); });
        QObject::connect(&link, &TFPHostControl::OnClose, [add](auto*) { add("close"); });
        QObject::connect(&link, &TFPHostControl::OnAck, [add](auto*) { add("ack"); });
        QObject::connect(&link, &TFPHostControl::OnNack, [add](auto*) { add("nack"); });
        QObject::connect(&link, &TFPHostControl::OnIntermediateAnswer,
                         [add](auto*) { add("intermediate"); });
        QObject::connect(&link, &TFPHostControl::OnFinalAnswer, [this, add](auto* sender) {
            add("final " + std::string(FiscalStateName(sender->State())));
            ++Ends;
        });
        QObject::connect(&link, &TFPHostControl::OnError, [this, add](auto* sender) {
            add("error " + std::string(ErrorTypeName(sender->LastError())));
            ++Ends;
        });
        QObject::connect(&link, &TFPHostControl::OnWrite, [add](auto*, const QByteArray& v) {
            add("write " + Hex(std::string_view(v.constData(), static_cast<size_t>(v.size()))));
        });
        QObject::connect(&link, &TFPHostControl::OnRead, [add](auto*, const QByteArray& v) {
            add("read " + Hex(std::string_view(v.constData(), static_cast<size_t>(v.size()))));
        });
    }
    bool WaitEnds(int ends, std::chrono::milliseconds timeout)
    {
        return RunUntil([&] { return Ends >= ends; }, timeout);
    }
    std::string Joined() const
    {
        std::string all;
        for (const auto& line : Lines)
            all += line + "\n";
        return all;
    }
};

// An answer frame as a printer builds it: STX, sequence, body, ETX, checksum digits.
inline std::string PrinterFrame(std::uint8_t sequence, std::string_view body)
{
    std::string frame = "\x02";
    frame += static_cast<char>(sequence);
    frame += body;
    frame += '\x03';
    unsigned sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", sum & 0xFFFF);
    return frame + digits;
}

// Reads one command frame (STX .. ETX and four checksum characters, ESC-aware) from the link.
inline std::string ReadCommandFrame(PtyPrinter& printer, std::chrono::milliseconds timeout)
{
    std::string frame;
    bool escaped = false;
    int checksumLeft = -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (checksumLeft != 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const std::string byte = printer.Read(1, left);
        if (byte.empty())
            break;
        const char c = byte[0];
        if (frame.empty() && c != '\x02')
            continue; // stray ACK/NAK bytes between frames
        frame += c;
        if (checksumLeft > 0)
            --checksumLeft;
        else if (escaped)
            escaped = false;
        else if (c == '\x1B')
            escaped = true;
        else if (c == '\x03' && frame.size() > 2)
            checksumLeft = 4;
    }
    return frame;
}

} // namespace tallyhost::testing
