#include "Askbinaries.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Language.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

static const int kTextOtherFile = 294;
static const int kTextFirmwareFilter = 295;

TFAskBinaries::TFAskBinaries(QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel(this)),
      ListBox1(new QListWidget(this)),
      Button1(new QPushButton(this)),
      Button2(new QPushButton(this)),
      Button3(new QPushButton(this))
{
    setObjectName("TFAskBinaries");
    SetTag(this, 127);
    SetTag(Label1, 126);
    SetTag(Button1, 1);
    SetTag(Button2, 2);
    SetTag(Button3, kTextOtherFile);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setSortingEnabled(true);
    Label1->setBuddy(ListBox1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Label1);
    l->addWidget(ListBox1);
    l->addLayout(buttons);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(100); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { done(100); });
    resize(420, 300);
}

void TFAskBinaries::showEvent(QShowEvent* event)
{
    Language().ApplyToForm(this);
    QDialog::showEvent(event);
}

QString TFAskBinaries::Choose(const QStringList& paths, const TOpenFile& openFile)
{
    // No file to list: the user looks for one anywhere.
    if (paths.isEmpty()) return openFile(parentWidget(), Language().Text(kTextFirmwareFilter));
    ListBox1->clear();
    for (const QString& p : paths) {
        auto* item = new QListWidgetItem(QFileInfo(p).fileName(), ListBox1);
        item->setData(Qt::UserRole, p);
    }
    ListBox1->setCurrentRow(0);
    m_Other.clear();
    QObject::disconnect(Button3, nullptr, nullptr, nullptr);
    connect(Button3, &QPushButton::clicked, this, [this, openFile] {
        m_Other = openFile(this, Language().Text(kTextFirmwareFilter));
        if (!m_Other.isEmpty()) done(101);
    });
    if (parentWidget()) CentreOn(this, parentWidget());
    const int result = exec();
    if (result == 101) return m_Other;
    if (result != 100 || !ListBox1->currentItem()) return {};
    return ListBox1->currentItem()->data(Qt::UserRole).toString();
}
