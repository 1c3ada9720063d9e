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
      Question(new QLabel(this)),
      FileList(new QListWidget(this)),
      LoadButton(new QPushButton(this)),
      CancelButton(new QPushButton(this)),
      OtherFileButton(new QPushButton(this))
{
    setObjectName("TFFirmwareChoice");
    SetTag(this, 127);
    SetTag(Question, 126);
    SetTag(LoadButton, 1);
    SetTag(CancelButton, 2);
    SetTag(OtherFileButton, kTextOtherFile);
    Question->setAlignment(Qt::AlignCenter);
    Question->setWordWrap(true);
    FileList->setObjectName("FileList");
    FileList->setSortingEnabled(true);
    Question->setBuddy(FileList);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OtherFileButton);
    buttons->addStretch();
    buttons->addWidget(LoadButton);
    buttons->addWidget(CancelButton);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Question);
    l->addWidget(FileList);
    l->addLayout(buttons);
    LoadButton->setDefault(true);
    connect(LoadButton, &QPushButton::clicked, this, [this] { done(100); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FileList, &QListWidget::itemDoubleClicked, this, [this] { done(100); });
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
    FileList->clear();
    for (const QString& p : paths) {
        auto* item = new QListWidgetItem(QFileInfo(p).fileName(), FileList);
        item->setData(Qt::UserRole, p);
    }
    FileList->setCurrentRow(0);
    m_Other.clear();
    QObject::disconnect(OtherFileButton, nullptr, nullptr, nullptr);
    connect(OtherFileButton, &QPushButton::clicked, this, [this, openFile] {
        m_Other = openFile(this, Language().Text(kTextFirmwareFilter));
        if (!m_Other.isEmpty()) done(101);
    });
    if (parentWidget()) CentreOn(this, parentWidget());
    const int result = exec();
    if (result == 101) return m_Other;
    if (result != 100 || !FileList->currentItem()) return {};
    return FileList->currentItem()->data(Qt::UserRole).toString();
}
