// The base of the configuration pages: a borderless form that the main window
// embeds, loads from the registry, stores into it and fits to its area.
#pragma once
#include <QString>
#include <QWidget>
#include <string>

class CCOMTermExp;
class QCheckBox;
class QFormLayout;
class QGridLayout;
class QGroupBox;
class QLabel;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSlider;
class TUpDown;

// What the pages and the monitor need of the main window, which implements it;
// pages never see the window itself.
class TPageHost {
public:
    virtual ~TPageHost() = default;
    // A yes/no question with the program's title as caption; true for yes. The
    // pages ask only before discarding values, so Enter answers No.
    virtual bool Question(const QString& text) = 0;
    // A warning with the program's title as caption.
    virtual void Warning(const QString& text) = 0;
    // The gateway's own PIN or service password is to be replaced by the next write.
    virtual void SetPinChanged() = 0;
    virtual void SetPasswordChanged() = 0;
    // Link state and the cable link, for the monitor.
    virtual void CloseGatewayLink() = 0;
    virtual void ShowLinkError(const CCOMTermExp& e) = 0;
    virtual QString ComPort() const = 0;
    virtual bool IsModem() const = 0;
    virtual bool ModemConnected() const = 0;
    // The record the gateway sent when the modem connection started.
    virtual std::string GatewayIdent() const = 0;
    // One monitor polling loop at a time, program-wide.
    virtual bool MonitorBusy() const = 0;
    virtual void SetMonitorBusy(bool busy) = 0;
};

class TFPage : public QWidget {
    Q_OBJECT
public:
    explicit TFPage(QWidget* parent = nullptr);
    virtual void LoadFromParameters() {}
    virtual void StoreToParameters() {}
    virtual void FitToArea(int /*width*/, int /*height*/) {}

    // The main window; none when a page stands alone (tests).
    TPageHost* m_Host = nullptr;

    // What the operator lock display shows for the gateway's OperLock value.
    static QString OperLockText(const std::string& value);

protected:
    void showEvent(QShowEvent* event) override;

    // Helpers for building a page: controls tagged with their text numbers.
    QLineEdit* MakeEdit(const char* name, int maxLength = 0, int tag = 0);
    TUpDown* MakeUpDown(const char* name, QLineEdit* associate, int min, int max, int increment = 1);
    QComboBox* MakeCombo(const char* name, std::initializer_list<int> values, int tag);
    QCheckBox* MakeCheck(const char* name, int tag);
    QSlider* MakeTrack(const char* name, int min, int max, int tag = 0);
    // An edit with its up-down spinner side by side.
    QWidget* EditWithUpDown(QLineEdit* edit, TUpDown* upDown);

    QGroupBox* MakeGroup(const char* name, int tag, QWidget* parent = nullptr);
    QLabel* MakeLabel(const char* name, int tag, QWidget* parent = nullptr);
    // A labelled row of a form; the label carries the text number.
    QLabel* AddRow(QFormLayout* form, int tag, QWidget* field, const char* labelName = nullptr);
    // A label and its field in two cells of a grid row.
    QLabel* AddCell(QGridLayout* grid, int row, int column, int tag, QWidget* field, const char* labelName = nullptr);

    // Registers the page's bindings (the page's load fills them).
    void BindEdit(const char* key, QLineEdit* edit);
    void BindMemo(const char* key, QPlainTextEdit* memo);
    void BindCheck(const char* key, QCheckBox* box, bool inverted = false);
    void BindTrack(const char* key, QSlider* track);
    void BindCombo(const char* key, QComboBox* combo);
};
