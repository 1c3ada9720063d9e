#include "Prompts.h"

#include "Firmwarechoice.h"
#include "Globals.h"
#include "Language.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

namespace {
// The buttons in the interface language, also where the toolkit's own translation lacks them.
void NameButtons(QMessageBox& box)
{
    const CLanguage& l = Language();
    const std::pair<QMessageBox::StandardButton, int> names[] = {{QMessageBox::Ok, 1},     {QMessageBox::Cancel, 2},
                                                                 {QMessageBox::Yes, 342},  {QMessageBox::No, 343},
                                                                 {QMessageBox::Save, 344}, {QMessageBox::Discard, 345}};
    for (const auto& [which, text] : names) {
        QAbstractButton* button = box.button(which);
        if (!button || text >= l.WordCount()) continue;
        const QString name = l.Text(text);
        if (!name.isEmpty()) button->setText(name);
    }
}
}  // namespace

static QMessageBox::Icon BoxIcon(TIcon icon)
{
    switch (icon) {
    case TIcon::Information: return QMessageBox::Information;
    case TIcon::Warning: return QMessageBox::Warning;
    case TIcon::Error: return QMessageBox::Critical;
    case TIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

void TPrompts::Message(QWidget* parent, const QString& caption, const QString& text, TIcon icon)
{
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent);
    NameButtons(box);
    box.exec();
}

bool TPrompts::Ask(QWidget* parent, const QString& caption, const QString& text, TIcon icon, TDefaultAnswer preset)
{
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(preset == TDefaultAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    NameButtons(box);
    return box.exec() == QMessageBox::Yes;
}

TSaveChoice TPrompts::AskSave(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    NameButtons(box);
    switch (box.exec()) {
    case QMessageBox::Save: return TSaveChoice::Save;
    case QMessageBox::Discard: return TSaveChoice::Discard;
    default: return TSaveChoice::Cancel;
    }
}

QString DialogFilter(const QString& languageFilter)
{
    const QStringList parts = languageFilter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        if (!description.contains('(')) description += " (" + patterns + ")";
        filters << description;
    }
    return filters.isEmpty() ? languageFilter : filters.join(";;");
}

QString TPrompts::OpenFile(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), DialogFilter(filter));
}

QString TPrompts::SaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, QString(), QString(), DialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

QString TPrompts::ChooseFirmware(TFFirmwareChoice& dialog, const QStringList& paths)
{
    return dialog.Choose(paths, [this](QWidget* parent, const QString& filter) { return OpenFile(parent, filter); });
}

QString CaptionText(const QString& menuText)
{
    QString caption = WithoutMnemonic(menuText).trimmed();
    if (caption.endsWith("...")) caption.chop(3);
    else if (caption.endsWith(QChar(0x2026))) caption.chop(1);
    return caption.trimmed();
}
