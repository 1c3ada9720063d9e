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
      Label1(new QLabel(this)),
      TreeView1(new QTreeWidget(this)),
      Button1(new QPushButton(this)),
      Button2(new QPushButton(this)),
      m_Main(main)
{
    setObjectName("TFRestoreDialog");
    SetTag(this, kTextTitle);
    SetTag(Button1, kTextLoad);
    SetTag(Button2, 3);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    TreeView1->setObjectName("TreeView1");
    TreeView1->setRootIsDecorated(false);
    TreeView1->setColumnCount(4);
    TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Label1);
    l->addWidget(TreeView1, 1);
    l->addLayout(buttons);
    resize(640, 380);
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (Button1Click()) accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (Button1Click()) accept();
    });
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this] { Button1->setEnabled(TreeView1->currentItem() != nullptr); });
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
    TreeView1->setAccessibleName(Language().Text(kTextTitle));
    Fill(m_Root);
    QDialog::showEvent(event);
}

void TFRestoreDialog::Fill(const QString& root)
{
    m_Root = root;
    m_Copies = CKeptCopies(root).List();
    TreeView1->setHeaderLabels({Language().Text(kTextKept), Language().Text(kTextSerial),
                                Language().Text(kTextFirmware), Language().Text(kTextDifferences)});
    TreeView1->clear();
    for (size_t i = 0; i < m_Copies.size(); ++i) {
        const TKeptCopy& c = m_Copies[i];
        auto* item = new QTreeWidgetItem(TreeView1);
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
    if (TreeView1->topLevelItemCount()) TreeView1->setCurrentItem(TreeView1->topLevelItem(0));
    Label1->setText(m_Copies.empty() ? Substitute(Language().Text(kTextNone), {QDir::toNativeSeparators(root)})
                                     : QDir::toNativeSeparators(root));
    if (const QString why = CKeptCopies(root).RootProblem(); !why.isEmpty())
        Label1->setText(Substitute(Language().Text(kTextNotShown), {QDir::toNativeSeparators(root), why}));
    Button1->setEnabled(TreeView1->currentItem() != nullptr);
}

bool TFRestoreDialog::Button1Click()
{
    const QTreeWidgetItem* item = TreeView1->currentItem();
    if (!item) return false;
    const int i = item->data(0, Qt::UserRole).toInt();
    if (i < 0 || i >= int(m_Copies.size())) return false;
    const TKeptCopy& c = m_Copies[size_t(i)];
    // What a damaged copy holds may not be what the gateway held: loaded only when the user says so.
    if (c.Damaged() &&
        !m_Main.Ask(Substitute(Language().Text(kTextLoadDamaged), {QDir::toNativeSeparators(c.folder), c.damage}), TIcon::Warning,
                    TDefaultAnswer::No))
        return false;
    return m_Main.LoadKeptCopy(c.ConfigurationFile());
}
