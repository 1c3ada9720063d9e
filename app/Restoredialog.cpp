#include "Restoredialog.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Pageform.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Parameters.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const int kTextTitle = 408, kTextKept = 409, kTextDifferences = 410, kTextLoad = 411, kTextNone = 412;
const int kTextSerial = 78, kTextFirmware = 77;
const int kTextDamaged = 500, kTextLoadDamaged = 501, kTextNotShown = 504;
}  // namespace

TFRestoreDialog::TFRestoreDialog(TFMain& main, QWidget* parent)
    : QDialog(parent),
      Summary(new QLabel(this)),
      CopyList(new QTreeWidget(this)),
      LoadButton(new QPushButton(this)),
      CloseButton(new QPushButton(this)),
      m_Main(main)
{
    setObjectName("TFRestoreDialog");
    SetTag(this, kTextTitle);
    SetTag(LoadButton, kTextLoad);
    SetTag(CloseButton, 3);
    Summary->setObjectName("Summary");
    Summary->setWordWrap(true);
    CopyList->setObjectName("CopyList");
    CopyList->setRootIsDecorated(false);
    CopyList->setColumnCount(4);
    CopyList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(LoadButton);
    buttons->addWidget(CloseButton);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Summary);
    l->addWidget(CopyList, 1);
    l->addLayout(buttons);
    resize(640, 380);
    connect(LoadButton, &QPushButton::clicked, this, [this] {
        if (LoadClick()) accept();
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(CopyList, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (LoadClick()) accept();
    });
    connect(CopyList, &QTreeWidget::currentItemChanged, this,
            [this] { LoadButton->setEnabled(CopyList->currentItem() != nullptr); });
}

void TFRestoreDialog::Run()
{
    m_Main.StoreShownPage();
    m_Root = CKeptCopies(m_Main.m_Ops.CopiesFolder).Root();  // listed as the dialog shows
    CentreOn(this, &m_Main);
    exec();
}

void TFRestoreDialog::showEvent(QShowEvent* event)
{
    TranslatePage(this);
    CopyList->setAccessibleName(Language().Text(kTextTitle));
    Fill(m_Root);
    QDialog::showEvent(event);
}

void TFRestoreDialog::Fill(const QString& root)
{
    m_Root = root;
    m_Copies = CKeptCopies(root).List();
    CopyList->setHeaderLabels({Language().Text(kTextKept), Language().Text(kTextSerial), Language().Text(kTextFirmware),
                               Language().Text(kTextDifferences)});
    CopyList->clear();
    for (size_t i = 0; i < m_Copies.size(); ++i) {
        const TKeptCopy& c = m_Copies[i];
        auto* item = new QTreeWidgetItem(CopyList);
        item->setText(0, c.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
        item->setText(1, c.serial);
        item->setText(2, c.firmware);
        // A damaged copy has no count: it would be one against whatever part of it loads.
        if (c.Damaged()) {
            item->setText(3, Language().Text(kTextDamaged));
            item->setToolTip(3, c.damage);
        } else {
            CParameters kept;
            BuildCatalogue(kept);
            kept.LoadFromFile(QFile::encodeName(c.ConfigurationFile()).toStdString());
            item->setText(3, QString::number(CompareConfigurations(Parameters(), kept).differences.size()));
        }
        item->setData(0, Qt::UserRole, int(i));
    }
    if (CopyList->topLevelItemCount()) CopyList->setCurrentItem(CopyList->topLevelItem(0));
    Summary->setText(m_Copies.empty() ? Substitute(Language().Text(kTextNone), {QDir::toNativeSeparators(root)})
                                      : QDir::toNativeSeparators(root));
    if (const QString why = CKeptCopies(root).RootProblem(); !why.isEmpty())
        Summary->setText(Substitute(Language().Text(kTextNotShown), {QDir::toNativeSeparators(root), why}));
    LoadButton->setEnabled(CopyList->currentItem() != nullptr);
}

bool TFRestoreDialog::LoadClick()
{
    const QTreeWidgetItem* item = CopyList->currentItem();
    if (!item) return false;
    const int i = item->data(0, Qt::UserRole).toInt();
    if (i < 0 || i >= int(m_Copies.size())) return false;
    const TKeptCopy& c = m_Copies[size_t(i)];
    // What a damaged copy holds may not be what the gateway held: loaded only when the user says so.
    if (c.Damaged() &&
        !m_Main.Ask(Substitute(Language().Text(kTextLoadDamaged), {QDir::toNativeSeparators(c.folder), c.damage}),
                    TIcon::Warning, TDefaultAnswer::No))
        return false;
    return m_Main.LoadKeptCopy(c.ConfigurationFile());
}
