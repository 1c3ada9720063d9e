// The base of the configuration pages: a borderless form that the main window
// embeds, loads from the registry, stores into it and fits to its area.
#pragma once
#include <QWidget>
#include <string>

class CGatewayOps;
class TOperationUI;
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

class TFDForm : public QWidget {
    Q_OBJECT
public:
    explicit TFDForm(QWidget* parent = nullptr);
    virtual void LoadFromParameters() {}
    virtual void StoreToParameters() {}
    virtual void FitToArea(int /*width*/, int /*height*/) {}

    // The gateway operations' flags (PIN and password changes); set by the main window.
    CGatewayOps* m_Ops = nullptr;
    // Questions and messages of the page go through the main window.
    TOperationUI* m_UI = nullptr;

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
