// The settings dialog: cable or modem, the serial port, the modem and the number.
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TFMain;

class TFSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFSettingsDialog(QWidget* parent = nullptr);
    // SettingsClick: fills the dialog from the main window, shows it, applies OK.
    void Run(TFMain& main);
    void FormActivate();
    void Configure();
    // Asks the serial ports for a modem, on the user's request only, and shows what answered.
    void FindModemsClick();
    // The port chosen in SerialPort: "Com1".."Com8" or a device path.
    QString ChosenModem() const;
    QString ChosenPort() const;

    QGroupBox* ConnectionGroup;
    QRadioButton* CableMode;
    QRadioButton* ModemMode;
    QGroupBox* ParametersGroup;
    QComboBox* SerialPort;
    QComboBox* TD;
    QPushButton* ConfigureButton;
    QPushButton* FindModemsButton;
    QLabel* ModemNumberLabel;
    QLineEdit* ModemNumber;
    QLabel* SerialPortLabel;
    QCheckBox* KeepCopyBox;  // keep a copy of the gateway's configuration before each write
    QPushButton* OkButton;
    QPushButton* CancelButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillModems(const QString& select);
    TFMain* m_Main = nullptr;
};
