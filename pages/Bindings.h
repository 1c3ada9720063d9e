// Bindings between page controls and parameter instances, and the up-down
// spinner that pages attach to an edit. The registry knows nothing of them: the
// list of bindings belongs to the pages and refers to the registry.
#pragma once
#include "Parameters.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    void SetRange(int min, int max)
    {
        m_Min = min;
        m_Max = max;
    }
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

// One control of a page bound to one instance of one parameter.
class CParControl {
public:
    CParControl(std::string name, int index) : m_Name(std::move(name)), m_Index(index) {}
    virtual ~CParControl() = default;
    virtual std::string GetFromControl() const = 0;
    virtual void SetToControl(const std::string& text) = 0;

    std::string m_Name;
    int m_Index;
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
        : CParControl(std::move(name), index), m_Control(box), m_Inverted(inverted)
    {}
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
    CParMemo(std::string name, int index, QPlainTextEdit* memo) : CParControl(std::move(name), index), m_Control(memo)
    {}
    std::string GetFromControl() const override;
    void SetToControl(const std::string& text) override;
    QPlainTextEdit* m_Control;
};

// Item value of a combo box item (set by the language tables from the design text).
int ComboItemValue(const QComboBox* combo, int index);
// Index of the first item whose value is the given one, or -1.
int ComboFindValue(const QComboBox* combo, int value);

// The bindings of the page on show: a page's load clears the list, binds its
// controls and fills them from the registry; its store writes them back.
// Keys or instances the registry does not have are passed over.
class CParBindings {
public:
    explicit CParBindings(CParameters& registry) : m_Registry(registry), m_RegistryIdentity(registry.Identity()) {}
    CParBindings(const CParBindings&) = delete;
    CParBindings& operator=(const CParBindings&) = delete;

    void ClearControls() { m_Controls.clear(); }
    // Edits and memos also get their text normalised when the focus leaves them.
    void AddControl(const std::string& key, int index, QLineEdit* edit);
    void AddControl(const std::string& key, int index, QPlainTextEdit* memo);
    void AppendControl(std::unique_ptr<CParControl> control);
    void ControlsFromValues();
    void ValuesFromControls();
    size_t ControlCount() const { return m_Controls.size(); }
    const std::vector<std::unique_ptr<CParControl>>& Controls() const { return m_Controls; }
    // Whether this list was made on that registry (and not on one freed before it).
    bool On(const CParameters& registry) const { return registry.Identity() == m_RegistryIdentity; }

private:
    CParameters& m_Registry;
    uint64_t m_RegistryIdentity;
    std::vector<std::unique_ptr<CParControl>> m_Controls;
};

// The pages' bindings, on the registry of the global objects: a new registry
// (the program has one, tests make several) starts with an empty list.
CParBindings& Bindings();
