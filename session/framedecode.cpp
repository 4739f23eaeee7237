#include "session/framedecode.h"

#include "core/answerdecode.h"
#include "core/errors.h"
#include "core/fieldconvert.h"
#include "core/inputrules.h"
#include "core/logformat.h"
#include "core/termfile.h"
#include "links/auxframe.h"
#include "links/hostframe.h"
#include "session/exchange.h"

#include <cstdio>

namespace tallyhost {

namespace {

std::string Hex2(std::uint8_t byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

// What the parser tells while it reads one frame: only the verdict matters here.
class TVerdict : public THostAnswerParser::Listener
{
public:
    bool BadChecksum = false;
    std::size_t JudgedLength = 0; // of a frame refused or set aside, from STX to its end
    void AckReceived() override {}
    void NackReceived() override {}
    void IntermediateAnswer() override {}
    bool WriteReply(std::uint8_t) override { return true; }
    void Discarded(TWireKind kind, const std::uint8_t*, std::size_t length) override
    {
        if (kind == TWireKind::BadChecksum)
            BadChecksum = true;
        if (kind == TWireKind::BadChecksum || kind == TWireKind::KeepAlive)
            JudgedLength = length;
    }
};

std::string SequenceText(std::uint8_t sequence)
{
    if (sequence == hostframe::IntermediateSequence)
        return "80 (still working)";
    if (sequence >= 0x81)
        return Hex2(sequence) + " (extended)";
    if (sequence >= 0x20 && sequence <= 0x7F)
        return Hex2(sequence) + " (compatible)";
    return Hex2(sequence) + " (outside both ranges)";
}

void AddStatus(const std::string& caption, std::uint16_t word,
               const std::vector<StatusPanelText>& panels, std::vector<DecodedLine>& out)
{
    out.push_back({0, caption, StatusWordHex(word), {}, false});
    for (std::size_t i = 0; i < panels.size(); ++i)
        if (panels[i].Matched)
            out.push_back({1, "Panel " + std::to_string(i + 1), panels[i].Text, {}, false});
}

} // namespace

bool SplitHostFrame(std::string_view bytes, HostFrameParts& parts)
{
    if (bytes.size() < 7 || static_cast<std::uint8_t>(bytes[0]) != hostframe::STX)
        return false;
    THostAnswerParser parser;
    // The frame's own sequence byte makes it the one the parser waits for.
    parser.SetCommandSequence(static_cast<std::uint8_t>(bytes[1]));
    TVerdict verdict;
    std::size_t pos = 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    parser.Parse(data, pos, bytes.size(), verdict);
    // A complete frame leaves the parser after its last checksum character, at the end.
    const bool complete = parser.state() == THostAnswerParser::State::Idle ||
                          parser.state() == THostAnswerParser::State::Acknowledged;
    // One frame, all of it: a refused or intermediate frame is told with its length (the
    // parser drops what follows it), a final one leaves the parser at its end.
    const bool whole =
        verdict.JudgedLength ? verdict.JudgedLength == bytes.size() : pos == bytes.size();
    if (!complete || !whole)
        return false;
    parts.Sequence = static_cast<std::uint8_t>(bytes[1]);
    parts.Fields = parser.Fields();
    parts.CheckText = std::string(bytes.substr(bytes.size() - 4));
    parts.ChecksumGood = !verdict.BadChecksum;
    return true;
}

TLogDecoder::TLogDecoder() = default;

TLogDecoder::TLogDecoder(const std::string& cataloguePath)
{
    if (cataloguePath.empty())
        return;
    auto cache = std::make_unique<TTerminalCache>();
    if (!cache->LoadFromFile(cataloguePath)) {
        m_error = "cannot read " + cataloguePath;
        return;
    }
    try {
        m_settings = ReadFileSettings(cataloguePath);
        LoadStatusRecords(*cache, SectionFiscalAnswer, m_fiscalTable);
        LoadStatusRecords(*cache, SectionPrinterAnswer, m_printerTable);
    } catch (const tallyhost::Error& error) {
        m_error = error.what();
    }
    for (const std::string& group : cache->ReadSection(SectionGroups)) {
        for (const std::string& name : cache->ReadSection(group)) {
            Command command{group, name, CommandSectionName(group, name), {}};
            try {
                LoadCommandFields(*cache, command.Section, command.Definition);
                for (int i = 0; i < command.Definition.FieldCount; ++i) {
                    const TCommandFieldDef& f = command.Definition.Fields[std::size_t(i)];
                    command.Keys.push_back(
                        f.ReadOnly
                            ? std::optional(FieldFrameBytes(
                                  f, {InitialBoxText(f.TextType, f.MaxLength, f.DefaultText)},
                                  m_settings.InputDateFormat))
                            : std::nullopt);
                }
            } catch (const tallyhost::Error&) {
                continue; // a broken definition (or a key it cannot send) names no frame
            }
            if (command.Definition.FieldCount > 0)
                m_commands.push_back(std::move(command));
        }
    }
    m_cache = std::move(cache);
}

TLogDecoder::~TLogDecoder() = default;

const TLogDecoder::Command* TLogDecoder::MatchCommand(const std::vector<std::string>& fields) const
{
    for (const Command& command : m_commands) {
        const TCommandDefinition& def = command.Definition;
        if (def.Mode != cmHost || def.FieldCount != static_cast<int>(fields.size()))
            continue;
        bool keyed = false;
        bool same = true;
        for (int i = 0; i < def.FieldCount && same; ++i) {
            const auto& key = command.Keys[static_cast<std::size_t>(i)];
            if (!key)
                continue;
            keyed = true;
            same = *key == fields[static_cast<std::size_t>(i)];
        }
        if (keyed && same)
            return &command;
    }
    return nullptr;
}

std::vector<DecodedLine> TLogDecoder::Decode(LogPort port, LogDirection direction,
                                             std::string_view bytes,
                                             std::string_view commandFrame) const
{
    std::vector<DecodedLine> out;
    if (bytes.size() == 1) {
        const auto byte = static_cast<std::uint8_t>(bytes[0]);
        const char* name = byte == hostframe::ACK   ? "ACK (taken)"
                           : byte == hostframe::NAK ? "NAK (refused, send again)"
                           : byte == hostframe::DC2 ? "DC2 (still working)"
                           : byte == auxframe::ENQ  ? "ENQ (are you there?)"
                                                    : "a single byte";
        out.push_back({0, "Byte", name, Hex2(byte), false});
        return out;
    }
    if (port == LogPort::Fiscal)
        DecodeFiscal(direction, bytes, out);
    else
        DecodeHost(direction, bytes, commandFrame, out);
    return out;
}

void TLogDecoder::DecodeHost(LogDirection direction, std::string_view bytes,
                             std::string_view commandFrame, std::vector<DecodedLine>& out) const
{
    HostFrameParts parts;
    if (!SplitHostFrame(bytes, parts)) {
        out.push_back(
            {0, "Not a host frame", std::to_string(bytes.size()) + " bytes", HexText(bytes), true});
        return;
    }
    // What the frame means first, then the frame itself (its bytes under one line).
    NameHostFrame(direction, parts, commandFrame, out);
    const std::string expected = hostframe::CheckSumText(bytes.substr(0, bytes.size() - 4));
    out.push_back(
        {0,
         "Frame",
         std::to_string(bytes.size()) + " bytes, checksum " + (parts.ChecksumGood ? "good" : "bad"),
         {},
         !parts.ChecksumGood});
    out.push_back({1, "STX", {}, "02", false});
    out.push_back({1, "Sequence", SequenceText(parts.Sequence), Hex2(parts.Sequence), false});
    for (std::size_t i = 0; i < parts.Fields.size(); ++i)
        out.push_back({1, "Field " + std::to_string(i + 1), BytesAsText(parts.Fields[i]),
                       HexText(parts.Fields[i]), false});
    out.push_back({1, "ETX", {}, "03", false});
    out.push_back({1, "Checksum",
                   parts.ChecksumGood
                       ? parts.CheckText + " (good)"
                       : parts.CheckText + " (bad: the bytes sum to " + expected + ")",
                   HexText(parts.CheckText), !parts.ChecksumGood});
}

void TLogDecoder::NameHostFrame(LogDirection direction, const HostFrameParts& parts,
                                std::string_view commandFrame, std::vector<DecodedLine>& out) const
{
    const bool extended = parts.Sequence >= 0x80;
    if (direction == LogDirection::Sent) {
        const Command* command = MatchCommand(parts.Fields);
        if (!command) {
            out.push_back({0,
                           "Command",
                           HasCatalogue() ? "not in the catalogue" : "no catalogue",
                           {},
                           false});
            return;
        }
        out.push_back({0, "Command", command->Group + " / " + command->Name, {}, false});
        // Each value read back as an answer field of the same type is shown: 00001000 of a
        // Currency field with three decimals is 00001.000, a date picker's frame a date.
        AnswerDisplayOptions shown;
        shown.InputDateFormat = m_settings.InputDateFormat;
        shown.OutputDateFormat = m_settings.OutputDateFormat;
        for (int i = 0; i < command->Definition.FieldCount; ++i) {
            const TCommandFieldDef& field = command->Definition.Fields[static_cast<std::size_t>(i)];
            const std::uint8_t type = field.ControlType == ctDate   ? TextTypeDate
                                      : field.ControlType == ctTime ? TextTypeTime
                                                                    : field.TextType;
            const std::string& value = parts.Fields[static_cast<std::size_t>(i)];
            out.push_back({1, CaptionWithoutAccelerator(field.Caption),
                           BytesAsText(FormatAnswerValue({field.Caption, type, field.DecimalDigits},
                                                         value, shown)),
                           HexText(value), false});
        }
        return;
    }

    // The printer's answer, read as the host link reads a final answer.
    ExchangeResult answer;
    const hostframe::FinalAnswer final = hostframe::ReadFinalAnswer(
        extended ? protocol_Extended : protocol_Compatible, parts.Fields);
    answer.FiscalStatus = final.FiscalStatus;
    answer.PrinterStatus = final.PrinterStatus;
    answer.ReturnCode = final.ReturnCode;
    answer.ExtraFields = final.ExtraFields;
    if (parts.Sequence == hostframe::IntermediateSequence) {
        out.push_back({0, "Answer", "the printer is still working", {}, false});
        answer.ExtraFields.clear();
    }

    std::string section;
    TCommandDefinition names;
    HostFrameParts command;
    if (!commandFrame.empty() && SplitHostFrame(commandFrame, command)) {
        if (const Command* match = MatchCommand(command.Fields)) {
            section = match->Section;
            names = match->Definition;
            out.push_back({0, "Answer to", match->Group + " / " + match->Name, {}, false});
        }
    }
    ExchangeSettings settings;
    settings.Protocol = extended ? 1 : 0;
    settings.InputDateFormat = m_settings.InputDateFormat;
    settings.OutputDateFormat = m_settings.OutputDateFormat;
    settings.ExtReservedFields = false;
    DecodeAnswer(answer, section.empty() ? nullptr : m_cache.get(), section, names, settings,
                 m_fiscalTable, m_printerTable);
    if (section.empty() && m_cache)
        answer.ReturnCodeDescription = ReturnCodeText(*m_cache, std::to_string(answer.ReturnCode));
    AddStatus("Fiscal status", answer.FiscalStatus, answer.FiscalPanels, out);
    AddStatus("Printer status", answer.PrinterStatus, answer.PrinterPanels, out);
    if (extended && parts.Sequence != hostframe::IntermediateSequence)
        out.push_back(
            {0,
             "Return code",
             std::to_string(answer.ReturnCode) +
                 (answer.ReturnCodeDescription.empty()
                      ? std::string()
                      : " " + ReturnCodeHint(answer.ReturnCode, answer.ReturnCodeDescription)),
             {},
             false});
    // As the answer display lists them; the return code is told above.
    for (const AnswerEntry& entry : answer.AnswerFields) {
        if (!entry.Visible || (extended && entry.Label == "Return code"))
            continue;
        out.push_back({0, entry.Label, entry.Value, {}, false});
    }
}

void TLogDecoder::DecodeFiscal(LogDirection direction, std::string_view bytes,
                               std::vector<DecodedLine>& out) const
{
    const bool framed = bytes.size() >= 3 && static_cast<std::uint8_t>(bytes[0]) == auxframe::STX &&
                        static_cast<std::uint8_t>(bytes[bytes.size() - 2]) == auxframe::ETX;
    if (!framed) {
        out.push_back({0, "Not a fiscal frame", std::to_string(bytes.size()) + " bytes",
                       HexText(bytes), true});
        return;
    }
    const std::string data = auxframe::AnswerData(bytes);
    const auto sent = static_cast<std::uint8_t>(bytes.back());
    const std::uint8_t expected = auxframe::Checksum(data);
    out.push_back({0, "STX", {}, "02", false});
    out.push_back({0, "Text", BytesAsText(data), HexText(data), false});
    out.push_back({0, "ETX", {}, "03", false});
    out.push_back({0, "Checksum",
                   sent == expected ? Hex2(sent) + " (good)"
                                    : Hex2(sent) + " (bad: it should be " + Hex2(expected) + ")",
                   Hex2(sent), sent != expected});
    if (direction == LogDirection::Received) {
        if (auxframe::CheckFinalFrame(bytes))
            out.push_back({0, "Final code", data.substr(0, 4), {}, false});
        else
            out.push_back({0, "Final code", "none: more frames follow", {}, false});
    }
}

std::string_view CommandFrameOf(const LogStore& store, std::size_t index, std::size_t searchLines)
{
    const LogRecord& answer = store.At(index);
    const std::string_view bytes = store.Payload(index);
    if (answer.Port != LogPort::Host || answer.Direction != LogDirection::Received ||
        bytes.size() < 2)
        return {};
    const std::size_t stop = index > searchLines ? index - searchLines : 0;
    for (std::size_t i = index; i-- > stop;) {
        const LogRecord& r = store.At(i);
        const std::string_view candidate = store.Payload(i);
        if (r.Port == LogPort::Host && r.Direction == LogDirection::Sent &&
            r.Kind == LogKind::Frame && candidate.size() > 1 && candidate[1] == bytes[1])
            return candidate;
    }
    return {};
}

std::vector<DecodedLine> DecodeStoredLine(const TLogDecoder& decoder, const LogStore& store,
                                          std::size_t index)
{
    const LogRecord& record = store.At(index);
    if (record.Content == LogContent::Text)
        return {};
    return decoder.Decode(record.Port, record.Direction, store.Payload(index),
                          CommandFrameOf(store, index));
}

} // namespace tallyhost
