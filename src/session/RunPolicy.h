#pragma once

#include "session/RunPublisher.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace veska {

class MeterSession;
class RecordTable;

// What both programs do around a session's run, in one place: the record table opened and
// the journals of interrupted runs answered, the cable's comings and goings told with the
// gap they leave, publishing started and stopped, and the end of the run: the final save,
// or the rows kept in the journal for the next start. Each program words the outcomes for
// its user (boxes in the window, lines on standard error without one).
class RunPolicy : public QObject {
    Q_OBJECT
public:
    explicit RunPolicy(MeterSession& session, QObject* parent = nullptr);
    ~RunPolicy() override;

    // --- start ---
    enum class TableState { Recordable, NotOpened, NotWritable };
    struct TableOpening {
        TableState state = TableState::NotOpened;
        QString reason;  // why rows cannot be recorded (empty when they can)
        bool held = false;  // another program (copy) holds the table: it may come free
    };
    // Opens the session's record table (created when missing). A table that already holds
    // rows (a backup put back) records on after its highest number.
    TableOpening openTable();

    struct LeftoverJournal {
        QString path;
        qint64 rows = 0;
    };
    enum class LeftoverOutcome { Restored, MovedAside, Failed };
    // Answers each journal an interrupted run left, once: `restore` says whether its rows
    // go back into the table (numbering then goes on after them) or the journal moves
    // aside; `told` hears each outcome (the new path when moved, the reason when failed).
    // Nothing is recorded meanwhile: restored rows keep their numbers.
    void answerLeftoverJournals(const std::function<bool(const LeftoverJournal&)>& restore,
                                const std::function<void(LeftoverOutcome, const QString&)>& told);

    // --- while it runs: the cable being read went away or came back ---
    static QString cableLostText(const QString& caption);
    static QString cableBackText(const QString& caption, qint64 gapMs);

    // --- publishing ---
    // Stops a running publisher first (with `drainTimeout`), then starts `publisher`; false
    // when it could not start (publishError() says why, and it is dropped).
    bool startPublishing(std::unique_ptr<RunPublisher> publisher, std::chrono::milliseconds drainTimeout);
    QString publishError() const { return m_publishError; }
    RunPublisher* publisher() const { return m_publisher.get(); }
    // Stops publishing: rows recorded last get `drainTimeout` to go out. Returns the stopped
    // publisher for its figures (null when none ran).
    std::unique_ptr<RunPublisher> stopPublishing(std::chrono::milliseconds drainTimeout);

    // --- end ---
    // Saving the table to a file; the error text, empty on success.
    using Saver = std::function<QString(RecordTable& table)>;
    struct FinalSave {
        QString error;     // empty: saved
        qint64 keptRows = 0;      // counted in the journal after it was closed
        qint64 recordedRows = 0;  // the unsaved rows of the run; more than kept: some are lost
        QString keptIn;           // the journal that keeps the rows after a failed save
    };
    // Saves with `save`; a failed save leaves every row in the journal for the next start.
    // The table is closed either way.
    FinalSave saveAndClose(const Saver& save);
    // How the rows end when the run ends without a save.
    enum class UnsavedRows { Decided, Kept };
    // Decided: the user saved or dropped them (the journal goes); Kept: nobody decided
    // (the journal stays for the next start).
    void closeTable(UnsavedRows rows);

signals:
    // The cable being read was unplugged / came back: the text for the user.
    void cableLost(const QString& text);
    void cableBack(const QString& text, qint64 gapMs);

private:
    MeterSession& m_session;
    std::unique_ptr<RunPublisher> m_publisher;
    QString m_publishError;
};

}  // namespace veska
