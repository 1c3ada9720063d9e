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
    void Button2Click();
    // The port chosen in ComboBox1: "Com1".."Com8" or a device path.
    QString ChosenModem() const;
    QString ChosenPort() const;

    QGroupBox* GroupBox2;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QGroupBox* GroupBox3;
    QComboBox* ComboBox1;
    QComboBox* TD;
    QPushButton* Button1;
    QPushButton* Button2;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label4;
    QCheckBox* CheckBox1;  // keep a copy of the gateway's configuration before each write
    QPushButton* Button3;
    QPushButton* Button4;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillModems(const QString& select);
    TFMain* m_Main = nullptr;
};
