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
      Logo(new QLabel(this)),
      Version(new QLabel(this)),
      ProgramName(new QLabel(this)),
      BuildInfo(new QLabel(this)),
      CloseButton(new QPushButton(this))
{
    setObjectName("TFAboutBox");
    SetTag(this, 19);
    SetTag(CloseButton, 3);
    Logo->setObjectName("Logo");
    Version->setObjectName("Version");
    ProgramName->setObjectName("ProgramName");
    BuildInfo->setObjectName("BuildInfo");
    QFont title = ProgramName->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    ProgramName->setFont(title);
    auto* text = new QVBoxLayout;
    text->addWidget(ProgramName);
    text->addWidget(Version);
    text->addWidget(BuildInfo);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(Logo, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* l = new QVBoxLayout(this);
    l->addLayout(top);
    l->addWidget(CloseButton, 0, Qt::AlignRight);
    CloseButton->setDefault(true);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TFAboutBox::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TFAboutBox::FormActivate()
{
    const QString logo = Substitute("%sExtLogo.bmp", {ProgramFolder()});
    if (QFileInfo::exists(logo)) Logo->setPixmap(QPixmap(logo));
    ApplyToForm(Language(), this);
    // The caption shares its text with the menu item that opens the box.
    setWindowTitle(CaptionText(Language().Text(19)));
    Version->setText(kProgramVersion);
    ProgramName->setText(Language().Text(0));
    BuildInfo->setText(QString("%1 · Qt %2").arg(__DATE__, qVersion()));
    adjustSize();
}
