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

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label6;
    QLabel* Label2;
    QPushButton* Button1;

protected:
    void showEvent(QShowEvent* event) override;
};

extern const char* const kProgramVersion;
