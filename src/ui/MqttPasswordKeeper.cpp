#include "ui/MqttPasswordKeeper.h"

#include "ui/PrivateSettingsFile.h"

#include <QSettings>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <mutex>
#include <set>

namespace veska {

namespace {
const QString kKeyringKey = QStringLiteral("mqtt");
}  // namespace

// Answers from the worker thread come back through here: once the keeper is gone they are
// dropped, and the lock keeps it alive while one is being posted.
struct MqttPasswordKeeper::Bridge {
    std::mutex lock;
    MqttPasswordKeeper* keeper = nullptr;
    std::set<quint64> open;  // requests not answered yet (the rest were timed out)
};

MqttPasswordKeeper::MqttPasswordKeeper(QSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_thread(new QThread), m_worker(new QObject),
      m_bridge(std::make_shared<Bridge>()) {
    m_bridge->keeper = this;
    m_thread->setObjectName(QStringLiteral("keyring"));
    m_worker->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

MqttPasswordKeeper::~MqttPasswordKeeper() {
    {
        const std::lock_guard<std::mutex> hold(m_bridge->lock);
        m_bridge->keeper = nullptr;
    }
    m_thread->quit();
    // A keyring that hangs must not hold the exit up: its thread is left to the process end.
    if (m_thread->wait(2000)) delete m_thread;
}

void MqttPasswordKeeper::keep(bool remember, const QString& password) {
    if (!remember) {
        m_settings.remove(fileKey());
        m_settings.sync();
        startJob(Request::Delete, QString());
        return;
    }
    m_pendingPassword = password;
    startJob(Request::Write, password);
}

void MqttPasswordKeeper::fetch() {
    if (m_settings.contains(fileKey())) {
        // No keyring took it when it was remembered: it is in the file.
        const QString password = m_settings.value(fileKey()).toString();
        QTimer::singleShot(0, this, [this, password] { emit fetched(password); });
        return;
    }
    startJob(Request::Read, QString());
}

void MqttPasswordKeeper::startJob(Request request, const QString& password) {
    const quint64 id = ++m_lastRequest;
    {
        const std::lock_guard<std::mutex> hold(m_bridge->lock);
        m_bridge->open.insert(id);
    }
    QTimer::singleShot(m_timeoutMs, this, [this, id, request] {
        answer(id, request, false, QString(), QStringLiteral("the desktop keyring did not answer"));
    });
    const std::shared_ptr<Bridge> bridge = m_bridge;
    const QString service = m_service;
    QMetaObject::invokeMethod(m_worker, [bridge, service, id, request, password] {
        QKeychain::Job* job = nullptr;
        switch (request) {
        case Request::Write: {
            auto* write = new QKeychain::WritePasswordJob(service);
            write->setTextData(password);
            job = write;
            break;
        }
        case Request::Read:
            job = new QKeychain::ReadPasswordJob(service);
            break;
        case Request::Delete:
            job = new QKeychain::DeletePasswordJob(service);
            break;
        }
        job->setAutoDelete(true);
        job->setInsecureFallback(false);  // the keeper's own fallback tells the user
        job->setKey(kKeyringKey);
        QObject::connect(job, &QKeychain::Job::finished, [bridge, id, request](QKeychain::Job* done) {
            const bool ok = done->error() == QKeychain::NoError;
            const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done);
            const QString text = read != nullptr && ok ? read->textData() : QString();
            const QString why = done->errorString();
            const std::lock_guard<std::mutex> hold(bridge->lock);
            if (bridge->keeper == nullptr) return;
            MqttPasswordKeeper* keeper = bridge->keeper;
            QMetaObject::invokeMethod(
                keeper, [keeper, id, request, ok, text, why] { keeper->answer(id, request, ok, text, why); },
                Qt::QueuedConnection);
        });
        job->start();
    });
}

void MqttPasswordKeeper::answer(quint64 id, Request request, bool ok, const QString& text, const QString& why) {
    {
        const std::lock_guard<std::mutex> hold(m_bridge->lock);
        if (m_bridge->open.erase(id) == 0) return;  // answered already (or timed out)
    }
    switch (request) {
    case Request::Write:
        if (ok) {
            // In the keyring now: no copy in the open.
            m_settings.remove(fileKey());
            m_settings.sync();
        } else {
            keepInFile(m_pendingPassword, why);
        }
        m_pendingPassword.clear();
        emit kept();
        break;
    case Request::Read:
        if (!ok)
            emit warning(QStringLiteral("The remembered MQTT password could not be read from the desktop keyring (%1); "
                                        "enter it in Connect > Publish (MQTT)...")
                             .arg(why));
        emit fetched(ok ? text : QString());
        break;
    case Request::Delete:
        emit kept();  // nothing there is as good as deleted
        break;
    }
}

void MqttPasswordKeeper::keepInFile(const QString& password, const QString& why) {
    m_settings.setValue(fileKey(), password);
    m_settings.sync();
    PrivateSettingsFile::restrict(m_settings.fileName());
    emit warning(QStringLiteral("No desktop keyring could keep the MQTT password (%1): it is kept in %2, "
                                "readable by you alone")
                     .arg(why, m_settings.fileName()));
}

}  // namespace veska
