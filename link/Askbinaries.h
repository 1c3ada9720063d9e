// Choice among several firmware image files, or any other file.
#pragma once
#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;
class TPrompts;

class TFAskBinaries : public QDialog {
    Q_OBJECT
public:
    explicit TFAskBinaries(QWidget* parent = nullptr);
    // Shows the files (full paths) by name; the chosen path, or empty when cancelled.
    QString Choose(const QStringList& paths, TPrompts& prompts);

    QLabel* Label1;
    QListWidget* ListBox1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;  // another file, from any folder

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_Other;
};
