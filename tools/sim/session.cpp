#include "tools/sim/session.h"

#include <cstdio>

namespace tallyhost::sim {

namespace {

constexpr Millis NoiseGap{20};

// A byte string for the log: printable ASCII as is, everything else as <XX>.
std::string Printable(std::string_view bytes)
{
    std::string text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            text += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", u);
            text += hex;
        }
    }
    return text;
}

Step Send(std::string bytes, Millis gap = Millis{0})
{
    Step step;
    step.What = Step::Kind::Send;
    step.Bytes = std::move(bytes);
    step.Gap = gap;
    return step;
}

Step Pause(Millis wait)
{
    Step step;
    step.What = Step::Kind::Pause;
    step.Wait = wait;
    return step;
}

Step Await(Millis wait, std::string resend = {}, Millis gap = Millis{0}, int resends = 0)
{
    Step step;
    step.What = Step::Kind::AwaitReply;
    step.Wait = wait;
    step.Bytes = std::move(resend);
    step.Gap = gap;
    step.ResendsOnNak = resends;
    return step;
}

// Sends an answer frame and waits for the host's verdict; a NAK gets the frame once more.
void SendAndAwait(std::vector<Step>& steps, const std::string& frame, Millis gap, Millis wait)
{
    steps.push_back(Send(frame, gap));
    steps.push_back(Await(wait, frame, gap, 1));
}

} // namespace

std::string GarbageBytes()
{
    return std::string("\x00\xFF"
                       "noise\x7F\x1C\x03 \x81\xFE",
                       13);
}

// ---------------------------------------------------------------------------------------------

void StepRunner::Start(std::vector<Step> steps, TimePoint now, const Output& out)
{
    m_steps.assign(std::make_move_iterator(steps.begin()), std::make_move_iterator(steps.end()));
    m_stepStarted = false;
    Pump(now, out);
}

void StepRunner::Cancel()
{
    m_steps.clear();
    m_stepStarted = false;
}

void StepRunner::finishStep(TimePoint)
{
    m_steps.pop_front();
    m_stepStarted = false;
}

void StepRunner::Pump(TimePoint now, const Output& out)
{
    while (!m_steps.empty()) {
        Step& step = m_steps.front();
        if (!m_stepStarted) {
            m_stepStarted = true;
            m_sent = 0;
            m_due = step.What == Step::Kind::Send ? now : now + step.Wait;
        }
        if (now < m_due)
            return;
        switch (step.What) {
        case Step::Kind::Send:
            if (step.Gap.count() == 0) {
                out(step.Bytes);
                m_sent = step.Bytes.size();
            } else if (m_sent < step.Bytes.size()) {
                out(std::string_view(step.Bytes).substr(m_sent++, 1));
                m_due = now + step.Gap;
            }
            if (m_sent < step.Bytes.size())
                return;
            finishStep(now);
            break;
        case Step::Kind::Pause:
        case Step::Kind::AwaitReply: // no reply in time: the printer goes on regardless
            finishStep(now);
            break;
        }
    }
}

void StepRunner::OnReply(char reply, TimePoint now, const Output& out)
{
    if (m_steps.empty() || !m_stepStarted || m_steps.front().What != Step::Kind::AwaitReply)
        return;
    Step& await = m_steps.front();
    if (reply == NAK && await.ResendsOnNak > 0 && !await.Bytes.empty()) {
        --await.ResendsOnNak;
        Step again = Send(await.Bytes, await.Gap);
        m_stepStarted = false;
        m_steps.push_front(std::move(again));
    } else {
        finishStep(now);
    }
    Pump(now, out);
}

std::optional<TimePoint> StepRunner::Deadline() const
{
    if (m_steps.empty())
        return std::nullopt;
    if (!m_stepStarted)
        return TimePoint::min();
    return m_due;
}

// ---------------------------------------------------------------------------------------------

HostSession::HostSession(const Scenario& scenario, Output out, Logger log)
    : m_scenario(scenario), m_out(std::move(out)), m_log(std::move(log))
{
}

std::vector<Step> HostSession::PlanReply(const HostCommandParser::Frame& frame) const
{
    const std::string& code = frame.Fields.empty() ? std::string() : frame.Fields.front();
    const HostRule& rule = m_scenario.MatchHost(code);
    const unsigned faults = rule.Faults;
    const Millis gap = (faults & FaultSplit) ? m_scenario.SplitGap : Millis{0};

    if (m_log) {
        char seq[8];
        std::snprintf(seq, sizeof seq, "%02X", frame.Sequence);
        m_log(std::string("host: ") +
              (frame.Variant == HostVariant::Extended ? "extended" : "compatible") + " seq " + seq +
              " command '" + Printable(code) + "' (" + std::to_string(frame.Fields.size()) +
              " fields) -> [" + rule.Name + "] faults " + FaultNames(faults));
    }

    std::vector<Step> steps;
    if (faults & FaultNak) {
        steps.push_back(Send(std::string(1, NAK)));
        return steps;
    }
    steps.push_back(Send(std::string(1, ACK)));
    if (faults & FaultSilence)
        return steps;
    if (faults & FaultFlood) {
        steps.push_back(Pause(NoiseGap));
        steps.push_back(Send(std::string(FloodLength, 'U')));
        return steps;
    }
    if (faults & FaultGarbage) {
        steps.push_back(Pause(NoiseGap));
        steps.push_back(Send(GarbageBytes()));
    }

    AnswerContent content;
    content.PrinterStatus = rule.PrinterStatus;
    content.FiscalStatus = rule.FiscalStatus;
    content.ReturnCode = rule.ReturnCode;
    content.CommandCode = code;
    for (const auto& field : rule.Fields)
        content.Extra.push_back(ExpandAnswerText(field, frame.Fields));

    // The host gives up after 2500 ms of silence; keep-alives are what lets a slow command
    // take longer than that.
    // A stalled printer spent its delay not reading.
    Millis remaining = (faults & FaultStall) ? Millis{0} : rule.Delay;
    if (rule.KeepAliveEvery.count() > 0) {
        const std::string keepAlive =
            rule.KeepAliveKind == KeepAlive::Dc2
                ? std::string(1, DC2)
                : BuildHostFrame(
                      IntermediateSequence,
                      IntermediateFields(frame.Variant, content, m_scenario.CompatibleStatus));
        while (remaining > rule.KeepAliveEvery) {
            steps.push_back(Pause(rule.KeepAliveEvery));
            steps.push_back(Send(keepAlive));
            remaining -= rule.KeepAliveEvery;
        }
    }
    steps.push_back(Pause(remaining));

    const auto fields = AnswerFields(frame.Variant, content, m_scenario.CompatibleStatus);
    if (faults & FaultStale) {
        steps.push_back(Send(BuildHostFrame(PreviousSequence(frame.Sequence), fields), gap));
        steps.push_back(Await(m_scenario.AckTimeout));
    }
    const std::string answer = BuildHostFrame(frame.Sequence, fields);
    if (faults & FaultBadChecksum) {
        steps.push_back(Send(CorruptChecksum(answer), gap));
        steps.push_back(Await(m_scenario.AckTimeout));
    }
    SendAndAwait(steps, answer, gap, m_scenario.AckTimeout);
    return steps;
}

void HostSession::OnBytes(std::string_view bytes, TimePoint now)
{
    for (char byte : bytes) {
        const auto event = m_parser.Feed(byte);
        if (!m_parser.InFrame() || m_parser.FieldsSoFar().empty()) {
            m_frameMatched = false;
        } else if (!m_frameMatched) {
            // The first field names the command: a stalling printer stops reading here.
            m_frameMatched = true;
            const HostRule& rule = m_scenario.MatchHost(m_parser.FieldsSoFar().front());
            if (rule.Faults & FaultStall) {
                if (m_log)
                    m_log("host: [" + rule.Name + "] stops reading for " +
                          std::to_string(rule.Delay.count()) + " ms");
                m_request.Stall = rule.Delay;
            }
            if (rule.Faults & FaultDsr) {
                if (m_log)
                    m_log("host: [" + rule.Name + "] drops DSR for " +
                          std::to_string(rule.Delay.count()) + " ms");
                m_request.DsrLow = rule.Delay;
            }
        }
        if (event == HostCommandParser::Event::Frame) {
            const auto& fields = m_parser.LastFrame().Fields;
            const HostRule& rule = m_scenario.MatchHost(fields.empty() ? "" : fields.front());
            if (rule.Faults & FaultUnplug) {
                if (m_log)
                    m_log("host: [" + rule.Name + "] unplugged for " +
                          std::to_string(rule.Delay.count()) + " ms");
                m_request.Unplug = rule.Delay;
                Reset();
                return;
            }
        }
        switch (event) {
        case HostCommandParser::Event::Ack:
        case HostCommandParser::Event::Nak:
            m_runner.OnReply(byte, now, m_out);
            break;
        case HostCommandParser::Event::Frame:
            // A new command ends whatever was still being answered: the host gave up on it.
            m_runner.Start(PlanReply(m_parser.LastFrame()), now, m_out);
            break;
        case HostCommandParser::Event::BadFrame:
            if (m_log)
                m_log("host: command frame with a bad checksum -> NAK");
            m_runner.Cancel();
            m_out(std::string_view(&NAK, 1));
            break;
        case HostCommandParser::Event::RefusedFrame:
            if (m_log)
                m_log("host: command refused (" + m_parser.Refusal() + ") -> NAK");
            m_runner.Cancel();
            m_out(std::string_view(&NAK, 1));
            break;
        case HostCommandParser::Event::None:
            break;
        }
    }
    m_runner.Pump(now, m_out);
}

void HostSession::OnTimer(TimePoint now)
{
    m_runner.Pump(now, m_out);
}

std::optional<TimePoint> HostSession::Deadline() const
{
    return m_runner.Deadline();
}

void HostSession::Reset()
{
    m_parser.Reset();
    m_runner.Cancel();
    m_frameMatched = false;
}

// ---------------------------------------------------------------------------------------------

FiscalSession::FiscalSession(const Scenario& scenario, Output out, Logger log)
    : m_scenario(scenario), m_out(std::move(out)), m_log(std::move(log))
{
}

std::vector<Step> FiscalSession::PlanReply(const std::string& data) const
{
    const FiscalRule& rule = m_scenario.MatchFiscal(data);
    const unsigned faults = rule.Faults;
    const Millis gap = (faults & FaultSplit) ? m_scenario.SplitGap : Millis{0};
    if (m_log)
        m_log("fiscal: command '" + Printable(data) + "' -> [" + rule.Name + "] faults " +
              FaultNames(faults));

    std::vector<Step> steps;
    if (faults & FaultNak) {
        steps.push_back(Send(std::string(1, NAK)));
        return steps;
    }
    if (faults & FaultSilence)
        return steps;
    if (faults & FaultFlood) {
        steps.push_back(Send(std::string(FloodLength, 'U')));
        return steps;
    }
    steps.push_back(Pause((faults & FaultStall) ? Millis{0} : rule.Delay));
    if (faults & FaultGarbage) {
        steps.push_back(Send(GarbageBytes()));
        steps.push_back(Pause(NoiseGap));
    }
    if (rule.Frames.empty()) {
        steps.push_back(Send(std::string(1, ACK)));
        return steps;
    }
    const std::vector<std::string> commandFields{data};
    for (std::size_t i = 0; i < rule.Frames.size(); ++i) {
        const std::string frame = BuildFiscalFrame(ExpandAnswerText(rule.Frames[i], commandFields));
        if (i == 0 && (faults & FaultBadChecksum)) {
            std::string bad = frame;
            bad.back() = static_cast<char>(bad.back() ^ 0x01);
            steps.push_back(Send(bad, gap));
            steps.push_back(Await(m_scenario.AckTimeout));
        }
        // The host handles one answer frame per read and drops what followed it in the same
        // burst, so the next frame goes only after its ACK (or after the wait).
        SendAndAwait(steps, frame, gap, m_scenario.AckTimeout);
    }
    return steps;
}

void FiscalSession::OnBytes(std::string_view bytes, TimePoint now)
{
    for (char byte : bytes) {
        switch (m_parser.Feed(byte)) {
        case FiscalCommandParser::Event::Enq:
            if (m_log)
                m_log("fiscal: ENQ -> ACK");
            m_out(std::string_view(&ACK, 1));
            break;
        case FiscalCommandParser::Event::Ack:
        case FiscalCommandParser::Event::Nak:
            m_runner.OnReply(byte, now, m_out);
            break;
        case FiscalCommandParser::Event::Frame: {
            const FiscalRule& rule = m_scenario.MatchFiscal(m_parser.LastData());
            if (rule.Faults & FaultDsr) {
                if (m_log)
                    m_log("fiscal: [" + rule.Name + "] drops DSR for " +
                          std::to_string(rule.Delay.count()) + " ms");
                m_request.DsrLow = rule.Delay;
            }
            if (rule.Faults & FaultUnplug) {
                if (m_log)
                    m_log("fiscal: [" + rule.Name + "] unplugged for " +
                          std::to_string(rule.Delay.count()) + " ms");
                m_request.Unplug = rule.Delay;
                Reset();
                return;
            }
            if (rule.Faults & FaultStall)
                m_request.Stall = rule.Delay;
            m_runner.Start(PlanReply(m_parser.LastData()), now, m_out);
            break;
        }
        case FiscalCommandParser::Event::BadFrame:
            if (m_log)
                m_log("fiscal: frame with a bad checksum -> NAK");
            m_runner.Cancel();
            m_out(std::string_view(&NAK, 1));
            break;
        case FiscalCommandParser::Event::None:
            break;
        }
    }
    m_runner.Pump(now, m_out);
}

void FiscalSession::OnTimer(TimePoint now)
{
    m_runner.Pump(now, m_out);
}

std::optional<TimePoint> FiscalSession::Deadline() const
{
    return m_runner.Deadline();
}

void FiscalSession::Reset()
{
    m_parser.Reset();
    m_runner.Cancel();
}

} // namespace tallyhost::sim
