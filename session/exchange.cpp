// The exchange engine. Its rules are the terminal window's (and tallyhost-cli's): one place
// decides what goes into a frame, when it goes, and what the operator is told of the end.

#include "session/exchange.h"

#include "core/errors.h"
#include "core/inputrules.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"

#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <utility>

namespace tallyhost {

namespace {

// The operator's words for a failed exchange. They stand here and nowhere else.
constexpr const char* NotReadyText = "Communication errors!!! Fiscal printer not ready.";
constexpr const char* BadFrameText = "Error!!! Bad data in frame.";

std::string CaptionOf(const ExchangeRequest& request, int field)
{
    if (field < 0 || field >= MaxFields)
        return {};
    return CaptionWithoutAccelerator(request.Definition.Fields[field].Caption);
}

int FieldCount(const ExchangeRequest& request)
{
    const int count = std::clamp(request.Definition.FieldCount, 0, MaxFields);
    return std::min(count, static_cast<int>(request.Inputs.size()));
}

// Counts the nesting of a link signal's handling.
class TSignalDepth
{
public:
    explicit TSignalDepth(int& depth) : m_depth(depth) { ++m_depth; }
    ~TSignalDepth() { --m_depth; }
    TSignalDepth(const TSignalDepth&) = delete;
    TSignalDepth& operator=(const TSignalDepth&) = delete;

private:
    int& m_depth;
};

} // namespace

const char* StateWordText(StateWord word)
{
    switch (word) {
    case StateWord::Ready:
        return "Ready";
    case StateWord::Error:
        return "Error";
    case StateWord::Sending:
        return "Sending ...";
    case StateWord::TimeOut:
        return "TimeOut";
    case StateWord::Abort:
        return "Abort";
    }
    return "";
}

int EmptyRequiredField(const ExchangeRequest& request)
{
    for (int i = 0; i < FieldCount(request); ++i) {
        const TCommandFieldDef& field = request.Definition.Fields[i];
        if (field.ControlType == ctDate || field.ControlType == ctTime || field.ReadOnly)
            continue;
        if (!MayLeaveBox(field.Required, request.Inputs[static_cast<std::size_t>(i)].Text))
            return i;
    }
    return -1;
}

std::string FrameFields(const ExchangeRequest& request, int inputDateFormat, int run,
                        std::vector<std::string>& fields, int* refusedField)
{
    fields.clear();
    for (int i = 0; i < FieldCount(request); ++i) {
        std::string refusal;
        if (i == request.UnreadableField) {
            refusal = "a character that the frame cannot carry";
        } else {
            try {
                fields.push_back(FieldFrameBytes(request.Definition.Fields[i],
                                                 request.Inputs[static_cast<std::size_t>(i)],
                                                 inputDateFormat, run));
                continue;
            } catch (const FieldValueError& e) {
                refusal = e.what();
            }
        }
        if (refusedField)
            *refusedField = i;
        return std::string(BadUserDataMessage) + ": field '" + CaptionOf(request, i) +
               "': " + refusal;
    }
    return {};
}

TExchangeEngine::TExchangeEngine(QObject* parent) : QObject(parent) {}

TExchangeEngine::~TExchangeEngine()
{
    for (const auto& c : m_connections)
        disconnect(c);
}

void TExchangeEngine::SetLinks(TFPHostControl* host, TFPAuxControl* aux)
{
    if (m_host == host && m_aux == aux)
        return;
    m_host = host;
    m_aux = aux;
    ConnectLinks();
}

void TExchangeEngine::SetStatusTables(const TStatusTable& fiscal, const TStatusTable& printer)
{
    m_fiscalTable = fiscal;
    m_printerTable = printer;
}

void TExchangeEngine::ConnectLinks()
{
    for (const auto& c : m_connections)
        disconnect(c);
    m_connections.clear();
    if (TFPHostControl* host = m_host) {
        m_connections = {
            connect(host, &TFPHostControl::OnFinalAnswer, this, [this] { OnHostFinal(); }),
            connect(host, &TFPHostControl::OnError, this, [this] { OnHostError(); }),
            connect(host, &TFPHostControl::OnClose, this, [this] { OnLinkClosed(false); }),
            connect(host, &TFPHostControl::OnOpen, this, [this] { ScheduleStep(); }),
            connect(host, &TFPHostControl::OnWrite, this,
                    [this](TFPHostControl*, const QByteArray& v) { OnWire(false, true, v); }),
            connect(host, &TFPHostControl::OnRead, this,
                    [this](TFPHostControl*, const QByteArray& v) { OnWire(false, false, v); }),
            connect(host, &QObject::destroyed, this, [this] { ScheduleStep(); }),
        };
    }
    if (TFPAuxControl* aux = m_aux) {
        m_connections.insert(
            m_connections.end(),
            {
                connect(aux, &TFPAuxControl::OnAnswer, this,
                        [this](TFPAuxControl*, bool final) { OnAuxAnswer(final); }),
                connect(aux, &TFPAuxControl::OnAck, this, [this] { OnAuxAck(); }),
                connect(aux, &TFPAuxControl::OnError, this, [this] { OnAuxError(); }),
                connect(aux, &TFPAuxControl::OnClose, this, [this] { OnLinkClosed(true); }),
                connect(aux, &TFPAuxControl::OnOpen, this, [this] { ScheduleStep(); }),
                connect(aux, &TFPAuxControl::OnWrite, this,
                        [this](TFPAuxControl*, const QByteArray& v) { OnWire(true, true, v); }),
                connect(aux, &TFPAuxControl::OnRead, this,
                        [this](TFPAuxControl*, const QByteArray& v) { OnWire(true, false, v); }),
                connect(aux, &QObject::destroyed, this, [this] { ScheduleStep(); }),
            });
    }
}

bool TExchangeEngine::Send(const ExchangeRequest& request)
{
    return Start(request, 1, false);
}

bool TExchangeEngine::Repeat(const ExchangeRequest& request, int count)
{
    if (request.Definition.Mode == cmFiscal || count < 1 || count > MaxRepeatCount)
        return false;
    return Start(request, count, true);
}

bool TExchangeEngine::Start(const ExchangeRequest& request, int count, bool repeat)
{
    if (Busy())
        return false;
    ++m_generation;
    m_request = request;
    m_result = ExchangeResult{};
    m_result.Fiscal = request.Definition.Mode == cmFiscal;
    m_result.Section = request.Section;
    m_result.Repeat = repeat;
    m_result.Requested = count;
    if (repeat)
        m_result.Tally.emplace(count);
    m_closedWhileWaiting = false;
    m_phase = Phase::Waiting;

    if (FieldCount(request) <= 0) {
        Finish(ExchangeOutcome::NothingToSend);
        return true;
    }
    // A Required box cannot be left empty by tabbing away; the buttons may not send it
    // empty either.
    if (const int field = EmptyRequiredField(request); field >= 0) {
        m_result.RefusedField = field;
        m_result.Refusal = "field '" + CaptionOf(request, field) + "' is required";
        m_result.FaultText = BadUserDataText(request.Definition.Fields[field].Caption);
        m_result.Word = StateWord::Error;
        Finish(ExchangeOutcome::RefusedValue);
        return true;
    }
    // Inside a fiscal link's signal (a receiver of Finished sending the next command) the
    // link turns idle only once that signal's handlers have returned.
    if (m_inAuxSignal > 0)
        ScheduleStep();
    else
        Step();
    return true;
}

void TExchangeEngine::ScheduleStep()
{
    if (m_phase != Phase::Waiting || m_stepQueued)
        return;
    m_stepQueued = true;
    const unsigned generation = m_generation;
    // After the handlers of the signal that brought us here have returned: the fiscal link
    // turns idle only then.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            m_stepQueued = false;
            if (generation == m_generation && m_phase == Phase::Waiting)
                Step();
        },
        Qt::QueuedConnection);
}

void TExchangeEngine::Step()
{
    const bool fiscal = m_result.Fiscal;
    bool idle = false;
    bool closed = false;
    if (fiscal) {
        closed = !m_aux || m_aux->State() == FEFP_S_Close;
        idle = !closed && m_aux->State() == FEFP_S_Idle;
    } else {
        closed = !m_host || m_host->State() == EFP_S_Close;
        idle = !closed && m_host->State() == EFP_S_Idle;
    }
    // A port closed and opened again while we waited looks idle, but the command we waited
    // for (a run of ours) went with the port all the same.
    if (closed || (idle && m_closedWhileWaiting)) {
        m_result.Refusal = std::string("the ") + (fiscal ? "fiscal" : "host") +
                           (closed ? " port is not open" : " port was closed meanwhile");
        m_result.Word = StateWord::Error;
        if (m_result.Run > 0 && m_result.Tally)
            m_result.Tally->Failed();
        Finish(ExchangeOutcome::PortClosed);
        return;
    }
    if (idle)
        HandOver();
    // Busy: one of the link's signals brings us back.
}

void TExchangeEngine::HandOver()
{
    const int run = m_result.Run + 1;
    const bool fiscal = m_result.Fiscal;
    if (!fiscal) {
        // A busy link ignores a protocol change: the file's protocol is set here, where the
        // link is idle, or a file opened during an exchange would build frames in the old one.
        const auto protocol = m_settings.Protocol == 1 ? protocol_Extended : protocol_Compatible;
        if (m_host->ProtocolType() != protocol)
            m_host->SetProtocolType(protocol);
    }

    std::vector<std::string> fields;
    int refused = -1;
    std::string refusal = FrameFields(m_request, m_settings.InputDateFormat,
                                      m_result.Repeat ? run : 0, fields, &refused);
    auto refuseValue = [&](std::string refusal) {
        m_result.Refusal = std::move(refusal);
        m_result.RefusedField = refused;
        m_result.FaultText =
            BadUserDataText(refused >= 0 ? m_request.Definition.Fields[refused].Caption : "");
        m_result.Word = StateWord::Error;
        // A Send purges both links, a Repeat the host link only.
        if (m_host)
            m_host->Purge();
        if (!m_result.Repeat && m_aux)
            m_aux->Purge();
        Finish(ExchangeOutcome::RefusedValue);
    };
    if (!refusal.empty()) {
        refuseValue(std::move(refusal));
        return;
    }

    if (fiscal) {
        std::string text;
        for (const std::string& field : fields)
            text += field;
        m_result.FiscalText = text;
        if (!m_aux->SendData(text)) {
            m_result.Refusal = std::string("the fiscal link refuses the text (") +
                               FErrorTypeName(m_aux->LastError()) + ")";
            m_result.Word = StateWord::Error;
            m_aux->Purge();
            Finish(ExchangeOutcome::LinkRefused);
            return;
        }
    } else {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (!m_host->AddDataField(fields[i])) {
                refused = static_cast<int>(i);
                refuseValue(std::string(BadUserDataMessage) + ": the host link refuses a field (" +
                            ErrorTypeName(m_host->LastError()) + ")");
                return;
            }
        }
        if (!m_host->SendCommand() || m_host->LastError() != EFP_Success) {
            m_result.Refusal = std::string("the host link refuses the command (") +
                               ErrorTypeName(m_host->LastError()) + ")";
            m_result.Word = StateWord::Error;
            m_host->Purge();
            Finish(ExchangeOutcome::LinkRefused);
            return;
        }
    }
    m_result.Run = run;
    m_sentSection = m_request.Section;
    if (m_result.Tally)
        m_result.Tally->CommandSent();
    m_phase = Phase::InFlight;
    m_closedInFlight = false;
    emit HandedOver(run, m_result.Requested);
}

bool TExchangeEngine::AnswerAwaited() const
{
    return m_phase == Phase::InFlight && m_result.Run == m_result.Requested;
}

void TExchangeEngine::Cancel(StateWord word)
{
    if (m_host)
        m_host->Purge();
    if (m_aux)
        m_aux->Purge();
    if (!Busy())
        return;
    m_result.Word = word;
    Finish(ExchangeOutcome::Cancelled);
}

void TExchangeEngine::Withdraw()
{
    if (m_phase != Phase::Waiting || m_result.Run > 0)
        return;
    Finish(ExchangeOutcome::Cancelled);
}

void TExchangeEngine::Finish(ExchangeOutcome outcome)
{
    m_result.Outcome = outcome;
    m_phase = Phase::Idle;
    ++m_generation;
    m_last = std::move(m_result);
    m_result = ExchangeResult{};
    // A copy: a receiver may start the next exchange, which replaces m_last.
    const ExchangeResult result = m_last;
    emit Finished(result);
}

void TExchangeEngine::FinishFault(int linkError, bool fiscal)
{
    // Both links number their errors alike: 10 write error, 11 time-out, 12 NAK.
    m_result.LastError = fiscal ? FErrorTypeName(static_cast<TFErrorType>(linkError))
                                : ErrorTypeName(static_cast<TErrorType>(linkError));
    if (m_result.Tally)
        m_result.Tally->Failed();
    if (linkError == EFP_E_NackReceived) {
        m_result.FaultText = BadFrameText;
        m_result.Word = StateWord::Error;
        Finish(ExchangeOutcome::RefusedNak);
        return;
    }
    // Any other failure of a command in flight is one the printer did not answer: saying
    // nothing would leave "Sending ..." standing over an exchange that has ended.
    m_result.FaultText = NotReadyText;
    m_result.Word = StateWord::TimeOut;
    Finish(linkError == EFP_E_WriteError ? ExchangeOutcome::WriteError : ExchangeOutcome::NoAnswer);
}

void TExchangeEngine::OnLinkClosed(bool fiscal)
{
    if (m_phase == Phase::Idle || fiscal != m_result.Fiscal)
        return;
    if (m_phase == Phase::Waiting) {
        m_closedWhileWaiting = true;
        ScheduleStep();
        return;
    }
    // The port went with the command: no report of the link's own will follow. Told once
    // whoever closed the port has finished doing so (its own state, a reopened port), as a
    // posted notification would be; the command is lost whatever happens meanwhile.
    if (m_closedInFlight)
        return;
    m_closedInFlight = true;
    const unsigned generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation || m_phase != Phase::InFlight)
                return;
            if (m_result.Tally)
                m_result.Tally->Failed();
            m_result.Refusal = std::string("the ") + (m_result.Fiscal ? "fiscal" : "host") +
                               " port was closed with the command out";
            m_result.Word = StateWord::Error;
            Finish(ExchangeOutcome::PortClosed);
        },
        Qt::QueuedConnection);
}

void TExchangeEngine::OnWire(bool fiscal, bool written, const QByteArray& bytes)
{
    if (m_phase != Phase::InFlight || fiscal != m_result.Fiscal)
        return;
    m_result.Wire.push_back({fiscal, written, bytes.toStdString()});
    // One byte is the ACK or NAK we send; longer is the command frame.
    if (written && bytes.size() > 1 && m_result.Tally)
        m_result.Tally->FrameWritten(RepeatTally::Clock::now());
}

void TExchangeEngine::OnHostFinal()
{
    if (m_result.Fiscal) {
        ScheduleStep();
        return;
    }
    if (m_phase == Phase::Waiting) {
        ScheduleStep();
        return;
    }
    if (m_phase != Phase::InFlight || m_closedInFlight)
        return;
    if (m_host->LastResponseMs() >= 0)
        m_result.ResponseMs = m_host->LastResponseMs();
    if (m_result.Tally) {
        std::optional<RepeatTally::Clock::duration> measured;
        if (m_result.ResponseMs)
            measured = std::chrono::milliseconds(*m_result.ResponseMs);
        m_result.Tally->Answered(RepeatTally::Clock::now(), measured);
    }
    if (m_result.Run < m_result.Requested) {
        // Only the last run's answer is shown; the next run goes once the link is idle.
        m_phase = Phase::Waiting;
        ScheduleStep();
        return;
    }
    DecodeHostAnswer();
    m_result.Word = StateWord::Ready;
    Finish(ExchangeOutcome::Answered);
}

void DecodeAnswer(ExchangeResult& r, const TTerminalCache* cache, const std::string& section,
                  TCommandDefinition names, const ExchangeSettings& settings,
                  const TStatusTable& fiscal, const TStatusTable& printer)
{
    r.FiscalPanels = DecodeStatusWord(r.FiscalStatus, fiscal);
    r.PrinterPanels = DecodeStatusWord(r.PrinterStatus, printer);

    // The names of the values are those of the sent command as the file has them now.
    if (cache) {
        r.ReturnCodeDescription = ReturnCodeText(*cache, std::to_string(r.ReturnCode));
        try {
            LoadAnswerFields(*cache, section, names);
        } catch (const Error&) {
            // A broken answer list names nothing: every value is still shown, as "Field<n>".
            names.AnswerCount = 0;
        }
    }
    AnswerDisplayOptions options;
    options.Protocol = settings.Protocol;
    options.ExtReservedFields = settings.ExtReservedFields;
    options.InputDateFormat = settings.InputDateFormat;
    options.OutputDateFormat = settings.OutputDateFormat;
    r.AnswerFields =
        BuildAnswerEntries(options, names, r.ReturnCode, r.ExtraFields, r.ReturnCodeDescription);
}

void TExchangeEngine::DecodeHostAnswer()
{
    ExchangeResult& r = m_result;
    r.FiscalStatus = static_cast<std::uint16_t>(m_host->FiscalStatus());
    r.PrinterStatus = static_cast<std::uint16_t>(m_host->PrinterStatus());
    r.ReturnCode = static_cast<std::uint16_t>(m_host->ReturnCode());
    r.ExtraFields.clear();
    for (std::int32_t i = 1; i <= m_host->ExtraFieldsCount(); ++i)
        r.ExtraFields.push_back(m_host->GetExtraField(i));
    DecodeAnswer(r, m_cache, m_request.Section, m_request.Definition, m_settings, m_fiscalTable,
                 m_printerTable);
}

void TExchangeEngine::OnHostError()
{
    if (m_result.Fiscal || m_phase == Phase::Waiting) {
        ScheduleStep();
        return;
    }
    if (m_phase == Phase::InFlight && !m_closedInFlight)
        FinishFault(m_host ? m_host->LastError() : EFP_E_ReadTimeOut, false);
}

void TExchangeEngine::OnAuxAnswer(bool final)
{
    const TSignalDepth depth(m_inAuxSignal);
    if (!m_result.Fiscal || m_phase != Phase::InFlight || m_closedInFlight) {
        ScheduleStep();
        return;
    }
    const std::string& data = m_aux->Answer();
    m_result.FiscalFrames.push_back({data, final});
    emit FiscalAnswer(QByteArray::fromStdString(data), final);
    if (!final || m_phase != Phase::InFlight)
        return;
    if (m_aux && m_aux->LastResponseMs() >= 0)
        m_result.ResponseMs = m_aux->LastResponseMs();
    m_result.Word = StateWord::Ready;
    Finish(ExchangeOutcome::Answered);
}

void TExchangeEngine::OnAuxAck()
{
    const TSignalDepth depth(m_inAuxSignal);
    if (!m_result.Fiscal || m_phase != Phase::InFlight || m_closedInFlight) {
        ScheduleStep();
        return;
    }
    if (m_aux && m_aux->LastResponseMs() >= 0)
        m_result.ResponseMs = m_aux->LastResponseMs();
    m_result.Word = StateWord::Ready;
    Finish(ExchangeOutcome::Acknowledged);
}

void TExchangeEngine::OnAuxError()
{
    const TSignalDepth depth(m_inAuxSignal);
    if (!m_result.Fiscal || m_phase != Phase::InFlight || m_closedInFlight) {
        ScheduleStep();
        return;
    }
    FinishFault(m_aux ? m_aux->LastError() : FEFP_E_ReadTimeOut, true);
}

ExchangeResult TExchangeEngine::WaitForFinished()
{
    if (!Busy())
        return m_last;
    QEventLoop loop;
    const auto done = connect(this, &TExchangeEngine::Finished, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(done);
    return m_last;
}

} // namespace tallyhost
