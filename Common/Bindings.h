// Bindings between page controls and parameter instances, and the up-down
// spinner that pages attach to an edit.
#pragma once
#include "Parameters.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSlider;
class QToolButton;

// Up-down arrows attached to an edit ("associate"). Like the platform control it
// stands for, a click starts from the number written in the edit.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);
    void SetAssociate(QLineEdit* edit);
    QLineEdit* Associate() const { return m_Associate; }
    void SetRange(int min, int max) { m_Min = min; m_Max = max; }
    void SetIncrement(int inc) { m_Increment = inc; }
    int Min() const { return m_Min; }
    int Max() const { return m_Max; }
    int Position() const { return m_Position; }
    // Sets the position, clamped to the range; the edit shows it.
    void SetPosition(int position);
    // One step up (+1) or down (-1), as a click on an arrow.
    void Step(int direction);

    // Change request: new value and direction (+1 up, -1 down); false refuses it.
    std::function<bool(int newValue, int direction)> OnChangingEx;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_Associate = nullptr;
    QToolButton* m_Up;
    QToolButton* m_Down;
    int m_Min = 0;
    int m_Max = 100;
    int m_Increment = 1;
    int m_Position = 0;
};

class CParEdit : public CParControl {
public:
    CParEdit(std::string name, int index, QLineEdit* edit) : CParControl(std::move(name), index), m_Control(edit) {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QLineEdit* m_Control;
};

class CParCheck : public CParControl {
public:
    CParCheck(std::string name, int index, QCheckBox* box, bool inverted = false)
        : CParControl(std::move(name), index), m_Control(box), m_Inverted(inverted) {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QCheckBox* m_Control;
    bool m_Inverted;
};

class CParTrack : public CParControl {
public:
    CParTrack(std::string name, int index, QSlider* track) : CParControl(std::move(name), index), m_Control(track) {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QSlider* m_Control;
};

class CParCombo : public CParControl {
public:
    CParCombo(std::string name, int index, QComboBox* combo) : CParControl(std::move(name), index), m_Control(combo) {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QComboBox* m_Control;
};

class CParMemo : public CParControl {
public:
    CParMemo(std::string name, int index, QPlainTextEdit* memo) : CParControl(std::move(name), index), m_Control(memo) {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QPlainTextEdit* m_Control;
};

// Item value of a combo box item (set by the language tables from the design text).
int ComboItemValue(const QComboBox* combo, int index);
// Index of the first item whose value is the given one, or -1.
int ComboFindValue(const QComboBox* combo, int value);
