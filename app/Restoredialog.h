// The restore dialog: the kept copies of gateway configurations (time, serial
// number, firmware, how far each is from the window); the chosen one is loaded
// into the window as a configuration file is.
#pragma once
#include "Keptcopies.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class TFMain;

class TFRestoreDialog : public QDialog {
    Q_OBJECT
public:
    TFRestoreDialog(TFMain& main, QWidget* parent = nullptr);
    // The window's command: lists the copies, loads the chosen one.
    void Run();
    // Lists the copies kept in the folder.
    void Fill(const QString& root);
    // Loads the chosen copy into the window; false when none is chosen or it cannot be read.
    bool LoadClick();
    const std::vector<TKeptCopy>& Copies() const { return m_Copies; }

    QLabel* Summary;
    QTreeWidget* CopyList;
    QPushButton* LoadButton;  // into the window
    QPushButton* CloseButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TFMain& m_Main;
    QString m_Root;
    std::vector<TKeptCopy> m_Copies;
};
