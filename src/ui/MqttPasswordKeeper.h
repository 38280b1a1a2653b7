#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSettings;
class QThread;

namespace veska {

// Where the window keeps a remembered MQTT password: in the desktop keyring (QtKeychain),
// or, where no keyring runs, in the settings file (written readable by the user alone),
// with a warning. The keyring's jobs run on a thread of their own and every request ends
// within a few seconds, so the window never waits for a keyring that hangs.
class MqttPasswordKeeper : public QObject {
    Q_OBJECT
public:
    explicit MqttPasswordKeeper(QSettings& settings, QObject* parent = nullptr);
    ~MqttPasswordKeeper() override;

    // The keyring service the passwords are kept under (tests use their own).
    void setService(const QString& service) { m_service = service; }
    // How long a keyring request may take before it counts as failed.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Remembers `password` (keyring first, the settings file when that fails), or, when
    // `remember` is off, forgets it in both places.
    void keep(bool remember, const QString& password);
    // Looks the remembered password up; fetched() follows, also when none is found.
    void fetch();

    // The settings file's own key for a password no keyring would take.
    static QString fileKey() { return QStringLiteral("mqtt/password"); }

signals:
    void fetched(const QString& password);  // empty when none could be had
    void warning(const QString& text);      // the password had to go elsewhere, or was not found
    void kept();                            // a keep() is done, wherever the password went

private:
    enum class Request { Write, Read, Delete };
    struct Bridge;
    void startJob(Request request, const QString& password);
    void answer(quint64 id, Request request, bool ok, const QString& text, const QString& why);
    void keepInFile(const QString& password, const QString& why);

    QSettings& m_settings;
    QString m_service = QStringLiteral("Veska");
    int m_timeoutMs = 5000;
    QThread* m_thread;
    QObject* m_worker;
    std::shared_ptr<Bridge> m_bridge;  // the worker's way back here, cut at destruction
    quint64 m_lastRequest = 0;
    QString m_pendingPassword;  // of the write in flight, for the file when the keyring fails
};

}  // namespace veska
