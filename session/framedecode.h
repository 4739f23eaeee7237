#pragma once

#include "core/logrecord.h"
#include "core/termcache.h"
#include "core/termdefs.h"
#include "session/commandvalues.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// A frame of the log taken apart for the engineer who reads it: its framing bytes, each field
// as text and hex, the checksum judged, and what the catalogue says of it (the command it is,
// the status words and return code of an answer, the answer fields by caption). The frames are
// read by the links' own parsers and the answers decoded by the engine's own decoder, so the
// decoding says what the program made of the frame when it crossed the wire.

// One line of the decoding: a name, its value, the bytes in hex where it has some; Depth 1
// lines belong to the line above (a status word's lit records, a command's fields).
struct DecodedLine
{
    int Depth = 0;
    std::string Name;
    std::string Value;
    std::string Hex;
    bool Bad = false; // a wrong checksum, a frame that is no frame
};

// The fields of a host frame as the link reads them (escapes resolved), and whether its
// checksum is right. False when the bytes are no complete host frame.
struct HostFrameParts
{
    std::uint8_t Sequence = 0;
    std::vector<std::string> Fields;
    std::string CheckText; // the four checksum characters as sent
    bool ChecksumGood = false;
};
bool SplitHostFrame(std::string_view bytes, HostFrameParts& parts);

class TLogDecoder
{
public:
    // Without a catalogue, frames are taken apart but not named.
    TLogDecoder();
    // The catalogue (terminal file) that names commands, status bits and answers; an
    // unreadable one names nothing (Error() tells why).
    explicit TLogDecoder(const std::string& cataloguePath);
    ~TLogDecoder();

    bool HasCatalogue() const { return m_cache != nullptr; }
    const std::string& Error() const { return m_error; }

    // `commandFrame` is the host command an answer answers (the last one written with the
    // answer's sequence byte), empty when not known: without it the answer fields keep their
    // numbers.
    std::vector<DecodedLine> Decode(LogPort port, LogDirection direction, std::string_view bytes,
                                    std::string_view commandFrame = {}) const;

    // The catalogue command whose fields a host command's fields are: the same number of
    // fields, and every read-only field of the command (the code the printer knows it by)
    // as the catalogue has it. Null when none is.
    struct Command
    {
        std::string Group;
        std::string Name;
        std::string Section;
        TCommandDefinition Definition;
        // The bytes each read-only field sends (its default as the window's box holds it,
        // converted and escapes expanded), the key the command is known by; none elsewhere.
        std::vector<std::optional<std::string>> Keys;
    };
    const Command* MatchCommand(const std::vector<std::string>& fields) const;

private:
    void DecodeHost(LogDirection direction, std::string_view bytes, std::string_view commandFrame,
                    std::vector<DecodedLine>& out) const;
    // The catalogue's names of a host frame: the command, or the answer's words and fields.
    void NameHostFrame(LogDirection direction, const HostFrameParts& parts,
                       std::string_view commandFrame, std::vector<DecodedLine>& out) const;
    void DecodeFiscal(LogDirection direction, std::string_view bytes,
                      std::vector<DecodedLine>& out) const;

    std::unique_ptr<TTerminalCache> m_cache;
    std::string m_error;
    FileSettings m_settings;
    TStatusTable m_fiscalTable;
    TStatusTable m_printerTable;
    std::vector<Command> m_commands;
};

// The host command the host answer at `index` of `store` answers: the last command frame
// written before it with the answer's sequence byte, looking back at most `searchLines`
// lines; empty when there is none.
std::string_view CommandFrameOf(const LogStore& store, std::size_t index,
                                std::size_t searchLines = 10000);
// The decoding of the line at `index` (an answer with the command it answers); empty for a
// line without bytes.
std::vector<DecodedLine> DecodeStoredLine(const TLogDecoder& decoder, const LogStore& store,
                                          std::size_t index);

} // namespace tallyhost
