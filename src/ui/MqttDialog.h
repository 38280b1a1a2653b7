#pragma once

#include "network/MqttPublisherOptions.h"

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSettings;

namespace veska {

// "Publish (MQTT)...": where the window publishes its readings. The settings are kept
// with QSettings; a password only when "Remember password" is ticked, in the desktop
// keyring (MqttPasswordKeeper).
class MqttDialog : public QDialog {
    Q_OBJECT
public:
    struct Settings {
        bool enabled = false;
        QString brokerUrl;
        QString topicPrefix;  // empty: the publisher's default
        QString user;
        QString password;
        bool tls = false;     // turns mqtt:// into mqtts://
        QString caFile;       // empty: the system's CA store
        bool rememberPassword = false;

        // What was saved; the password only when it was remembered in the file itself
        // (no keyring took it), empty otherwise.
        static Settings load(const QSettings& settings);
        // Stores everything but the password (MqttPasswordKeeper keeps that); one in the
        // file goes when it is not to be remembered.
        void save(QSettings& settings) const;
        // The publisher's options, or nothing with a sentence for the user in *error.
        std::optional<MqttPublisherOptions> toOptions(QString* error) const;
    };

    explicit MqttDialog(const Settings& settings, QWidget* parent = nullptr);

    Settings settings() const;
    // The broker state as the window's publisher reports it.
    void setBrokerState(const QString& text);

    // OK checks the address first: a mistake is shown and the dialog stays open.
    void accept() override;

private:
    void chooseCaFile();

    QCheckBox* m_enabled;
    QLineEdit* m_url;
    QLineEdit* m_topic;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QCheckBox* m_tls;
    QLineEdit* m_caFile;
    QLabel* m_message;
    QLabel* m_state;
};

}  // namespace veska
