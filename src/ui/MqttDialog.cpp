#include "ui/MqttDialog.h"

#include "network/MqttBrokerUrl.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace veska {

namespace {
const QString kGroup = QStringLiteral("mqtt/");
}  // namespace

MqttDialog::Settings MqttDialog::Settings::load(const QSettings& s) {
    Settings r;
    r.enabled = s.value(kGroup + "enabled", false).toBool();
    r.brokerUrl = s.value(kGroup + "url").toString();
    r.topicPrefix = s.value(kGroup + "topic").toString();
    r.user = s.value(kGroup + "user").toString();
    r.tls = s.value(kGroup + "tls", false).toBool();
    r.caFile = s.value(kGroup + "caFile").toString();
    r.rememberPassword = s.value(kGroup + "rememberPassword", false).toBool();
    // Only where no keyring would take it (MqttPasswordKeeper): otherwise it is fetched.
    if (r.rememberPassword) r.password = s.value(kGroup + "password").toString();
    return r;
}

void MqttDialog::Settings::save(QSettings& s) const {
    s.setValue(kGroup + "enabled", enabled);
    s.setValue(kGroup + "url", brokerUrl);
    s.setValue(kGroup + "topic", topicPrefix);
    s.setValue(kGroup + "user", user);
    s.setValue(kGroup + "tls", tls);
    s.setValue(kGroup + "caFile", caFile);
    s.setValue(kGroup + "rememberPassword", rememberPassword);
    // A password remembered before goes; MqttPasswordKeeper keeps the new one.
    if (!rememberPassword) s.remove(kGroup + "password");
}

std::optional<MqttPublisherOptions> MqttDialog::Settings::toOptions(QString* error) const {
    QString url = brokerUrl.trimmed();
    if (tls) {
        if (url.startsWith(QLatin1String("mqtt://"), Qt::CaseInsensitive)) {
            url = QStringLiteral("mqtts://") + url.mid(7);
        } else if (!url.contains(QLatin1String("://"))) {
            url = QStringLiteral("mqtts://") + url;
        }
    }
    if (!MqttBrokerUrl::parse(url, error)) return std::nullopt;
    const QString prefix = topicPrefix.trimmed();
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#'))) {
        if (error) *error = QStringLiteral("The topic prefix must not contain + or #.");
        return std::nullopt;
    }
    MqttPublisherOptions options;
    options.brokerUrl = url;
    options.topicPrefix = prefix;
    options.user = user;
    options.password = password;
    options.caFile = caFile.trimmed();
    return options;
}

MqttDialog::MqttDialog(const Settings& settings, QWidget* parent)
    : QDialog(parent),
      m_enabled(new QCheckBox(QStringLiteral("Publish readings"), this)),
      m_url(new QLineEdit(settings.brokerUrl, this)),
      m_topic(new QLineEdit(settings.topicPrefix, this)),
      m_user(new QLineEdit(settings.user, this)),
      m_password(new QLineEdit(settings.password, this)),
      m_remember(new QCheckBox(QStringLiteral("Remember password"), this)),
      m_tls(new QCheckBox(QStringLiteral("TLS (mqtts)"), this)),
      m_caFile(new QLineEdit(settings.caFile, this)),
      m_message(new QLabel(this)),
      m_state(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Publish (MQTT)"));
    setObjectName(QStringLiteral("MqttDialog"));
    m_enabled->setObjectName(QStringLiteral("enabled"));
    m_url->setObjectName(QStringLiteral("url"));
    m_topic->setObjectName(QStringLiteral("topic"));
    m_user->setObjectName(QStringLiteral("user"));
    m_password->setObjectName(QStringLiteral("password"));
    m_remember->setObjectName(QStringLiteral("remember"));
    m_tls->setObjectName(QStringLiteral("tls"));
    m_caFile->setObjectName(QStringLiteral("caFile"));
    m_enabled->setChecked(settings.enabled);
    m_remember->setChecked(settings.rememberPassword);
    m_tls->setChecked(settings.tls);
    m_password->setEchoMode(QLineEdit::Password);
    m_url->setPlaceholderText(QStringLiteral("mqtt://host[:port]"));
    m_topic->setPlaceholderText(QStringLiteral("veska/<hostname>"));
    m_caFile->setPlaceholderText(QStringLiteral("the system's CA store"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00000"));
    m_state->setWordWrap(true);

    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &MqttDialog::chooseCaFile);
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(browse);

    auto* form = new QFormLayout;
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("Broker URL:"), m_url);
    form->addRow(QStringLiteral("Topic prefix:"), m_topic);
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);
    form->addRow(QString(), m_remember);
    form->addRow(m_tls);
    form->addRow(QStringLiteral("CA file:"), caRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MqttDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MqttDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_state);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

MqttDialog::Settings MqttDialog::settings() const {
    Settings s;
    s.enabled = m_enabled->isChecked();
    s.brokerUrl = m_url->text().trimmed();
    s.topicPrefix = m_topic->text().trimmed();
    s.user = m_user->text();
    s.password = m_password->text();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.rememberPassword = m_remember->isChecked();
    return s;
}

void MqttDialog::setBrokerState(const QString& text) { m_state->setText(text); }

void MqttDialog::accept() {
    const Settings s = settings();
    QString error;
    // Switched off, an unfinished address may stay in the field.
    if (s.enabled && !s.toOptions(&error)) {
        m_message->setText(error);
        return;
    }
    m_message->clear();
    QDialog::accept();
}

void MqttDialog::chooseCaFile() {
    // The file dialog runs its own event loop: packets go on being handled meanwhile.
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("CA certificate"), m_caFile->text(),
                                                      QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty()) m_caFile->setText(file);
}

}  // namespace veska
