#pragma once

#include "links/wireevent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhost {

// Types of the auxiliary (fiscal, DGI) link. They mirror the host link's types with an F
// prefix so that code driving both links reads the same.

// Port of the auxiliary link; any value outside the four opens "COM1".
enum TFCommPort : std::int32_t
{
    FCom1 = 0,
    FCom2 = 1,
    FCom3 = 2,
    FCom4 = 3,
};

enum TFFiscalState : std::int32_t
{
    FEFP_S_Close = 0, // port closed
    FEFP_S_Idle = 1,  // open, no command in progress
    FEFP_S_Busy = 2,  // a command is in progress
};

// The value of LastError. FEFP_E_InvalidDataInField exists only to keep the numbering of the
// host link's codes; the auxiliary link carries any byte and never sets it.
enum TFErrorType : std::int32_t
{
    FEFP_Success = 0,
    FEFP_E_ComInUse = 1,
    FEFP_E_InvalidCom = 2,
    FEFP_E_ComAlreadyOpen = 3,
    FEFP_E_ComAlreadyClose = 4,
    FEFP_E_BadInitialization = 5,
    FEFP_E_ComClose = 6,
    FEFP_E_MaxDataLengthReached = 7,
    FEFP_E_InvalidDataInField = 8,
    FEFP_E_OperationInProgress = 9,
    FEFP_E_WriteError = 10,
    FEFP_E_ReadTimeOut = 11,
    FEFP_E_NackReceived = 12,
};

// The enumerator's own name ("FEFP_E_ReadTimeOut"); "FEFP_Unknown" for a value outside the
// enumeration, so that a corrupted value still prints as something recognisable.
const char* FErrorTypeName(TFErrorType error);

// "COM1" to "COM4"; any other value gives "COM1".
const char* FCommPortName(TFCommPort port);

namespace auxframe {

inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t ETX = 0x03;
inline constexpr std::uint8_t ENQ = 0x05;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;

// The printer takes at most this many data bytes between STX and ETX.
inline constexpr std::size_t MaxDataLength = 256;

// The checksum byte that makes the sum of STX, the data, ETX and itself 0 modulo 256.
std::uint8_t Checksum(std::string_view data);

// Builds the bytes to write for one data text: STX, data, ETX, checksum. A data text that is
// exactly one ENQ is the printer's "are you there" probe and goes out alone, unframed.
// Returns false (frame untouched) when the data exceeds MaxDataLength.
bool BuildFrame(std::string_view data, std::string& frame);

// An answer frame (STX, data, ETX, checksum) is the last one of an answer when its first four
// data characters are one of the printer's final codes; any other frame means more follow.
bool CheckFinalFrame(std::string_view frameText);

// The data of an answer frame: the frame without its STX, ETX and checksum.
std::string AnswerData(std::string_view frameText);

} // namespace auxframe

// Byte-by-byte parser of what the printer sends on the auxiliary link: single ACK and NAK
// bytes between frames, and answer frames STX ... ETX checksum. Inside a frame every byte
// but ETX is data (ACK, NAK and STX included). The parser works on positions in the caller's
// receive buffer so that the caller can cut the frame text out of that buffer afterwards.
class TAuxFrameParser
{
public:
    enum class State : std::uint8_t
    {
        OutsideFrame,
        InFrame,
        ChecksumByte
    };
    enum class Outcome : std::uint8_t
    {
        GoOn,
        Ack,
        Frame
    };

    // What the parser tells its owner while it parses. Called in byte order.
    class Listener
    {
    public:
        virtual void AckReceived() = 0;
        virtual void NackReceived() = 0;
        // A frame ended with a wrong checksum; the parser is back outside a frame.
        virtual void BadChecksum() = 0;
        // Bytes set aside (see TWireKind), in wire order: loose bytes between frames as they
        // are skipped, a refused frame right before BadChecksum(). Optional.
        virtual void Discarded(TWireKind, const std::uint8_t*, std::size_t) {}

    protected:
        ~Listener() = default;
    };

    // Parses buffer[pos, end). Stops right after an ACK outside a frame (Outcome::Ack) or
    // right after the checksum byte of a good frame (Outcome::Frame; FrameStart() is its STX);
    // otherwise parses everything (Outcome::GoOn). `pos` is left past the last byte parsed.
    Outcome Parse(const std::uint8_t* buffer, std::size_t& pos, std::size_t end,
                  Listener& listener);

    void Reset();
    State state() const { return m_state; }
    std::size_t FrameStart() const { return m_frameStart; }

private:
    State m_state = State::OutsideFrame;
    std::uint8_t m_checksum = 0;
    std::size_t m_frameStart = 0;
};

} // namespace tallyhost
