#pragma once

#include "links/hosttypes.h"
#include "links/wireevent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// Bytes of the host port: command frames, the single-byte signals and answer frames. Pure
// functions and a byte-fed parser; no I/O here (the worker in links/commthread.h does that).
//
// Command frame: STX, sequence byte, field 1, FS, ..., field n, ETX, four upper-case
// hexadecimal checksum digits (the sum modulo 65536 of every byte from STX through ETX as
// sent). Answer frames have the same shape; inside their fields an ESC makes the next byte
// plain data.
namespace hostframe {

inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t ETX = 0x03;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t DC2 = 0x12;
inline constexpr std::uint8_t ESC = 0x1B;
inline constexpr std::uint8_t FS = 0x1C;

// Sequence byte of the printer's "still working" frames; the host never sends it.
inline constexpr std::uint8_t IntermediateSequence = 0x80;

// Field data of one command, counted before escaping and without separators.
inline constexpr std::size_t MaxDataLength = 2048;
// The worker's send and receive buffers.
inline constexpr std::size_t BufferSize = 8192;

// Sum modulo 65536 of the bytes as unsigned values.
std::uint16_t Sum(std::string_view bytes);
// The four checksum characters of `bytes` (the frame from STX through ETX): "01F3".
std::string CheckSumText(std::string_view bytes);
// Four checksum characters read back as a number; either case is accepted. Anything that is
// not four hexadecimal digits counts as 0, as the printer's firmware reads it.
std::uint16_t ParseCheckSumText(std::string_view text);

// Appends one field and its FS to the command being built. Compatible protocol: every byte
// must lie in 0x20..0x7F; at the first one that does not, false is returned and the bytes of
// the field before it stay appended (the caller refuses the whole command). Extended protocol:
// every byte goes, STX, ETX and 0x1A..0x1F each behind an ESC.
bool AppendField(TProtocolType protocol, std::string_view field, std::string& buffer);
// Whether the extended protocol sends `byte` behind an ESC.
bool NeedsEscape(std::uint8_t byte);

// The finished frame for a buffer of appended fields: drops the FS behind the last field (an
// empty buffer has none), puts STX and `sequence` in front, appends ETX and the checksum.
std::string BuildFrame(std::string_view fieldBuffer, std::uint8_t sequence);

// The sequence byte after `last`: last + 1, or the lowest of the protocol's range when `last`
// is its highest value or lies outside it. Compatible 0x20..0x7F, extended 0x81..0xFF.
std::uint8_t NextSequence(TProtocolType protocol, std::uint8_t last);
// A starting point in the protocol's range for a random number `random` (any value; it is
// reduced to the range). The next command then carries that point plus one.
std::uint8_t FirstSequence(TProtocolType protocol, std::uint32_t random);

// A status field of the extended protocol: its first two bytes as a big-endian number, an
// empty field reading as "00" and a one-byte field getting a "0" in front (0x05 -> 0x3005).
std::uint16_t FormatExtenFixedField(std::string_view field);

// A status field of the compatible protocol. The printers send their status words as
// hexadecimal text ("0080", "C0A4"), and the answer display decodes them with hexadecimal
// masks, so the field is read as a hexadecimal number: blanks around it are ignored, either
// case is accepted and a longer number keeps its low 16 bits. An empty field, or one that is
// not a hexadecimal number, reads as 0.
std::uint16_t CompatibleStatusField(std::string_view field);

// What a final answer tells the host link.
struct FinalAnswer
{
    std::uint16_t PrinterStatus = 0;
    std::uint16_t FiscalStatus = 0;
    std::uint16_t ReturnCode = 0;
    bool HasExtraFields = false;
    std::vector<std::string> ExtraFields;
};

// Compatible: field 0 unused, printer status field 1, fiscal status field 2, no return code,
// extra fields 3.. . Extended: printer status field 0, fiscal status field 1, return code
// field 3, extra fields 5.. (fields 2 and 4 unused). Missing statuses are 0.
FinalAnswer ReadFinalAnswer(TProtocolType protocol, const std::vector<std::string>& fields);

} // namespace hostframe

// Byte-fed recogniser of what the printer sends on the host port: ACK, NAK and DC2 between
// frames, and answer frames (intermediate, final or stale, by their sequence byte). It works
// on positions in the caller's receive buffer so that the caller can cut the frame text out of
// it afterwards, and it answers frames through its listener (ACK for a good frame, NAK for a
// bad checksum), which is the only way it reaches the port.
class THostAnswerParser
{
public:
    enum class State : std::uint8_t
    {
        Idle,         // start of an exchange
        Acknowledged, // the printer took the command
        Sequence,
        Data,
        Escape,
        Check1,
        Check2,
        Check3,
        Check4,
    };
    enum class Outcome : std::uint8_t
    {
        GoOn,
        FinalFrame
    };

    class Listener
    {
    public:
        virtual void AckReceived() = 0;
        virtual void NackReceived() = 0;
        // A DC2 or an intermediate frame: the printer is still working.
        virtual void IntermediateAnswer() = 0;
        // Writes one ACK or NAK to the printer; returns whether the write succeeded.
        virtual bool WriteReply(std::uint8_t byte) = 0;
        // Bytes the parser set aside (see TWireKind), in wire order: loose bytes as they are
        // skipped, a refused or stale frame before its reply is written, a keep-alive before
        // it is reported. Optional.
        virtual void Discarded(TWireKind, const std::uint8_t*, std::size_t) {}

    protected:
        ~Listener() = default;
    };

    // Sequence byte of the command being answered: a frame carrying it is the final one.
    void SetCommandSequence(std::uint8_t sequence) { m_commandSequence = sequence; }

    // Parses buffer[pos, end) and leaves `pos` past the bytes it consumed. Stops right after the
    // last checksum character of the final frame (Outcome::FinalFrame; FrameStart() is its
    // STX, Fields() its fields, AckWritten() the fate of the ACK). After a bad checksum the rest
    // of the chunk is discarded (`pos` = end): the printer will send the frame again.
    Outcome Parse(const std::uint8_t* buffer, std::size_t& pos, std::size_t end,
                  Listener& listener);

    // Back to Idle with empty texts; the field list of the last frame stays until the next STX.
    void Reset();

    State state() const { return m_state; }
    std::size_t FrameStart() const { return m_frameStart; }
    const std::vector<std::string>& Fields() const { return m_fields; }
    std::vector<std::string>& Fields() { return m_fields; }
    bool AckWritten() const { return m_ackWritten; }
    // Set when an intermediate frame was recognised; the owner clears it once it has dropped
    // the frame's bytes from its buffer.
    bool IntermediateSeen() const { return m_intermediate; }
    void ClearIntermediate() { m_intermediate = false; }
    // The caller moved the buffer's bytes `offset` places towards its start; the frame being
    // read (which starts at or after `offset`) moved with them.
    void BufferMovedBack(std::size_t offset) { m_frameStart -= offset; }

private:
    enum class Judgement : std::uint8_t
    {
        BadChecksum,
        Intermediate,
        Final,
        Stale
    };
    Judgement Judge(Listener& listener, const std::uint8_t* buffer, std::size_t end);

    State m_state = State::Idle;
    std::uint16_t m_checksum = 0;
    std::uint8_t m_sequence = 0;
    std::uint8_t m_commandSequence = 0;
    std::string m_field;
    std::string m_checkText;
    std::size_t m_frameStart = 0;
    std::vector<std::string> m_fields;
    bool m_ackWritten = false;
    bool m_intermediate = false;
};

} // namespace tallyhost
