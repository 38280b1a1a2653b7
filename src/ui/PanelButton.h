#pragma once

#include <QLabel>

namespace veska {

// A panel with a caption that runs a command when clicked (the port panels, the
// Connect/Disconnect/Exit panels). Disabled panels ignore clicks.
class PanelButton : public QLabel {
    Q_OBJECT
public:
    explicit PanelButton(const QString& caption, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace veska
