#pragma once

#include <QIODevice>
#include <QString>

#include <vector>

namespace veska {

// The one way Veska writes a file: table copies, text exports, PDF reports, the chart
// picture. A file either appears complete under its name or the old one stays untouched.
//
//   SafeFileWriter out(nameTheUserChose);
//   out.protectTable(openTable.filePath());       // never overwrite the table or its journal
//   if (!out.open(QIODevice::WriteOnly)) return out.failureMessage();
//   out.write(...);                                // or QPdfWriter(&out), QImage::save(&out)
//   if (!out.commit()) return out.failureMessage();   // "Cannot write x.txt (No space left on device)"
//
// How it writes:
// - A regular file (or a new one) is written to a temporary file in the same folder; every
//   write, the fsync and the close are checked, and only then the temporary is renamed over
//   the target and the folder synced. On any failure the temporary is removed.
// - A symbolic link is followed: the file it points to is replaced beside itself and the
//   link stays a link. A dangling link creates the file it names.
// - A target that is not a regular file (a character device such as /dev/full, a FIFO, a
//   terminal, /dev/stdout) is written directly, without a temporary or a rename; its write
//   errors are reported like any others. A FIFO without a reader fails at once instead of
//   waiting for one.
// - A target that is one of the protected files (compared through links and by device and
//   inode, so hard links count too), or a table file another program holds open (the
//   record table or journal of a running Veska), is refused before anything is written.
//   So is, always, the record table of the target's folder and any recovery journal
//   (ProtectedFiles), whether or not a program holds it: the message says what it is.
// - Failures carry the system's reason ("No space left on device", "Permission denied")
//   and are shown with the name the user chose, never a temporary name.
//
// For files another component writes itself (SQLite, a printer), openForOtherWriter()
// gives an empty temporary file to fill; commit() then makes it the target in the same way
// (for a special target its bytes are copied into it).
//
// Not thread-safe; one writer per file being written. Destroying an uncommitted writer
// removes its temporary file; the temporaries of writers that were killed are removed by the
// next writer in the same folder (LeftoverTemporaries).
class SafeFileWriter : public QIODevice {
public:
    explicit SafeFileWriter(const QString& fileName);
    ~SafeFileWriter() override;
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // --- files never to be overwritten (call before opening) ---
    // `path` itself; `why` completes "it is ..." in the refusal, e.g. "the open table x.db".
    void protectFile(const QString& path, const QString& why);
    // A table file: the file, its SQLite side files (-journal, -wal, -shm) and its recovery
    // journal with side files.
    void protectTable(const QString& tableFile);
    // The target must not exist: commit() fails with "File exists" rather than replace a
    // file that appeared meanwhile. A record table that does not exist yet may be made so.
    void createOnly() { m_createOnly = true; }
    // Why `fileName` can never be a target (see ProtectedFiles), as the end of "it is ...";
    // empty when it may be written.
    static QString neverWritten(const QString& fileName);

    // --- writing ---
    // Streams through write(); only WriteOnly is supported. False with failureMessage() set
    // when the target is refused, its folder cannot be written, and the like.
    bool open(OpenMode mode) override;
    // For a component that writes the file itself: creates an empty temporary file, named by
    // temporaryPath(), for it to fill before commit().
    bool openForOtherWriter();
    QString temporaryPath() const { return m_tempPath; }
    // Flushes, syncs and puts the file in place. False (with the reason) when anything failed
    // since open(); the target is then untouched and the temporary gone.
    bool commit();
    // Drops what was written; the target stays as it was.
    void cancel();
    // Keeps the file open until commit() or cancel(); only ends streaming.
    void close() override;

    // --- state ---
    QString fileName() const { return m_fileName; }     // as the user named it
    QString targetPath() const { return m_targetPath; } // the real file written, links followed
    bool writesDirectly() const { return m_direct; }    // a special file: no temporary, no rename
    bool failed() const { return !m_reason.isEmpty(); }
    // The system's reason for the failure ("No space left on device"), empty while none.
    QString reason() const { return m_reason; }
    // "Cannot write <name> (<reason>)".
    QString failureMessage() const;

    // --- helpers for moving finished files (journals) ---
    // Makes `path`'s content durable (fsync). Empty text on success, otherwise the reason.
    static QString syncFile(const QString& path);
    // Makes the entries of the folder holding `path` durable. Empty text or the reason.
    static QString syncFolderOf(const QString& path);
    // Renames `from` to `to` within one file system after syncing `from`, then syncs the
    // folder. Never replaces an existing `to` unless `replace` is set. Empty text on success,
    // otherwise the reason; on failure `from` is left where it was.
    static QString moveFile(const QString& from, const QString& to, bool replace = false);

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    struct Protected {
        QString path;
        QString why;
    };

    bool prepare();
    bool resolveTarget();
    bool refuseProtected();
    bool refuseHeldTable();
    bool refuseKeptFile();
    bool putInPlace();
    bool createTemporary(const QString& folder);
    bool openDirect();
    bool flushBuffer();
    bool writeOut(int fd, const char* data, qint64 size);
    bool copyTemporaryToTarget();
    bool fail(int error);
    bool failWith(const QString& reason);
    void closeFd();
    void releaseLock();
    void removeTemporary();

    QString m_fileName;
    QString m_targetPath;
    QString m_tempPath;
    std::vector<Protected> m_protected;
    QString m_reason;
    QByteArray m_buffer;
    int m_fd = -1;
    int m_lockFd = -1;  // holds the writer's lock on its temporary (LeftoverTemporaries)
    bool m_direct = false;
    bool m_fifo = false;
    bool m_otherWriter = false;
    bool m_replacing = false;  // the target exists and is replaced
    unsigned m_targetMode = 0;
    bool m_committed = false;
    bool m_createOnly = false;
};

}  // namespace veska
