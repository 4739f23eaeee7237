#pragma once

#include "core/answerdecode.h"
#include "core/fieldconvert.h"
#include "core/repeattally.h"
#include "core/termdefs.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

class TTerminalCache;

// How an exchange ended.
enum class ExchangeOutcome
{
    Answered,      // the final answer came (host), or the last fiscal answer frame
    Acknowledged,  // the fiscal port answered with ACK alone
    RefusedNak,    // the printer refused the frame (NAK)
    NoAnswer,      // no (final) answer in time
    WriteError,    // the frame could not be written
    PortClosed,    // the port was closed, or closed (or lost) while the exchange ran
    Cancelled,     // Cancel, or "Reset serial ports"
    RefusedValue,  // a field value cannot go into the frame, or a Required field is empty
    LinkRefused,   // the link refused the hand-over (SendCommand or SendData false)
    NothingToSend, // the command has no fields
};

// The words of the main window's second status panel.
enum class StateWord
{
    Ready,
    Error,
    Sending,
    TimeOut,
    Abort,
};
// "Ready", "Error", "Sending ...", "TimeOut", "Abort".
const char* StateWordText(StateWord word);

// The settings of the open file (and the preferences) that shape frames and answers.
struct ExchangeSettings
{
    int Protocol = 0;               // 0 compatible, 1 extended
    int InputDateFormat = 0;        // dates in frames and in answers (0..7)
    int OutputDateFormat = 0;       // dates as shown
    bool ExtReservedFields = false; // show the reserved entries of extended answers
};

// One command to send: its catalogue section, its definition (command fields at least) and
// the value of every field as the command panel holds it.
struct ExchangeRequest
{
    std::string Section;
    TCommandDefinition Definition;
    std::vector<FieldInput> Inputs; // one per command field, in field order
    // A field whose text holds a character that one frame byte cannot carry (the box showed
    // it, the frame cannot send it); -1 when none. Such a value is refused, never sent as "?".
    int UnreadableField = -1;
};

// A frame of the exchange as it crossed the wire.
struct WireFrame
{
    bool Fiscal = false;  // on the fiscal port, else the host port
    bool Written = false; // written by us (command, ACK, NAK), else read from the printer
    std::string Bytes;
};

struct FiscalAnswerFrame
{
    std::string Data; // without STX, ETX and checksum
    bool Final = false;
};

// The judged end of one Send or Repeat: what happened, in the operator's words, and the
// decoded answer when one came.
struct ExchangeResult
{
    ExchangeOutcome Outcome = ExchangeOutcome::NothingToSend;
    bool Fiscal = false;
    std::string Section;
    // The word for the status panel; nothing for an outcome that leaves it alone.
    std::optional<StateWord> Word;
    // What the operator's error box says (the printer not ready, bad data in the frame, a
    // refused value naming its field); empty when no box is due.
    std::string FaultText;
    // A refusal in detail, naming the field or the link's reason, or the port found closed,
    // for tools and logs.
    std::string Refusal;
    int RefusedField = -1; // 0-based field of a RefusedValue outcome
    // The link's LastError name of a failed exchange ("EFP_E_ReadTimeOut"), else empty.
    std::string LastError;

    bool Repeat = false; // a Repeat (else a Send)
    int Requested = 1;   // runs asked for
    int Run = 0;         // the run the exchange ended in (1-based); 0: nothing handed over
    std::optional<RepeatTally> Tally; // the figures of a Repeat

    // Host answer (Answered).
    std::uint16_t FiscalStatus = 0;
    std::uint16_t PrinterStatus = 0;
    std::uint16_t ReturnCode = 0;
    std::string ReturnCodeDescription;
    std::vector<std::string> ExtraFields;
    std::vector<StatusPanelText> FiscalPanels; // element 0 is panel 1
    std::vector<StatusPanelText> PrinterPanels;
    std::vector<AnswerEntry> AnswerFields; // labelled by the sent command's answer fields
    // Fiscal answer: the text sent, the frames in order (empty after a lone ACK).
    std::string FiscalText;
    std::vector<FiscalAnswerFrame> FiscalFrames;

    // Milliseconds from the (last run's) frame leaving the port to its answer, as the link
    // measured it.
    std::optional<int> ResponseMs;
    // The frames of the exchange (all runs), in wire order.
    std::vector<WireFrame> Wire;

    bool Succeeded() const
    {
        return Outcome == ExchangeOutcome::Answered || Outcome == ExchangeOutcome::Acknowledged;
    }
    // Nothing reached a link: refused before the hand-over, or no port.
    bool NothingSent() const { return Run == 0; }
};

// The rules of the command panel's values that hold before anything is sent.

// The first editable Required field whose text is empty, or -1. Date and time pickers always
// hold a value; a read-only field cannot be filled by the operator and is sent as it stands.
int EmptyRequiredField(const ExchangeRequest& request);

// The frame bytes of every field for run `run` (0: a plain Send, which never autoincrements;
// a Repeat numbers its runs from 1). Empty on success, else a refusal naming the field
// ("Bad user data input in control: field 'Amount': ..."); `refusedField` then holds it.
// With `refusals`, every field is judged and each refusal appended.
std::string FrameFields(const ExchangeRequest& request, int inputDateFormat, int run,
                        std::vector<std::string>& fields, int* refusedField = nullptr,
                        std::vector<std::string>* refusals = nullptr);

// Decodes the host answer whose status words, return code and extra fields `answer` holds:
// both words' panels, the return code's description, and the answer fields labelled by the
// answer fields of `section` as `cache` has them now (by `names`' own without a catalogue).
// The engine judges every answer with it; the window's fixed answers are shown through it too.
void DecodeAnswer(ExchangeResult& answer, const TTerminalCache* cache, const std::string& section,
                  TCommandDefinition names, const ExchangeSettings& settings,
                  const TStatusTable& fiscal, const TStatusTable& printer);

// The exchange engine: everything between "Send/Repeat/Cancel was pressed" and "here is the
// judged answer", for the terminal window, tallyhost-cli and test scripts alike.
//
// The engine drives the links it is given (it owns neither) and never shows anything: it
// reports through its signals. Send and Repeat return at once; the exchange then runs on the
// links' signals, without nested event loops and without busy-waiting:
//   waiting  the link is busy with a command of someone else's (or the previous run's); every
//            link signal makes the engine look again, after the signal's handlers returned,
//            since the fiscal link turns idle only then
//   in flight  a command is out; its answer, error or the port closing ends it
// A Repeat goes through both once per run, numbering the autoincrement of each run from 1,
// and only its last answer is decoded. Cancel purges both links and ends whatever is going
// on at once; what the links report of the dropped command afterwards is ignored.
//
// Finished is emitted exactly once for each accepted Send or Repeat, also when it ends
// before anything is sent (a refused value, a closed port), and after the engine is idle
// again, so a receiver may start the next exchange from it.
class TExchangeEngine : public QObject
{
    Q_OBJECT
public:
    explicit TExchangeEngine(QObject* parent = nullptr);
    ~TExchangeEngine() override;

    // The links to drive; null for none. Changing them ends nothing in progress.
    void SetLinks(TFPHostControl* host, TFPAuxControl* aux);
    TFPHostControl* HostLink() const { return m_host; }
    TFPAuxControl* AuxLink() const { return m_aux; }

    // The catalogue that names answers: return-code descriptions and the answer fields of
    // the sent command are read from it when the answer comes (null: the request's own
    // answer fields, no descriptions). The caller keeps it alive while it is set.
    void SetCatalogue(const TTerminalCache* cache) { m_cache = cache; }
    // The status records of both words, applied to every host answer.
    void SetStatusTables(const TStatusTable& fiscal, const TStatusTable& printer);
    void SetSettings(const ExchangeSettings& settings) { m_settings = settings; }
    const ExchangeSettings& Settings() const { return m_settings; }

    // False (and nothing happens) while an exchange is going on; otherwise Finished follows.
    bool Send(const ExchangeRequest& request);
    // Host commands only, count 1..MaxRepeatCount; false otherwise (nothing sent).
    bool Repeat(const ExchangeRequest& request, int count);
    // Purges both links and ends the exchange going on, if any, as Cancelled with `word`
    // (Abort for the operator's Cancel, Ready for "Reset serial ports").
    void Cancel(StateWord word = StateWord::Abort);

    // Ends an exchange that is still waiting for its first hand-over as Cancelled, without
    // purging the links (the command they are busy with is someone else's); nothing else.
    void Withdraw();

    // Waiting for an idle link or a command in flight (a Repeat between runs too).
    bool Busy() const { return m_phase != Phase::Idle; }
    // A command is out on a link and its answer will be shown.
    bool AnswerAwaited() const;
    // The result being built of the exchange going on (what was asked, runs so far, the
    // fiscal text handed over); empty while idle.
    const ExchangeResult& Progress() const { return m_result; }
    // The section of the last command handed over (its answer fields name the answer).
    const std::string& SentSection() const { return m_sentSection; }

    // Runs the event loop until the exchange going on has finished; returns its result
    // (that of the last exchange when none is going on). For headless drivers.
    ExchangeResult WaitForFinished();
    const ExchangeResult& LastResult() const { return m_last; }

signals:
    // A command went out: run `run` of `count` (1 of 1 for a Send).
    void HandedOver(int run, int count);
    // A fiscal answer frame arrived (Final: the last of the answer).
    void FiscalAnswer(const QByteArray& data, bool final);
    void Finished(const tallyhost::ExchangeResult& result);

private:
    enum class Phase
    {
        Idle,
        Waiting,
        InFlight,
    };
    bool Start(const ExchangeRequest& request, int count, bool repeat);
    void ConnectLinks();
    void ScheduleStep();
    void Step();
    void HandOver();
    void Finish(ExchangeOutcome outcome);
    void FinishFault(int linkError, bool fiscal);
    void DecodeHostAnswer();
    void OnLinkClosed(bool fiscal);
    void OnHostFinal();
    void OnHostError();
    void OnAuxAnswer(bool final);
    void OnAuxAck();
    void OnAuxError();
    void OnWire(bool fiscal, bool written, const QByteArray& bytes);

    QPointer<TFPHostControl> m_host;
    QPointer<TFPAuxControl> m_aux;
    std::vector<QMetaObject::Connection> m_connections;
    const TTerminalCache* m_cache = nullptr;
    TStatusTable m_fiscalTable;
    TStatusTable m_printerTable;
    ExchangeSettings m_settings;

    Phase m_phase = Phase::Idle;
    bool m_stepQueued = false;
    bool m_closedWhileWaiting = false;
    bool m_closedInFlight = false; // the port closed under the command in flight
    int m_inAuxSignal = 0;         // handlers of a fiscal link signal running
    ExchangeRequest m_request;
    ExchangeResult m_result; // being built
    ExchangeResult m_last;
    std::string m_sentSection;
    unsigned m_generation = 0; // one per exchange, so that a stale queued step does nothing
};

} // namespace tallyhost
