// Choice among several firmware image files, or any other file.
#pragma once
#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

class TFFirmwareChoice : public QDialog {
    Q_OBJECT
public:
    explicit TFFirmwareChoice(QWidget* parent = nullptr);
    // Picks a file anywhere: parent, filter; the path, or empty when cancelled.
    using TOpenFile = std::function<QString(QWidget* parent, const QString& filter)>;
    // Shows the files (full paths) by name; the chosen path, or empty when cancelled.
    // "Other file" and an empty list ask openFile.
    QString Choose(const QStringList& paths, const TOpenFile& openFile);

    QLabel* Question;
    QListWidget* FileList;
    QPushButton* LoadButton;
    QPushButton* CancelButton;
    QPushButton* OtherFileButton;  // another file, from any folder

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_Other;
};
