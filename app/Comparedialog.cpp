#include "Comparedialog.h"

#include "Bindings.h"
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
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const int kTextTitle = 387, kTextWith = 388, kTextGateway = 389, kTextFile = 390, kTextDefaults = 391;
const int kTextCompare = 392, kTextSetting = 393, kTextRow = 394, kTextWindow = 395, kTextInGateway = 396,
          kTextInFile = 397, kTextDefault = 398, kTextCounts = 399, kTextWrite = 400, kTextSame = 414,
          kTextTickAll = 415, kTextUntickAll = 416;
const int kTextList = 572, kTextComparedFile = 573;
const int kKeyRole = Qt::UserRole, kIndexRole = Qt::UserRole + 1;
}  // namespace

TFCompareDialog::TFCompareDialog(TFMain& main, QWidget* parent)
    : QDialog(parent),
      GroupBox1(new QGroupBox(this)),
      RadioButton1(new QRadioButton(GroupBox1)),
      RadioButton2(new QRadioButton(GroupBox1)),
      RadioButton3(new QRadioButton(GroupBox1)),
      Button1(new QPushButton(GroupBox1)),
      Label1(new QLabel(this)),
      TreeView1(new QTreeWidget(this)),
      Button2(new QPushButton(this)),
      Button3(new QPushButton(this)),
      Button4(new QPushButton(this)),
      Button5(new QPushButton(this)),
      m_Main(main)
{
    setObjectName("TFCompareDialog");
    SetTag(this, kTextTitle);
    SetTag(GroupBox1, kTextWith);
    SetTag(RadioButton1, kTextGateway);
    SetTag(RadioButton2, kTextFile);
    SetTag(RadioButton3, kTextDefaults);
    SetTag(Button1, kTextCompare);
    SetTag(Button2, kTextTickAll);
    SetTag(Button3, kTextUntickAll);
    SetTag(Button4, kTextWrite);
    SetTag(Button5, 3);
    RadioButton1->setChecked(true);
    TreeView1->setObjectName("TreeView1");
    TreeView1->setRootIsDecorated(false);
    TreeView1->setUniformRowHeights(true);
    TreeView1->setAlternatingRowColors(true);
    TreeView1->setColumnCount(4);
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c) TreeView1->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    Label1->setObjectName("Label1");

    auto* sources = new QHBoxLayout(GroupBox1);
    sources->addWidget(RadioButton1);
    sources->addWidget(RadioButton2);
    sources->addWidget(RadioButton3);
    sources->addStretch();
    sources->addWidget(Button1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button4);
    buttons->addWidget(Button5);
    auto* l = new QVBoxLayout(this);
    l->addWidget(GroupBox1);
    l->addWidget(Label1);
    l->addWidget(TreeView1, 1);
    l->addLayout(buttons);
    resize(820, 520);

    connect(Button1, &QPushButton::clicked, this, &TFCompareDialog::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { SetAllTicks(true); });
    connect(Button3, &QPushButton::clicked, this, [this] { SetAllTicks(false); });
    connect(Button4, &QPushButton::clicked, this, &TFCompareDialog::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &QDialog::accept);
    connect(TreeView1, &QTreeWidget::itemChanged, this, [this] { UpdateControls(); });
    UpdateControls();
}

TFCompareDialog::~TFCompareDialog() = default;

const CCaptions& TFCompareDialog::Captions()
{
    if (!m_Captions) {
        std::vector<TFPage*> pages;
        for (int i = 0; i < 7; ++i) pages.push_back(m_Main.Page(i));
        m_Captions = std::make_unique<CCaptions>(CCaptions::FromPages(pages));
        // Reading the pages rebound their controls: give the shown page its own back.
        if (m_Main.CurrentPage()) m_Main.CurrentPage()->LoadFromParameters();
        else Bindings().ClearControls();
    }
    return *m_Captions;
}

void TFCompareDialog::Run()
{
    m_Main.StoreShownPage();
    Captions();
    // A comparison made earlier no longer says anything about the window; the
    // list is filled as the dialog shows.
    m_Source = TSource::None;
    m_Other.reset();
    CentreOn(this, &m_Main);
    exec();
}

void TFCompareDialog::showEvent(QShowEvent* event)
{
    TranslatePage(this);
    TreeView1->setAccessibleName(Language().Text(kTextList));
    Fill();
    QDialog::showEvent(event);
}

void TFCompareDialog::Button1Click()
{
    if (RadioButton1->isChecked()) CompareWith(TSource::Gateway);
    else if (RadioButton2->isChecked()) CompareWith(TSource::File);
    else CompareWith(TSource::Defaults);
}

bool TFCompareDialog::CompareWith(TSource source, const QString& file)
{
    auto other = std::make_unique<CParameters>();
    BuildCatalogue(*other);
    std::vector<uint8_t> image;
    QString path = file;
    switch (source) {
    case TSource::Gateway:
        if (!m_Main.m_Ops.ReadGateway(*other, image)) return false;
        break;
    case TSource::File:
        if (path.isEmpty()) path = m_Main.Prompts().OpenFile(this, Language().Text(128));
        if (path.isEmpty()) return false;
        if (!other->LoadFromFile(path.toLocal8Bit().toStdString())) {
            m_Main.Message(Substitute("%s\n'%s'", {Language().Text(130), QDir::toNativeSeparators(path)}), TIcon::Error);
            return false;
        }
        break;
    case TSource::Defaults:
    case TSource::None: break;
    }
    m_Source = source;
    m_Other = std::move(other);
    m_Image = std::move(image);
    m_File = source == TSource::File ? path : QString();
    m_Unticked.clear();
    Fill();
    return true;
}

void TFCompareDialog::Fill()
{
    const bool gateway = m_Source == TSource::Gateway;
    // The PIN and the service password count only where a write would send them.
    std::set<std::string> secrets;
    if (gateway && m_Main.m_Ops.PinChanged) secrets.insert("PINVal");
    if (gateway && m_Main.m_Ops.PasswordChanged) secrets.insert("ServisPassw");
    const int other = gateway ? kTextInGateway : m_Source == TSource::File ? kTextInFile : kTextDefault;
    TreeView1->setHeaderLabels({Language().Text(kTextSetting), Language().Text(kTextRow), Language().Text(kTextWindow),
                                Language().Text(other)});
    TreeView1->blockSignals(true);
    TreeView1->clear();
    if (m_Other && m_Source != TSource::None) {
        const TComparison result = CompareConfigurations(Parameters(), *m_Other, secrets);
        const CCaptions& captions = Captions();
        for (const TDifference& d : result.differences) {
            auto* item = new QTreeWidgetItem(TreeView1);
            item->setText(0, captions.Caption(d.key) + "  (" + QString::fromStdString(d.key) + ")");
            if (d.count > 1) item->setText(1, QString::number(d.index + 1));
            item->setText(2, captions.Show(d.key, d.mine));
            item->setText(3, captions.Show(d.key, d.other));
            item->setData(0, kKeyRole, QString::fromStdString(d.key));
            item->setData(0, kIndexRole, d.index);
            if (gateway)
                item->setCheckState(0, m_Unticked.count({d.key, d.index}) ? Qt::Unchecked : Qt::Checked);
        }
        QString counts = result.Same() ? Language().Text(kTextSame)
                                       : Substitute(Language().Text(kTextCounts), {QString::number(result.differences.size()),
                                                                                   QString::number(result.equal)});
        if (!m_File.isEmpty())
            counts = Substitute(Language().Text(kTextComparedFile), {QDir::toNativeSeparators(m_File)}) + "\n" + counts;
        Label1->setText(counts);
    } else {
        Label1->clear();
    }
    TreeView1->blockSignals(false);
    UpdateControls();
}

int TFCompareDialog::DifferenceCount() const { return TreeView1->topLevelItemCount(); }

void TFCompareDialog::SetAllTicks(bool ticked)
{
    if (m_Source != TSource::Gateway) return;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
        TreeView1->topLevelItem(i)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    UpdateControls();
}

void TFCompareDialog::UpdateControls()
{
    const CGatewayOps& o = m_Main.m_Ops;
    const bool link = !o.IsModem || o.ModemConnected;
    RadioButton1->setEnabled(link);
    if (!link && RadioButton1->isChecked()) RadioButton3->setChecked(true);
    bool ticked = false;
    for (int i = 0; i < TreeView1->topLevelItemCount() && !ticked; ++i)
        ticked = TreeView1->topLevelItem(i)->checkState(0) == Qt::Checked;
    const bool gateway = m_Source == TSource::Gateway;
    Button2->setVisible(gateway);
    Button3->setVisible(gateway);
    Button4->setVisible(gateway);
    Button4->setEnabled(gateway && ticked && link);
}

void TFCompareDialog::Button4Click()
{
    if (m_Source != TSource::Gateway) return;
    std::vector<TSettingRef> chosen;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = TreeView1->topLevelItem(i);
        const TSettingRef ref{item->data(0, kKeyRole).toString().toStdString(), item->data(0, kIndexRole).toInt()};
        // What the user left out stays out of the next write too.
        if (item->checkState(0) == Qt::Checked) chosen.push_back(ref);
        else m_Unticked.insert({ref.key, ref.index});
    }
    if (chosen.empty()) return;
    std::vector<uint8_t> written;
    if (!m_Main.m_Ops.WriteSelected(Parameters(), chosen, m_Image, &written)) return;
    // The gateway now holds what was written and read back: compare with that.
    m_Image = written;
    m_Other->FromImage(m_Image.data());
    Fill();
}
