#include "Sheetprint.h"

#include "Commonutils.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <algorithm>

std::unique_ptr<QTextDocument> SheetDocument(const QString& html)
{
    auto document = std::make_unique<QTextDocument>();
    // Lines break between words only, never inside a number or a word.
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WordWrap);
    document->setDefaultTextOption(option);
    document->setHtml(html);
    return document;
}

void KeepHeadingsWithWhatFollows(QTextDocument& document)
{
    const qreal height = document.pageSize().height();
    if (height <= 0) return;
    const auto page = [&document, height](const QTextBlock& b) {
        return int(document.documentLayout()->blockBoundingRect(b).top() / height);
    };
    const auto heading = [](const QTextBlock& b) { return b.blockFormat().headingLevel() > 0; };
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        if (!heading(b)) continue;
        QTextBlock after = b;
        while (after.isValid() && heading(after)) after = after.next();
        if (after.isValid() && page(after) > page(b)) {
            QTextBlockFormat f;
            f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(b).mergeBlockFormat(f);
        }
        while (b.next().isValid() && heading(b.next())) b = b.next();
    }
}

namespace {
bool TablesFit(const QTextDocument& document, qreal width)
{
    const QList<QTextFrame*> frames = document.rootFrame()->childFrames();
    return std::all_of(frames.begin(), frames.end(), [&document, width](QTextFrame* frame) {
        // A table of the whole width reaches a little past it by its borders.
        return document.documentLayout()->frameBoundingRect(frame).right() <= width * 1.01;
    });
}
}  // namespace

// Each page between a head naming the gateway and a foot with its number. A
// table too wide for the page across turns the sheet's pages sideways.
void PrintSheet(const QString& html, const QString& pageOf, QPagedPaintDevice& device)
{
    const auto document = SheetDocument(html);
    document->documentLayout()->setPaintDevice(&device);
    QFont small = document->defaultFont();
    small.setPointSizeF(8);
    const int band = QFontMetrics(small, &device).height() * 2;
    const auto layOut = [&] {
        document->setPageSize(QSizeF(device.width(), device.height() - 2 * band));
        return TablesFit(*document, device.width());
    };
    if (!layOut() && device.pageLayout().orientation() == QPageLayout::Portrait) {
        device.setPageOrientation(QPageLayout::Landscape);
        layOut();
    }
    KeepHeadingsWithWhatFollows(*document);
    const int width = device.width();
    const int height = device.height() - 2 * band;
    QPainter painter(&device);
    if (!painter.isActive()) return;
    painter.setFont(small);
    const int pages = document->pageCount();
    const QString head = document->metaInformation(QTextDocument::DocumentTitle);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) device.newPage();
        painter.setPen(Qt::darkGray);
        painter.drawText(QRect(0, 0, width, band), Qt::AlignLeft | Qt::AlignTop, head);
        painter.drawText(QRect(0, band + height, width, band), Qt::AlignRight | Qt::AlignBottom,
                         Substitute(pageOf, {QString::number(page + 1), QString::number(pages)}));
        painter.save();
        painter.translate(0, band - page * height);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, page * height, width, height);
        painter.setClipRect(context.clip);
        document->documentLayout()->draw(&painter, context);
        painter.restore();
    }
}

bool WriteSheetPdf(const QString& html, const QString& path, const TSheetPrintTexts& texts, TFileStatus* status)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(texts.title);
        pdf.setCreator(texts.creator);
        PrintSheet(html, texts.pageOf, pdf);
    }
    return WriteFileAtomically(path, buffer.data(), status);
}
