// The report window: the template of the printed inventory.
#include "uUniversalReport.h"

#include "base/DaoError.h"
#include "FormLook.h"
#include "Prompts.h"
#include "ReportPreview.h"
#include "ReportPrinter.h"
#include "Scope.h"
#include "TDBGrid.h"
#include "dataset/TDaoTable.h"

#include <QFrame>
#include <QLabel>
#include <QPrinter>

TfUniversalReport *fUniversalReport = nullptr;

namespace {

std::function<std::unique_ptr<ReportPrinter>()> &printerSource()
{
    static std::function<std::unique_ptr<ReportPrinter>()> source;
    return source;
}

constexpr int PageWidth = 816;   // Letter at 96 pixels per inch
constexpr int PageHeight = 1056;
constexpr int Margin = 38;       // 10 mm
constexpr int SlotStep = 39;     // design places; the print command sets the real ones
constexpr int SlotWidth = 37;

QFont arial(int points, bool bold = false, bool italic = false)
{
    return FormLook::pointFont(QStringLiteral("Arial"), points, bold, italic);
}

QFrame *band(QWidget *page, const char *name, int top, int height)
{
    auto *b = new QFrame(page);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(Margin, top, TfUniversalReport::BandWidth, height);
    FormLook::setBackground(b, Qt::white);
    return b;
}

QLabel *item(QWidget *band, const char *name, const QString &text, const QFont &font, const QColor &colour)
{
    auto *l = new QLabel(text, band);
    l->setObjectName(QLatin1String(name));
    l->setFont(font);
    l->setWordWrap(false);
    FormLook::setTextColour(l, colour);
    return l;
}

} // namespace

TfUniversalReport::TfUniversalReport(QWidget *parent)
    : QDialog(parent)
{
    const std::function<std::unique_ptr<ReportPrinter>()> &source = printerSource();
    const std::unique_ptr<ReportPrinter> printer = source ? source() : ReportPrinter::system();
    const std::optional<QPageLayout> layout = printer ? ReportPrinter::choose(*printer, designLayout()) : std::nullopt;
    if (!layout)
        throw DaoError(QStringLiteral("Драйвера на принтера не поддържа този режим!"));
    mPageLayout = *layout;
    setupUi();
}

void TfUniversalReport::setPrinterSource(std::function<std::unique_ptr<ReportPrinter>()> source)
{
    printerSource() = std::move(source);
}

QPageLayout TfUniversalReport::designLayout()
{
    return QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void TfUniversalReport::setupUi()
{
    setObjectName(QStringLiteral("fUniversalReport"));
    setFixedSize(PageWidth, PageHeight);
    setFont(FormLook::formFont());

    QuickRep = new QFrame(this);
    QuickRep->setObjectName(QStringLiteral("QuickRep"));
    QuickRep->setGeometry(0, 0, PageWidth, PageHeight);
    QuickRep->setFont(arial(10));
    FormLook::setBackground(QuickRep, Qt::white);

    int top = Margin;
    TitleBand1 = band(QuickRep, "TitleBand1", top, 59);
    ColumnHeaderBand1 = band(QuickRep, "ColumnHeaderBand1", top += 59, 22);
    DetailBand1 = band(QuickRep, "DetailBand1", top += 22, 22);
    QRBand1 = band(QuickRep, "QRBand1", top += 22, 32);
    PageFooterBand1 = band(QuickRep, "PageFooterBand1", top += 32, 25);

    const QColor navy(0, 0, 128);
    QRLabel23 = item(TitleBand1, "QRLabel23", QStringLiteral("Дата "), arial(8, true), Qt::black);
    QRLabel23->move(6, 4);
    QRLabel23->adjustSize();
    QRSysData3 = item(TitleBand1, "QRSysData3", QString(), arial(8), Qt::black);
    QRSysData3->setProperty(SysDataProperty, QStringLiteral("date"));
    QRSysData3->setGeometry(41, 4, 120, QFontMetrics(QRSysData3->font()).height());
    QRLabel20 = item(TitleBand1, "QRLabel20", QStringLiteral("Текущи данни"), arial(16, true, true), navy);
    QRLabel20->adjustSize();
    QRLabel20->move((BandWidth - QRLabel20->width()) / 2, 4);
    QRLabel19 = item(TitleBand1, "QRLabel19", QStringLiteral("Velostok®"), arial(8), navy);
    QRLabel19->setAlignment(Qt::AlignCenter);
    QRLabel19->move(677, 2);
    QRLabel19->adjustSize();

    for (int slot = 0; slot < SlotCount; ++slot) {
        QLabel *title = item(ColumnHeaderBand1, QStringLiteral("QRLabel%1").arg(slot).toLatin1().constData(),
                             QString(), arial(8), Qt::black);
        title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        title->setStyleSheet(QStringLiteral("border-width: 0px 0px 1px 0px; border-style: solid; border-color: black;"));
        title->setProperty("underline", true);
        title->setGeometry(1 + slot * SlotStep, 2, SlotWidth, 18);
        titleSlots << title;
        QLabel *cell = item(DetailBand1, QStringLiteral("QRExpr%1").arg(slot).toLatin1().constData(),
                            QString(), arial(8), Qt::black);
        cell->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        cell->setGeometry(slot * SlotStep, 2, SlotWidth, 18);
        cellSlots << cell;
    }
    QRLabel0 = titleSlots.first();
    QRExpr0 = cellSlots.first();

    QRShape1 = new QFrame(QRBand1);
    QRShape1->setObjectName(QStringLiteral("QRShape1"));
    QRShape1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    QRShape1->setLineWidth(1);
    QRShape1->setGeometry(1, 4, 736, 1);
    FormLook::setTextColour(QRShape1, Qt::black);
    QRSysData1 = item(QRBand1, "QRSysData1", QString(), arial(10), Qt::black);
    QRSysData1->setProperty(SysDataProperty, QStringLiteral("date"));
    QRSysData1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QRSysData1->setGeometry(BandWidth - 4 - 160, 12, 160, QFontMetrics(QRSysData1->font()).height());

    QRSysData2 = item(PageFooterBand1, "QRSysData2", QStringLiteral("Page  "), arial(8), Qt::black);
    QRSysData2->setProperty(SysDataProperty, QStringLiteral("pageNumber"));
    QRSysData2->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QRSysData2->setGeometry(0, 4, BandWidth, 17);
}

QPrinter *reportPrinter()
{
    // The application's printer: the print dialog's choice holds for every later printing.
    static QPrinter printer(QPrinter::HighResolution);
    return &printer;
}

report::Layout TfUniversalReport::templateLayout() const
{
    report::Layout layout;
    layout.page = mPageLayout;
    layout.width = BandWidth; // drawn smaller on a page narrower than Letter's (A4)
    const TDaoTable *t = mDataSet;
    const auto bandOf = [&](const QFrame *frame) {
        report::Band band;
        band.height = frame->height();
        for (const QObject *o : frame->children()) {
            const auto *w = qobject_cast<const QWidget *>(o);
            if (!w || !w->isEnabled())
                continue;
            report::Item it;
            it.rect = w->geometry();
            if (const auto *line = qobject_cast<const QFrame *>(w); line && !qobject_cast<const QLabel *>(w)) {
                it.kind = report::Item::Line;
                band.items << it;
                continue;
            }
            const auto *l = qobject_cast<const QLabel *>(w);
            if (!l)
                continue;
            it.text = l->text();
            it.font = l->font();
            it.colour = l->palette().color(QPalette::WindowText);
            it.alignment = l->alignment();
            it.underline = l->property("underline").toBool();
            const QString sys = l->property(SysDataProperty).toString();
            if (sys == QLatin1String("date"))
                it.kind = report::Item::Date;
            else if (sys == QLatin1String("pageNumber"))
                it.kind = report::Item::PageNumber;
            const QString expr = l->property(ExpressionProperty).toString();
            if (!expr.isEmpty()) {
                // "dataset.field": the field of the bound dataset.
                const QString field = expr.mid(expr.indexOf(QLatin1Char('.')) + 1);
                const TDaoField *f = t ? t->FindField(field) : nullptr;
                it.kind = report::Item::Field;
                it.field = f ? f->Index() : -1;
            }
            band.items << it;
        }
        return band;
    };
    layout.title = bandOf(TitleBand1);
    layout.header = bandOf(ColumnHeaderBand1);
    layout.detail = bandOf(DetailBand1);
    layout.summary = bandOf(QRBand1);
    layout.footer = bandOf(PageFooterBand1);
    return layout;
}

void TfUniversalReport::ShowGridReport(TDBGrid *grid)
{
    grid->viewport()->repaint();
    TDaoTable *t = grid->dataSet();
    if (!t || !t->Active())
        return;
    const QString prefix = t->objectName() + QLatin1Char('.');
    mDataSet = t;
    const ControlsSuspended suspended(t);
    for (int slot = 0; slot < SlotCount; ++slot) {
        titleSlots.at(slot)->setEnabled(false);
        cellSlots.at(slot)->setEnabled(false);
    }
    const QList<TColumn> &cols = grid->Columns();
    const auto widthOf = [&](int c) { return grid->isColumnHidden(c) ? -1 : cols.at(c).Width; };
    int left = 0;
    for (int c = 0; c < std::min<int>(SlotCount, int(cols.size())); ++c) {
        QLabel *title = titleSlots.at(c);
        QLabel *cell = cellSlots.at(c);
        const int width = widthOf(c);
        // Each slot starts two pixels after the previous one ends; slot 0's title stands at 1.
        const int at = c == 0 ? 0 : left + widthOf(c - 1) + 2;
        title->setEnabled(true);
        title->setText(cols.at(c).Title);
        title->setGeometry(c == 0 ? 1 : at, title->y(), std::max(0, width), title->height());
        cell->setEnabled(true);
        cell->setProperty(ExpressionProperty, prefix + cols.at(c).FieldName);
        cell->setGeometry(at, cell->y(), std::max(0, width), cell->height());
        left = at;
    }
    for (QLabel *l : {QRLabel19, QRLabel20, QRLabel23})
        l->setEnabled(true);
    QRLabel19->setText(QStringLiteral("Velostok®"));
    QRLabel20->setText(QStringLiteral("Текущи данни"));
    QRLabel23->setText(QStringLiteral("Дата "));

    // The rows stay in place while the report shows and prints them: others' changes wait.
    const ControlsSuspended held(t);
    const report::BandReport rep(templateLayout(), t->RecordCount(), [t](int row, int field) {
        if (field < 0)
            return QString();
        const TDaoField *f = t->Fields(field);
        return f->textOf(t->rowValue(row, field));
    });
    report::ReportPreview preview(rep, &reportPrinter, window());
    prompts().showModal(&preview);
}
