#include "Firmwarechoice.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Formtexts.h"
#include "Language.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

static const int kTextOtherFile = 294;
static const int kTextFirmwareFilter = 295;

TFFirmwareChoice::TFFirmwareChoice(QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel(this)),
      PageList(new QListWidget(this)),
      Button1(new QPushButton(this)),
      Button2(new QPushButton(this)),
      Button3(new QPushButton(this))
{
    setObjectName("TFFirmwareChoice");
    SetTag(this, 127);
    SetTag(Label1, 126);
    SetTag(Button1, 1);
    SetTag(Button2, 2);
    SetTag(Button3, kTextOtherFile);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    PageList->setObjectName("PageList");
    PageList->setSortingEnabled(true);
    Label1->setBuddy(PageList);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Label1);
    l->addWidget(PageList);
    l->addLayout(buttons);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(100); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(PageList, &QListWidget::itemDoubleClicked, this, [this] { done(100); });
    resize(420, 300);
}

void TFFirmwareChoice::showEvent(QShowEvent* event)
{
    ApplyToForm(Language(), this);
    QDialog::showEvent(event);
}

QString TFFirmwareChoice::Choose(const QStringList& paths, const TOpenFile& openFile)
{
    // No file to list: the user looks for one anywhere.
    if (paths.isEmpty()) return openFile(parentWidget(), Language().Text(kTextFirmwareFilter));
    PageList->clear();
    for (const QString& p : paths) {
        auto* item = new QListWidgetItem(QFileInfo(p).fileName(), PageList);
        item->setData(Qt::UserRole, p);
    }
    PageList->setCurrentRow(0);
    m_Other.clear();
    QObject::disconnect(Button3, nullptr, nullptr, nullptr);
    connect(Button3, &QPushButton::clicked, this, [this, openFile] {
        m_Other = openFile(this, Language().Text(kTextFirmwareFilter));
        if (!m_Other.isEmpty()) done(101);
    });
    if (parentWidget()) CentreOn(this, parentWidget());
    const int result = exec();
    if (result == 101) return m_Other;
    if (result != 100 || !PageList->currentItem()) return {};
    return PageList->currentItem()->data(Qt::UserRole).toString();
}
