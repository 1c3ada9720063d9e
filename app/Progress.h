// The progress window: what is being done, an optional bar, and Cancel, which
// breaks the terminal's running wait.
#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TFProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFProgress(QWidget* parent = nullptr);
    void CancelClick();

    QLabel* Message;
    QProgressBar* Bar;
    QPushButton* CancelButton;
    bool Active = false;
    bool Cancelled = false;
    // A message box or dialog of the program is up (then the window keeps behind it).
    bool OwnDialogUp() const;
    // A line under the bar that the operation keeps up to date (empty: none).
    void SetNotice(const QString& text);
    QLabel* Notice = nullptr;  // made with the first notice

protected:
    void changeEvent(QEvent* event) override;  // FormDeactivate
    void reject() override;                    // Escape and the close box cancel
};
