#include "Aboutbox.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Formtexts.h"
#include "Language.h"
#include "Prompts.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

const char* const kProgramVersion = "1.26";

TFAboutBox::TFAboutBox(QWidget* parent)
    : QDialog(parent),
      Image1(new QLabel(this)),
      Label1(new QLabel(this)),
      Label6(new QLabel(this)),
      Label2(new QLabel(this)),
      Button1(new QPushButton(this))
{
    setObjectName("TFAboutBox");
    SetTag(this, 19);
    SetTag(Button1, 3);
    Image1->setObjectName("Image1");
    Label1->setObjectName("Label1");
    Label6->setObjectName("Label6");
    Label2->setObjectName("Label2");
    QFont title = Label6->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    Label6->setFont(title);
    auto* text = new QVBoxLayout;
    text->addWidget(Label6);
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* l = new QVBoxLayout(this);
    l->addLayout(top);
    l->addWidget(Button1, 0, Qt::AlignRight);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TFAboutBox::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TFAboutBox::FormActivate()
{
    const QString logo = Substitute("%sExtLogo.bmp", {ProgramFolder()});
    if (QFileInfo::exists(logo)) Image1->setPixmap(QPixmap(logo));
    ApplyToForm(Language(), this);
    // The caption shares its text with the menu item that opens the box.
    setWindowTitle(CaptionText(Language().Text(19)));
    Label1->setText(kProgramVersion);
    Label6->setText(Language().Text(0));
    Label2->setText(QString("%1 · Qt %2").arg(__DATE__, qVersion()));
    adjustSize();
}
