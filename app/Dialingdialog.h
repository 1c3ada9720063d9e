// The dialling dialog that shows a modem call's progress, and the settings of
// a Hayes modem (init string, dialling mode, timeout).
#pragma once
#include "Dialing.h"

#include <QDialog>
#include <QString>

class CCOMTerminal;
class QListWidget;
class QPushButton;
class QWidget;

class TFDialingDialog : public QDialog, public TDialingView {
    Q_OBJECT
public:
    explicit TFDialingDialog(QWidget* parent = nullptr);
    void Prepare() override;
    void Hide() override { hide(); }
    void Add(const QString& message) override;
    void RunModal() override;
    void CloseModal() override;
    bool Active() const override { return !m_Pressed; }

    QListWidget* MessageList;
    QPushButton* CloseButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_Pressed = false;
};

// Asks the settings of the named modem, when the terminal's telephony layer is
// the Hayes one and knows it; OK takes them.
void ConfigureModem(QWidget* owner, CCOMTerminal& terminal, const QString& name);
