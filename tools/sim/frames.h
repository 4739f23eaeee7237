#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The printer's half of both wire protocols: it parses what a host sends and builds what a
// printer answers. This is written independently of the host's own frame code in links/, so
// the simulator is a second reading of the protocol and catches mistakes the host side would
// otherwise share with its tests.
namespace tallyhost::sim {

inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char ENQ = 0x05;
inline constexpr char ACK = 0x06;
inline constexpr char NAK = 0x15;
inline constexpr char DC2 = 0x12;
inline constexpr char ESC = 0x1B;
inline constexpr char FS = 0x1C;

// Sequence byte of the printer's "still working" frames; hosts never use it for commands.
inline constexpr std::uint8_t IntermediateSequence = 0x80;

enum class HostVariant
{
    Compatible,
    Extended
};

// The variant a command frame belongs to, told by its sequence byte: 0x20..0x7F compatible,
// 0x81..0xFF extended. Anything else is not a valid sequence byte.
bool SequenceVariant(std::uint8_t sequence, HostVariant& variant);

// The sequence byte before `sequence` in its variant's range, wrapping; a stale frame uses it.
std::uint8_t PreviousSequence(std::uint8_t sequence);

// Sum of the bytes modulo 65536, the host protocol's checksum.
std::uint16_t HostChecksum(std::string_view bytes);
// Four upper-case hexadecimal digits.
std::string HexWord(std::uint16_t value);

// Builds a host-protocol frame from field texts: STX, sequence, the fields separated by FS
// with control bytes escaped, ETX and the checksum over STX..ETX as sent.
std::string BuildHostFrame(std::uint8_t sequence, const std::vector<std::string>& fields);
// The same frame with its checksum deliberately wrong (for the bad-checksum fault).
std::string CorruptChecksum(const std::string& frame);

// Field list of a final answer frame, laid out as the host reads it.
struct AnswerContent
{
    std::uint16_t PrinterStatus = 0;
    std::uint16_t FiscalStatus = 0;
    std::uint16_t ReturnCode = 0;
    std::vector<std::string> Extra;
    // First field of the command, echoed in field 0 of a compatible answer.
    std::string CommandCode;
};
// How a compatible answer writes its status words: hexadecimal or decimal text.
enum class StatusText
{
    Hex,
    Decimal
};

// Compatible: field 0 the command code, field 1 the printer status, field 2 the fiscal status
// (as text), then the extra fields. Extended: field 0 printer status and field 1 fiscal status
// as two raw big-endian bytes, field 2 reserved, field 3 the return code as two bytes, field 4
// reserved, then the extra fields.
std::vector<std::string> AnswerFields(HostVariant variant, const AnswerContent& content,
                                      StatusText statusText = StatusText::Hex);
// Fields of an intermediate ("still working") frame: the two status words only.
std::vector<std::string> IntermediateFields(HostVariant variant, const AnswerContent& content,
                                            StatusText statusText = StatusText::Hex);

// Byte-by-byte reader of the command frames a host sends, plus its single-byte replies.
// It is as strict as a printer: a compatible frame holds only bytes 0x20..0x7F in its fields
// and knows no escapes; an extended frame escapes control bytes with ESC.
// An unescaped STX anywhere inside a frame starts a new frame (the host escapes STX in data,
// and the compatible variant never sends it), so after line noise or a frame cut short the
// parser resynchronises at the next STX.
class HostCommandParser
{
public:
    enum class Event
    {
        None,
        Ack,
        Nak,
        Frame,
        BadFrame,    // wrong checksum
        RefusedFrame // correct checksum but not a command the printer takes (see Refusal())
    };

    struct Frame
    {
        std::uint8_t Sequence = 0;
        HostVariant Variant = HostVariant::Compatible;
        std::vector<std::string> Fields;
    };

    Event Feed(char byte);
    // Valid after Feed() returned Frame (and BadFrame or RefusedFrame, for the sequence byte).
    const Frame& LastFrame() const { return m_frame; }
    // Fields complete so far of the frame being read (empty outside a frame).
    const std::vector<std::string>& FieldsSoFar() const { return m_frame.Fields; }
    // Why the last frame was refused: a compatible field byte outside 0x20..0x7F (that
    // variant has no escapes, so the host must never send one), or more than
    // MaxDataLength bytes of field data.
    const std::string& Refusal() const { return m_refusal; }
    void Reset();
    bool InFrame() const { return m_state != State::Idle; }

    // Longest frame accepted; a longer run of bytes without ETX is dropped as noise.
    static constexpr std::size_t MaxFrameBytes = 8192;
    static constexpr std::size_t MaxDataLength = 2048;

private:
    enum class State
    {
        Idle,
        Sequence,
        Data,
        Escape,
        Check
    };
    void begin();
    void addData(char byte);

    State m_state = State::Idle;
    std::uint16_t m_sum = 0;
    std::size_t m_length = 0;
    std::string m_field;
    std::string m_check;
    std::size_t m_dataLength = 0;
    std::string m_refusal;
    Frame m_frame;
};

// Fiscal (DGI) port: STX, data, ETX and one byte that makes the whole frame sum to 0 mod 256.
std::uint8_t FiscalChecksum(std::string_view stxToEtx);
std::string BuildFiscalFrame(std::string_view data);
// Answer frames whose data begins with one of these codes end an answer.
bool IsFinalFiscalCode(std::string_view data);

// Reader of what a host sends on the fiscal port: ENQ, ACK, NAK and data frames. Data bytes are
// not escaped on this port, so an STX inside a frame is data; when a frame fails its checksum
// and an inner STX starts a tail that is a correct frame on its own (a frame cut short by a
// new one), that tail is taken: the parser resynchronises at the STX instead of refusing both.
class FiscalCommandParser
{
public:
    enum class Event
    {
        None,
        Enq,
        Ack,
        Nak,
        Frame,
        BadFrame
    };

    Event Feed(char byte);
    // Data of the last good frame (valid after Frame).
    const std::string& LastData() const { return m_data; }
    void Reset();
    bool InFrame() const { return m_state != State::Outside; }

    static constexpr std::size_t MaxFrameBytes = 2048;

private:
    enum class State
    {
        Outside,
        Inside,
        Check
    };
    bool takeValidTail();

    State m_state = State::Outside;
    std::string m_raw; // STX .. ETX of the frame being read
    std::string m_data;
};

// Expands the texts of a scenario answer: "$N" is field N of the command (1-based; on the
// fiscal port "$1" is the whole command data), "$$" a dollar sign, and x'hex digits' raw bytes
// (an odd count of digits gets a leading 0, as the terminal's hex escapes do). Anything else,
// a malformed escape included, stays as written.
std::string ExpandAnswerText(std::string_view text, const std::vector<std::string>& commandFields);
// Only the hex escapes (for Match texts).
std::string ExpandHexEscapes(std::string_view text);

} // namespace tallyhost::sim
