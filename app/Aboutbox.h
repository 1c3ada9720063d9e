// The about box: logo, version and product title.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

class TFAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TFAboutBox(QWidget* parent = nullptr);
    void FormActivate();

    QLabel* Logo;
    QLabel* Version;
    QLabel* ProgramName;
    QLabel* BuildInfo;
    QPushButton* CloseButton;

protected:
    void showEvent(QShowEvent* event) override;
};

extern const char* const kProgramVersion;
